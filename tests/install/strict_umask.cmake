# Under umask 077 the installed tree and the tarball still have 0755 directories: a
# toolchain installed by root is used by everyone.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -P strict_umask.cmake
include(${CMAKE_CURRENT_LIST_DIR}/install_check.cmake)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

install_check_run_strict(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/tree/opt/tc)
# POSIX find: every directory, the prefix and its new parents included, exactly 0755.
install_check_run(find ${WORK_DIR}/tree -type d ! -perm 755 -print OUT wrong)
if(NOT wrong STREQUAL "")
  message(FATAL_ERROR "installed directories not 0755:\n${wrong}")
endif()

install_check_run_strict(${CMAKE_CPACK_COMMAND} -G TGZ --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/package)
file(GLOB tarball ${WORK_DIR}/package/*.tar.gz)
install_check_run(${CMAKE_COMMAND} -E tar tvf ${tarball} OUT listing)
string(REGEX MATCHALL "(^|\n)d[^\n]*" dirs "${listing}")
if(dirs STREQUAL "")
  message(FATAL_ERROR "no directories in ${tarball}:\n${listing}")
endif()
foreach(dir IN LISTS dirs)
  if(NOT dir MATCHES "^\n?drwxr-xr-x ")
    message(FATAL_ERROR "tarball directory not 0755: ${dir}")
  endif()
endforeach()
