// Where the installation's library and libexec directories are for this run.
#pragma once

#include <cstddef>

struct install_dirs {
  const char* lib;      // ends in '/'
  const char* libexec;  // ends in '/'
};

/// Returns the library and libexec directories relocated to where the wrapper lies (or to
/// $QUARN_EXEC_PREFIX + wrapper_name when that is set), each falling back to the configured
/// directory when no relocation is known. The strings live until the process ends.
install_dirs find_install_dirs(const char* argv0, const char* wrapper_name);
/// As find_install_dirs, but a relocated directory goes into lib_buffer or libexec_buffer
/// (size bytes each) when it fits: it then lives as long as that buffer.
install_dirs find_install_dirs_into(const char* argv0, const char* wrapper_name, char* lib_buffer,
                                    char* libexec_buffer, size_t size);
