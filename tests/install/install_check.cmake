# Helpers of the install tests (cmake -P scripts).

# Runs a command; a failure ends the test with its output. Its standard output is left
# in the variable named by OUT, when given.
function(install_check_run)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "OUT" "")
  execute_process(COMMAND ${arg_UNPARSED_ARGUMENTS} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${arg_UNPARSED_ARGUMENTS}")
    message(FATAL_ERROR "${command}: ${status}\n${out}${err}")
  endif()
  if(arg_OUT)
    set(${arg_OUT} "${out}" PARENT_SCOPE)
  endif()
endfunction()

# Runs a command under umask 077, as a careful packager does.
function(install_check_run_strict)
  install_check_run(sh -c "umask 077 && exec \"$@\"" sh ${ARGN})
endfunction()

# The files and links of a tarball, without its top directory, sorted.
function(install_check_tarball_files tarball out_var)
  install_check_run(${CMAKE_COMMAND} -E tar tf ${tarball} OUT listing)
  string(REPLACE "\n" ";" entries "${listing}")
  set(files "")
  foreach(entry IN LISTS entries)
    if(entry MATCHES "^[^/]+/(.*[^/])$")
      list(APPEND files "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(SORT files)
  set(${out_var} "${files}" PARENT_SCOPE)
endfunction()
