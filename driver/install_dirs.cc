#include "driver/install_dirs.h"

#include <climits>
#include <cstdlib>

#include "driver/trace.h"
#include "quarn_config.h"
#include "search/relocate.h"
#include "support/env_snapshot.h"
#include "support/join_strings.h"

install_dirs find_install_dirs(const char* argv0, const char* wrapper_name) {
  return find_install_dirs_into(argv0, wrapper_name, nullptr, nullptr, 0);
}

install_dirs find_install_dirs_into(const char* argv0, const char* wrapper_name, char* lib_buffer,
                                    char* libexec_buffer, size_t size) {
  const char* prog_name = argv0;
  // Set but empty still counts: the bare wrapper name is then looked up along PATH.
  const char* exec_prefix = env_value(ENV_QUARN_EXEC_PREFIX);
  if (exec_prefix != nullptr) prog_name = join_strings(exec_prefix, wrapper_name, nullptr);

  // Both directories relocate from one lookup of the program's file: what relocate_dir
  // gives for each, without searching PATH and resolving links twice.
  relocate_note found = RELOCATE_OK;
  relocate_note lib_note = RELOCATE_OK;
  relocate_note libexec_note = RELOCATE_OK;
  char resolved[PATH_MAX];
  const char* program_file = relocate_program_file_in(prog_name, resolved, &found);
  char* lib = nullptr;
  char* libexec = nullptr;
  if (program_file != nullptr && program_file[0] != '/') {
    // Still relative (a bare name found nowhere along PATH, a path that names no file):
    // it would relocate to directories relative to the working directory, where anyone
    // may have laid out a tree of tools. The configured directories serve instead.
    lib_note = libexec_note = found != RELOCATE_OK ? found : RELOCATE_UNRESOLVED;
  } else if (program_file != nullptr) {
    lib = relocate_dir_from_file_into(program_file, CONFIG_BIN_DIR, CONFIG_LIB_DIR, lib_buffer, size, &lib_note);
    libexec = relocate_dir_from_file_into(program_file, CONFIG_BIN_DIR, CONFIG_LIBEXEC_DIR, libexec_buffer, size,
                                          &libexec_note);
  } else {
    // What kept the program file from being found keeps both from relocating.
    lib_note = libexec_note = found;
  }
  install_dirs dirs{lib != nullptr ? lib : CONFIG_LIB_DIR, libexec != nullptr ? libexec : CONFIG_LIBEXEC_DIR};
  if (trace_enabled) {
    trace_program_file(prog_name, exec_prefix != nullptr, program_file, found);
    trace_install_dir("library directory", dirs.lib, lib_note);
    trace_install_dir("libexec directory", dirs.libexec, libexec_note);
  }
  return dirs;
}
