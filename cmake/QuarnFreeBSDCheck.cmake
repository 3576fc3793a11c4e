# Built for FreeBSD against a sysroot: every build checks the programs against the
# sysroot's own libc, which the host's test suite cannot run against (see freebsd_check.py).
find_program(QUARN_PYTHON3 python3 REQUIRED)
find_program(QUARN_READELF NAMES llvm-readelf-14 llvm-readelf REQUIRED)
set(_programs "")
foreach(program ${QUARN_PROGRAMS})
  list(APPEND _programs $<TARGET_FILE:${program}>)
endforeach()
add_custom_target(freebsd_check ALL
  COMMAND ${QUARN_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/freebsd_check.py ${QUARN_READELF}
          ${QUARN_FREEBSD_SYSROOT}/lib/libc.so.7 ${_programs}
  DEPENDS ${QUARN_PROGRAMS}
  VERBATIM)
