# The package's quarn-ar in a root that holds nothing but the unpacked tarball, a static
# tool and a plugin file (no dynamic linker, no libc, no /tmp): it finds the tool, hands it
# the plugin and an @-file's arguments through a response file, and returns its status.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DFAKE_TOOL=... -DPLUGIN=... -DTARGET=... -DVERSION=...
#         -P empty_root.cmake
include(${CMAKE_CURRENT_LIST_DIR}/install_check.cmake)
set(root ${WORK_DIR}/root)
file(REMOVE_RECURSE ${WORK_DIR})
install_check_run(${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/package)
file(GLOB tarball ${WORK_DIR}/package/*.tar.gz)
file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${root})
# Where the wrapper may make its response file: the working directory, which no one else may write.
file(CHMOD ${root} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(GLOB tree RELATIVE ${root} ${root}/*)
file(COPY_FILE ${FAKE_TOOL} ${root}/${tree}/${TARGET}/bin/ar)
file(COPY_FILE ${PLUGIN} ${root}/${tree}/libexec/quarn/${TARGET}/${VERSION}/libvorta_plugin.so)
file(WRITE ${root}/objects.rsp "a.o b.o\n")

# Root may change the root; elsewhere a user namespace may let us.
find_program(chroot chroot PATHS /usr/sbin /sbin REQUIRED)
set(run ${CMAKE_COMMAND} -E env --unset=QUARN_EXEC_PREFIX FAKE_TOOL_ARGV=/argv FAKE_TOOL_ATFILE=/atfile)
foreach(try "${chroot}" "unshare;--user;--map-root-user;${chroot}")
  execute_process(COMMAND ${run} ${try} ${root} /${tree}/${TARGET}/bin/ar RESULT_VARIABLE status ERROR_VARIABLE err)
  if(status EQUAL 0)
    set(enter ${try})
    break()
  endif()
endforeach()
if(NOT enter)
  message("skipped: cannot make an empty root (chroot needs root or a user namespace):\n${err}")
  return()
endif()

file(WRITE ${root}/argv "")
file(WRITE ${root}/atfile "")
execute_process(COMMAND ${run} FAKE_TOOL_EXIT=7 ${enter} ${root} /${tree}/bin/quarn-ar rcs x.a @objects.rsp
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(STRINGS ${root}/argv argv)
file(READ ${root}/atfile passed)
if(NOT status EQUAL 7 OR NOT argv MATCHES "^/${tree}/.*/${TARGET}/bin/ar;@[^;]+$"
   OR NOT passed MATCHES "^--plugin\n/${tree}/[^\n]*/libexec/quarn/${TARGET}/${VERSION}/libvorta_plugin.so\n-rcs\nx.a\na.o\nb.o\n?$")
  message(FATAL_ERROR "quarn-ar in an empty root: status ${status}, tool arguments '${argv}', response file '${passed}'\n${out}${err}")
endif()
