#include "driver/install_dirs.h"

#include <cstdlib>

#include "quarn_config.h"
#include "search/relocate.h"
#include "support/join_strings.h"

install_dirs find_install_dirs(const char* argv0, const char* wrapper_name) {
  const char* prog_name = argv0;
  // Set but empty still counts: the bare wrapper name is then looked up along PATH.
  const char* exec_prefix = getenv("QUARN_EXEC_PREFIX");
  if (exec_prefix != nullptr) prog_name = join_strings(exec_prefix, wrapper_name, nullptr);

  install_dirs dirs;
  char* lib = relocate_dir(prog_name, CONFIG_BIN_DIR, CONFIG_LIB_DIR);
  dirs.lib = lib != nullptr ? lib : CONFIG_LIB_DIR;
  char* libexec = relocate_dir(prog_name, CONFIG_BIN_DIR, CONFIG_LIBEXEC_DIR);
  dirs.libexec = libexec != nullptr ? libexec : CONFIG_LIBEXEC_DIR;
  return dirs;
}
