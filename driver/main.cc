// quarn-ar, quarn-nm and quarn-ranlib: run the toolchain's ar, nm or ranlib with the
// toolchain's plugin in front of the user's arguments.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "argv/argv_expand.h"
#include "driver/exit_status.h"
#include "driver/install_dirs.h"
#include "driver/response_file.h"
#include "driver/trace.h"
#include "driver/wrapper_flow.h"
#include "process/pex_pipeline.h"
#include "process/pex_run.h"
#include "quarn_config.h"
#include "support/join_strings.h"
#include "support/temp_file.h"

namespace {

constexpr wrapper_identity self = {WRAPPED_TOOL, WRAPPER_NAME, DASH_FIRST_ARGUMENT != 0};

void init_search_lists(const char* prog_name) {
  install_dirs dirs = find_install_dirs(prog_name, self.name);
  seed_search_lists(dirs.lib, dirs.libexec, &tool_dirs, &fallback_dirs);
}

[[noreturn]] void usage() {
  fputs(USAGE_TEXT, stderr);
  exit(1);
}

// Runs the tool and returns the wrapper's exit status.
int run_tool(const char* tool_path, char* const* tool_argv) {
  char* child_name = join_strings(CHILD_NAME_PREFIX, tool_path, nullptr);
  int status = 0;
  int error_code = 0;
  const char* failed = pex_run_command(PEX_FINAL | PEX_PATH_SEARCH, tool_path, tool_argv, child_name, nullptr,
                                       nullptr, &status, &error_code);
  if (failed != nullptr) {
    fprintf(stderr, "Error running %s: %s\n", tool_path, failed);
    return 1;
  }
  return exit_status_from_wait(status, tool_path, stderr);
}

}  // namespace

int main(int argc, char** argv) {
  trace_init();
  // execve allows an empty vector (Linux then passes a single empty entry instead):
  // without a name there is nothing to relocate from and nothing to print.
  if (argc < 1 || argv[0] == nullptr || argv[0][0] == '\0') usage();
  init_search_lists(argv[0]);
  if (!take_b_option(&argc, argv, &tool_dirs, &fallback_dirs)) usage();

  char* plugin_path = locate_plugin(&tool_dirs);
  if (plugin_path == nullptr) {
    fprintf(stderr, "%s: Cannot find plugin '%s'\n", argv[0], PLUGIN_NAME);
    return 1;
  }
  char* tool_path = locate_tool(self.tool, &tool_dirs, &fallback_dirs);
  if (tool_path == nullptr) {
    fprintf(stderr, "%s: Cannot find binary '%s'\n", argv[0], prefixed_tool_name(self.tool));
    return 1;
  }

  // A new vector means at least one @-file was read: the tool then gets everything
  // through one response file of ours.
  char** const original_argv = argv;
  argv_expand_at_files(&argc, &argv);
  char* response_file = argv != original_argv ? temp_file_create_suffixed("") : nullptr;

  if (self.dash_first_argument) apply_dash_first_argument(argv);
  char** tool_argv = build_tool_argv(tool_path, plugin_path, argc, argv);
  if (trace_enabled) trace_command(tool_argv, response_file);
  char* pass_through[3];
  if (response_file != nullptr) {
    response_file_write(response_file, tool_argv, pass_through);
    tool_argv = pass_through;
  }

  int exit_status = run_tool(tool_path, tool_argv);
  if (response_file != nullptr) unlink(response_file);
  return exit_status;
}
