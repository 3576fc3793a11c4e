# Install-time script, run before anything is copied: makes every directory of the tree
# that does not exist yet (the prefix and DESTDIR included) with mode 0755. Made by
# mkdir, and so by CMake, they would get the installing user's umask (a packager's 077
# makes them 0700). Directories that exist already are left as they are.
#   QUARN_TREE_DIRS   the directories, relative to the prefix
set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
foreach(_dir IN LISTS QUARN_TREE_DIRS)
  string(REPLACE "/" ";" _parts "${_root}/${_dir}")
  if(IS_ABSOLUTE "${_root}")
    set(_path "")
  else()
    set(_path ".")
  endif()
  foreach(_part IN LISTS _parts)
    if(_part STREQUAL "")
      continue()
    endif()
    string(APPEND _path "/${_part}")
    if(NOT IS_DIRECTORY "${_path}")
      file(MAKE_DIRECTORY "${_path}")
      file(CHMOD "${_path}" PERMISSIONS
           OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
  endforeach()
endforeach()
