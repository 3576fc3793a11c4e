# Cross-building the programs for FreeBSD with clang 14 and lld, against a FreeBSD sysroot:
# at least usr/include and lib/libc.so.7 with usr/lib's start files and libc.so, as
# unpacked from FreeBSD's base.txz. Used by the freebsd-* presets, which give the target
# triple in QUARN_FREEBSD_TRIPLE; the sysroot is QUARN_FREEBSD_SYSROOT, or the environment
# variable of that name.
set(CMAKE_SYSTEM_NAME FreeBSD)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${QUARN_FREEBSD_TRIPLE}")

# The sysroot follows the environment for as long as it was not given by hand, so that a
# build directory made once keeps working when the sysroot is made anew elsewhere.
if(NOT CMAKE_IN_TRY_COMPILE AND NOT "$ENV{QUARN_FREEBSD_SYSROOT}" STREQUAL ""
   AND (NOT QUARN_FREEBSD_SYSROOT OR QUARN_FREEBSD_SYSROOT STREQUAL _QUARN_FREEBSD_SYSROOT_FROM_ENV))
  set(QUARN_FREEBSD_SYSROOT "$ENV{QUARN_FREEBSD_SYSROOT}" CACHE PATH "FreeBSD sysroot to build against" FORCE)
  set(_QUARN_FREEBSD_SYSROOT_FROM_ENV "$ENV{QUARN_FREEBSD_SYSROOT}" CACHE INTERNAL "")
endif()
if(NOT QUARN_FREEBSD_TRIPLE OR NOT QUARN_FREEBSD_SYSROOT OR NOT IS_DIRECTORY "${QUARN_FREEBSD_SYSROOT}/usr/include")
  message(FATAL_ERROR "A FreeBSD build needs QUARN_FREEBSD_TRIPLE (given by the freebsd-* presets) and "
                      "QUARN_FREEBSD_SYSROOT, a FreeBSD sysroot with usr/include "
                      "(sysroot: \"${QUARN_FREEBSD_SYSROOT}\").")
endif()
# The sysroot has no C++ runtime to link a test program with; the programs link as C.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUARN_FREEBSD_TRIPLE QUARN_FREEBSD_SYSROOT)

set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${QUARN_FREEBSD_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${QUARN_FREEBSD_TRIPLE})
set(CMAKE_SYSROOT ${QUARN_FREEBSD_SYSROOT})
# The host's binutils may not know every target's objects: llvm's archiver indexes them all.
find_program(CMAKE_AR NAMES llvm-ar-14 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-14 REQUIRED)
set(CMAKE_EXE_LINKER_FLAGS_INIT -fuse-ld=lld)

# FreeBSD's C++ library is libc++: the sysroot's own headers, as base.txz has them (clang 14
# does not look there by itself), or else the host's libc++ 14 headers, of the compiler's
# version. The programs use the headers only, never the library.
set(_quarn_libcxx "${QUARN_FREEBSD_SYSROOT}/usr/include/c++/v1")
if(NOT EXISTS "${_quarn_libcxx}/__config")
  set(_quarn_libcxx /usr/lib/llvm-14/include/c++/v1)
  if(NOT EXISTS "${_quarn_libcxx}/__config")
    message(FATAL_ERROR "The sysroot has no libc++ headers and neither has this host in ${_quarn_libcxx} "
                        "(Debian package libc++-14-dev).")
  endif()
endif()
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${_quarn_libcxx}")

set(CMAKE_FIND_ROOT_PATH ${QUARN_FREEBSD_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
