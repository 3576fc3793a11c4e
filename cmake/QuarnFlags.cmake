# Warnings for everything we compile.
add_compile_options(-Wall -Wextra)
# 64-bit file offsets, inode numbers and times on 32-bit hosts too: without them stat and
# readdir fail with EOVERFLOW on filesystems with large inode numbers. _TIME_BITS needs
# glibc 2.34; every other libc, and 64-bit hosts, ignore both.
add_compile_definitions(_FILE_OFFSET_BITS=64 _TIME_BITS=64)

option(QUARN_WERROR "Treat warnings as errors" OFF)
if(QUARN_WERROR)
  add_compile_options(-Werror)
endif()

set(QUARN_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address,undefined")
if(QUARN_SANITIZE AND QUARN_STATIC)
  message(FATAL_ERROR "QUARN_SANITIZE needs shared runtimes: build with QUARN_STATIC=OFF.")
endif()
if(QUARN_SANITIZE)
  add_compile_options(-fsanitize=${QUARN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QUARN_SANITIZE})
  add_compile_definitions(QUARN_SANITIZED=1)
endif()

# The programs have no exceptions, no RTTI, no guard variables, and no C++ runtime to
# load. Nor unwind tables: where they are the
# default (clang for 32-bit ARM), every object refers to the ARM EHABI personality
# routines, which only libgcc_s or libunwind provide. Target options come after
# CMAKE_CXX_FLAGS, so a default switched on there is switched off again.
function(quarn_lean target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>
    -fno-asynchronous-unwind-tables -fno-unwind-tables -ffunction-sections -fdata-sections)
endfunction()

# A program is linked as C, and CMake then adds the libraries that the C++ compiler links
# by itself (libstdc++ or libc++ with libc++abi and libunwind, libm, ...). None of them may
# reach the programs, whichever C++ library the compiler uses: the list is emptied, not
# filtered by name, and a stray use of the C++ runtime (operator new, say) then fails at
# link time. Everything else links as C++, where the compiler adds its runtime itself.
set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")
function(quarn_lean_program target)
  quarn_lean(${target})
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  # Code the program never calls is dropped, and with it the libc symbols that the
  # dynamic linker would otherwise have to prepare on every start.
  target_link_options(${target} PRIVATE -Wl,--gc-sections)
  if(QUARN_STATIC)
    quarn_static_program(${target})
  endif()
endfunction()

# No shared library at all: nothing for the dynamic linker to load and relocate on start,
# and a program that runs on any system of its kind, whatever libc version it has.
function(quarn_static_program target)
  target_link_options(${target} PRIVATE -static)
endfunction()
