# Read by cpack before it packs (CPACK_PROJECT_CONFIG_FILE).

# Every entry carries the time of the sources, not that of the checkout, the build or the
# packing, so that the same sources pack to the same bytes: SOURCE_DATE_EPOCH when set,
# else the last commit's date. cpack's archive writer takes it from the environment. The
# sources are trusted already, being built: git may read them when another user owns them.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -c "safe.directory=${CPACK_QUARN_SOURCE_DIR}" -C "${CPACK_QUARN_SOURCE_DIR}"
                          log -1 --format=%ct
                  RESULT_VARIABLE _status OUTPUT_VARIABLE _date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(_status EQUAL 0 AND _date MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${_date}")
  endif()
endif()

if(CPACK_GENERATOR STREQUAL "TGZ")
  # Written where it ends up instead of beside the staged tree and copied there, so that
  # packing leaves one tarball.
  set(CPACK_TEMPORARY_PACKAGE_FILE_NAME "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.tar.gz")
  if(CPACK_QUARN_TAR)
    set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/QuarnRepack.cmake)
  endif()
endif()
