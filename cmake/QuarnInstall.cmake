# The relocatable installation tree:
#   bin/                                           the wrappers, also under target-prefixed names
#   <target>/bin/                                  where a packager drops ar, nm, ranlib
#   lib/quarn/<target>/<version>/                  the library directory the search climbs out of
#   libexec/quarn/<target>/<version>/              where a packager drops libvorta_plugin.so
#   share/man/man1/                                quarn-ar(1), also as quarn-nm(1), quarn-ranlib(1)
# Everything is relative to the prefix, so the tree works wherever it is unpacked.
set(_versioned "${QUARN_TARGET}/${QUARN_TOOLCHAIN_VERSION}")
install(TARGETS ${QUARN_PROGRAMS} RUNTIME DESTINATION bin)
foreach(program ${QUARN_PROGRAMS})
  # Relative links: the programs resolve them to find the installation.
  install(CODE "file(CREATE_LINK ${program} \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${QUARN_TARGET}-${program}\" SYMBOLIC)")
endforeach()
install(DIRECTORY DESTINATION ${QUARN_TARGET}/bin)
install(DIRECTORY DESTINATION lib/quarn/${_versioned})
install(DIRECTORY DESTINATION libexec/quarn/${_versioned})

configure_file(${PROJECT_SOURCE_DIR}/doc/quarn-ar.1.in ${CMAKE_CURRENT_BINARY_DIR}/man/quarn-ar.1 @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/quarn-ar.1 DESTINATION share/man/man1)
foreach(page quarn-nm quarn-ranlib)
  install(CODE "file(CREATE_LINK quarn-ar.1 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/man/man1/${page}.1\" SYMBOLIC)")
endforeach()

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME quarn-binutils-wrappers)
set(CPACK_PACKAGE_FILE_NAME "quarn-${PROJECT_VERSION}-${QUARN_TARGET}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ar, nm and ranlib wrappers that pass the toolchain plugin")
include(CPack)
