# Two targets installed into one prefix, as cross toolchains are: this build's programs,
# installed with --prefix, then those of a second target, configured for that prefix and
# installed by a plain `cmake --install`. Each prefixed program runs its own target's
# tools; the plain names are relative links to the target installed last; every file and
# link of an install is in its install_manifest.txt and in its tarball.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DC_COMPILER=...
#         -DCXX_COMPILER=... -DTARGET=... -DVERSION=... -DFAKE_TOOL=... -P two_targets.cmake
include(${CMAKE_CURRENT_LIST_DIR}/install_check.cmake)
set(other_target x86_64-quarntest-linux)
set(other_version 9.1.0)
set(prefix ${WORK_DIR}/prefix)
set(other_build ${WORK_DIR}/build)
# The second build is kept between runs: only the installs start afresh.
file(REMOVE_RECURSE ${prefix} ${WORK_DIR}/package ${WORK_DIR}/empty)
file(MAKE_DIRECTORY ${WORK_DIR}/empty)

install_check_run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${other_build} -G ${GENERATOR}
  -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release
  -DQUARN_BUILD_TESTS=OFF -DQUARN_TARGET=${other_target} -DQUARN_TOOLCHAIN_VERSION=${other_version}
  -DQUARN_PREFIX=${prefix})
install_check_run(${CMAKE_COMMAND} --build ${other_build} --parallel 2)
install_check_run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
install_check_run(${CMAKE_COMMAND} --install ${other_build})

# A packager's part: each target's tools (the recording fake) and plugin.
foreach(pair IN ITEMS "${TARGET}/${VERSION}" "${other_target}/${other_version}")
  string(REGEX REPLACE "/.*" "" target "${pair}")
  foreach(tool ar nm ranlib)
    file(CREATE_LINK ${FAKE_TOOL} ${prefix}/${target}/bin/${tool} SYMBOLIC)
  endforeach()
  file(TOUCH ${prefix}/libexec/quarn/${pair}/libvorta_plugin.so)
endforeach()

# Runs bin/<name> and fails unless it ran the tool of target/version.
function(expect_runs_tools_of name target version tool)
  set(record ${WORK_DIR}/argv.rec)
  file(REMOVE ${record})
  install_check_run(${CMAKE_COMMAND} -E env --unset=QUARN_EXEC_PREFIX FAKE_TOOL_ARGV=${record}
    PATH=${WORK_DIR}/empty ${prefix}/bin/${name} x.a)
  file(STRINGS ${record} argv)
  list(GET argv 0 tool_path)
  list(GET argv 2 plugin_path)
  if(NOT tool_path MATCHES "/${target}/bin/${tool}$"
     OR NOT plugin_path MATCHES "/libexec/quarn/${target}/${version}/libvorta_plugin.so$")
    message(FATAL_ERROR "bin/${name} ran the tools of another target: ${argv}")
  endif()
endfunction()

foreach(tool ar nm ranlib)
  expect_runs_tools_of(${TARGET}-quarn-${tool} ${TARGET} ${VERSION} ${tool})
  expect_runs_tools_of(${other_target}-quarn-${tool} ${other_target} ${other_version} ${tool})
  expect_runs_tools_of(quarn-${tool} ${other_target} ${other_version} ${tool})
  # Relative, so that the tree can move.
  file(READ_SYMLINK ${prefix}/bin/quarn-${tool} link)
  if(NOT link STREQUAL "${other_target}-quarn-${tool}")
    message(FATAL_ERROR "bin/quarn-${tool} links to '${link}'")
  endif()
  foreach(target ${TARGET} ${other_target})
    file(READ ${prefix}/share/man/man1/${target}-quarn-${tool}.1 page)
    string(FIND "${page}" "${target}" at)
    string(TOUPPER "${tool}" title)
    string(FIND "${page}" "\n.Dt QUARN-${title} 1\n" title_at)
    if(at EQUAL -1 OR title_at EQUAL -1)
      message(FATAL_ERROR "${target}-quarn-${tool}.1 is not the page of ${target}'s quarn-${tool}")
    endif()
  endforeach()
endforeach()

# The second install's manifest against the tarball of the same build, which cpack makes
# from a fresh install of its own: the same files and links.
file(STRINGS ${other_build}/install_manifest.txt manifest)
list(TRANSFORM manifest REPLACE "^${prefix}/" "")
list(SORT manifest)
install_check_run(${CMAKE_CPACK_COMMAND} -G TGZ --config ${other_build}/CPackConfig.cmake -B ${WORK_DIR}/package)
file(GLOB tarball ${WORK_DIR}/package/*.tar.gz)
install_check_tarball_files(${tarball} packed)
if(NOT manifest STREQUAL packed)
  message(FATAL_ERROR "install_manifest.txt:\n  ${manifest}\ntarball:\n  ${packed}")
endif()
