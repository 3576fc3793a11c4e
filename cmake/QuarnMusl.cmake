# The three programs once more, linked statically with musl, in a build of their own
# inside this one: musl-gcc compiles the C and links, clang compiles the C++ against
# musl's headers and libc++'s (the programs use no symbol of libc++, only its headers).
# QUARN_MUSL_PROGRAM_DIR is where they are made.
include(ExternalProject)

find_program(QUARN_MUSL_CC musl-gcc)
find_program(QUARN_MUSL_CXX NAMES clang++ clang++-14)
find_path(QUARN_MUSL_LIBCXX_INCLUDE __config PATHS /usr/lib/llvm-14/include/c++/v1 /usr/include/c++/v1
          NO_DEFAULT_PATH DOC "libc++'s headers, for the C++ sources of the musl programs")
set(_quarn_musl_arch ${CMAKE_SYSTEM_PROCESSOR}-linux-musl)
find_path(QUARN_MUSL_INCLUDE stdio.h PATHS /usr/include/${_quarn_musl_arch} /usr/lib/musl/include
          NO_DEFAULT_PATH DOC "musl's headers")
foreach(needed QUARN_MUSL_CC QUARN_MUSL_CXX QUARN_MUSL_LIBCXX_INCLUDE QUARN_MUSL_INCLUDE)
  if(NOT ${needed})
    message(FATAL_ERROR "The musl programs need musl-gcc and musl's headers (Debian package musl-tools), "
                        "clang and libc++'s headers (clang, libc++-14-dev): ${needed} not found.")
  endif()
endforeach()
execute_process(COMMAND ${QUARN_MUSL_CXX} -print-resource-dir OUTPUT_VARIABLE _quarn_musl_resource_dir
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

set(_quarn_musl_dir ${CMAKE_BINARY_DIR}/musl)
set(QUARN_MUSL_PROGRAM_DIR ${_quarn_musl_dir}/driver)
# The compiler's own headers come after libc++'s, which wrap them, and before musl's.
string(JOIN " " _quarn_musl_cxx_flags --target=${_quarn_musl_arch} -nostdinc
       -isystem ${QUARN_MUSL_LIBCXX_INCLUDE} -isystem ${_quarn_musl_resource_dir}/include
       -isystem ${QUARN_MUSL_INCLUDE})
ExternalProject_Add(quarn_musl
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${_quarn_musl_dir}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_CACHE_ARGS
    -DCMAKE_BUILD_TYPE:STRING=Release
    -DCMAKE_C_COMPILER:FILEPATH=${QUARN_MUSL_CC}
    -DCMAKE_CXX_COMPILER:FILEPATH=${QUARN_MUSL_CXX}
    -DCMAKE_CXX_FLAGS:STRING=${_quarn_musl_cxx_flags}
    -DQUARN_STATIC:BOOL=ON
    -DQUARN_WERROR:BOOL=${QUARN_WERROR}
    -DQUARN_TARGET:STRING=${QUARN_TARGET}
    -DQUARN_TOOLCHAIN_VERSION:STRING=${QUARN_TOOLCHAIN_VERSION}
    -DQUARN_PREFIX:STRING=${QUARN_PREFIX}
    -DQUARN_BUILD_TESTS:BOOL=OFF
    -DQUARN_BUILD_BENCH:BOOL=OFF
    -DQUARN_MUSL_PROGRAMS:BOOL=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${_quarn_musl_dir} --target quarn-ar quarn-nm quarn-ranlib
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)
