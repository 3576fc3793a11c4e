# Run by cpack after it made the tarball (CPACK_POST_BUILD_SCRIPTS): packs the staged tree
# again, so that the same sources give the same bytes whoever packs them on whatever
# filesystem. The entries the archive writer made, in name order instead of the order the
# directories list them in, owned by root instead of the packing user, all with the time
# QuarnPackConfig.cmake chose; and no time or name in the gzip header.
file(GLOB_RECURSE _entries LIST_DIRECTORIES true RELATIVE "${CPACK_TOPLEVEL_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")
list(SORT _entries)
list(JOIN _entries "\n" _listing)
set(_list_file "${CPACK_TOPLEVEL_DIRECTORY}/entries.txt")
file(WRITE "${_list_file}" "${_listing}\n")
set(_mtime "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(_mtime "--mtime=@$ENV{SOURCE_DATE_EPOCH}")
endif()
execute_process(
  COMMAND "${CPACK_QUARN_TAR}" --create --file=- --format=gnu --owner=0 --group=0 --numeric-owner ${_mtime}
          --directory=${CPACK_TOPLEVEL_DIRECTORY} --no-recursion --files-from=${_list_file}
  COMMAND "${CPACK_QUARN_GZIP}" -n -9
  OUTPUT_FILE "${CPACK_PACKAGE_FILES}"
  COMMAND_ERROR_IS_FATAL ANY)
