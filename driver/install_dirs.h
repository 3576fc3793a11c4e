// Where the installation's library and libexec directories are for this run.
#pragma once

struct install_dirs {
  const char* lib;      // ends in '/'
  const char* libexec;  // ends in '/'
};

/// Returns the library and libexec directories relocated to where the wrapper lies (or to
/// $QUARN_EXEC_PREFIX + wrapper_name when that is set), each falling back to the configured
/// directory when no relocation is known. The strings live until the process ends.
install_dirs find_install_dirs(const char* argv0, const char* wrapper_name);
