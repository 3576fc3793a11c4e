# The relocatable installation tree:
#   bin/<target>-quarn-ar ...                      the wrappers of this target
#   bin/quarn-ar ...                               relative links to the target installed last
#   <target>/bin/                                  where a packager drops ar, nm, ranlib
#   lib/quarn/<target>/<version>/                  the library directory the search climbs out of
#   libexec/quarn/<target>/<version>/              where a packager drops libvorta_plugin.so
#   share/man/man1/                                <target>-quarn-ar(1) ..., and links by the plain names
#   share/doc/quarn/LICENSE
# Everything is relative to the prefix, so the tree works wherever it is unpacked, and
# nothing but the plain-name links, of programs and manual pages, is shared between the
# targets of one prefix.
set(_versioned "${QUARN_TARGET}/${QUARN_TOOLCHAIN_VERSION}")

# Every directory of the tree, the empty ones a packager fills included, made 0755
# whatever the umask before the files go in.
set(_tree_dirs bin share/man/man1 share/doc/quarn ${QUARN_TARGET}/bin lib/quarn/${_versioned} libexec/quarn/${_versioned})
install(CODE "set(QUARN_TREE_DIRS \"${_tree_dirs}\")")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/QuarnMakeDirs.cmake)

if(QUARN_INSTALL_MUSL_PROGRAMS)
  # The very files the suite ran: static, with nothing to load from the host.
  foreach(program ${QUARN_PROGRAMS})
    install(PROGRAMS ${QUARN_MUSL_PROGRAM_DIR}/${QUARN_TARGET}-${program} DESTINATION bin)
  endforeach()
else()
  install(TARGETS ${QUARN_PROGRAMS} RUNTIME DESTINATION bin)
endif()
foreach(program ${QUARN_PROGRAMS})
  # The link made beside the program at build time; installed as a link, and so listed
  # in install_manifest.txt and packed into the tarball like every other file.
  install(FILES $<TARGET_FILE_DIR:${program}>/${program} DESTINATION bin)
endforeach()

# One page per program, written for this target, under the prefixed name and titled by the
# program's plain name, which links to it.
set(_man_dir ${CMAKE_CURRENT_BINARY_DIR}/man)
file(REMOVE_RECURSE ${_man_dir})
set(_man_files "")
foreach(program ${QUARN_PROGRAMS})
  string(TOUPPER ${program} QUARN_MAN_TITLE)
  configure_file(${PROJECT_SOURCE_DIR}/doc/quarn-ar.1.in ${_man_dir}/${QUARN_TARGET}-${program}.1 @ONLY)
  file(CREATE_LINK ${QUARN_TARGET}-${program}.1 ${_man_dir}/${program}.1 SYMBOLIC)
  list(APPEND _man_files ${_man_dir}/${QUARN_TARGET}-${program}.1 ${_man_dir}/${program}.1)
endforeach()
install(FILES ${_man_files} DESTINATION share/man/man1)

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/quarn)

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME quarn-binutils-wrappers)
# Programs for one host and one target: the name says both, so that packages for several
# hosts can lie side by side.
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}-${CMAKE_SYSTEM_NAME}" _host)
if(QUARN_STATIC)
  string(APPEND _host "-static")
endif()
set(CPACK_PACKAGE_FILE_NAME "quarn-${PROJECT_VERSION}-${QUARN_TARGET}-host-${_host}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ar, nm and ranlib wrappers that pass the toolchain plugin")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/QuarnPackConfig.cmake)
set(CPACK_QUARN_SOURCE_DIR ${PROJECT_SOURCE_DIR})
if(QUARN_INSTALL_MUSL_PROGRAMS)
  # The tarball shipped to every host is packed again by GNU tar, which can fix what
  # CMake's archive writer takes from the packing machine: the order and the owner.
  find_program(CPACK_QUARN_TAR NAMES gtar tar REQUIRED)
  find_program(CPACK_QUARN_GZIP gzip REQUIRED)
endif()
include(CPack)
