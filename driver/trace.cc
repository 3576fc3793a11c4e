#include "driver/trace.h"

#include <cstdlib>

#include "quarn_config.h"
#include "support/join_strings.h"

namespace {

const char* configured_because(relocate_note note) {
  switch (note) {
    case RELOCATE_NO_NAME:
      return "no program name to relocate from";
    case RELOCATE_NOT_ON_PATH:
      return "the program was not found along PATH";
    case RELOCATE_NO_PATH:
      return "PATH is not set to find the program along";
    case RELOCATE_UNRESOLVED:
      return "the program's name names no file";
    case RELOCATE_IN_BIN_DIR:
      return "the program file lies in the configured bin directory ";
    case RELOCATE_NO_SHARED_ROOT:
      return "the configured bin directory and this one share no root";
    case RELOCATE_NO_MEMORY:
    default:
      return "out of memory";
  }
}

}  // namespace

void trace_program_file(const char* prog_name, bool from_exec_prefix, const char* program_file,
                        relocate_note note) {
  trace_line("Finding the installation from '%s'%s", prog_name, from_exec_prefix ? " (from QUARN_EXEC_PREFIX)" : "");
  if (program_file == nullptr) return;
  const char* how = note == RELOCATE_NOT_ON_PATH ? " (not found along PATH, taken as it stands)"
                    : note == RELOCATE_NO_PATH   ? " (PATH is not set, taken as it stands)"
                                                 : "";
  trace_line("  - program file, links resolved: %s%s", program_file, how);
}

void trace_install_dir(const char* what, const char* dir, relocate_note note) {
  if (note == RELOCATE_OK) {
    trace_line("  - %s: %s (relocated)", what, dir);
    return;
  }
  trace_line("  - %s: %s (configured: %s%s)", what, dir, configured_because(note),
             note == RELOCATE_IN_BIN_DIR ? CONFIG_BIN_DIR : "");
}

void trace_command(char* const* tool_argv, const char* response_file) {
  trace_line("Starting '%s'", tool_argv[0]);
  trace_command_line("  - command line:", tool_argv);
  if (response_file == nullptr) {
    trace_line("  - no response file: the arguments are passed as they are");
    return;
  }
  char* label = join_strings("  - carried by the response file ", response_file, ", started as:", nullptr);
  char* at_file = join_strings("@", response_file, nullptr);
  char* started[] = {tool_argv[0], at_file, nullptr};
  trace_command_line(label, started);
  free(at_file);
  free(label);
}
