// quarn-ar, quarn-nm and quarn-ranlib: run the toolchain's ar, nm or ranlib with the
// toolchain's plugin in front of the user's arguments.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "argv/argv_expand.h"
#include "driver/exit_status.h"
#include "driver/install_dirs.h"
#include "driver/response_file.h"
#include "driver/signal_relay.h"
#include "driver/trace.h"
#include "driver/wrapper_flow.h"
#include "process/pex_pipeline.h"
#include "process/pex_run.h"
#include "quarn_config.h"
#include "support/checked_alloc.h"
#include "support/env_snapshot.h"
#include "support/join_strings.h"
#include "support/trace.h"

namespace {

constexpr wrapper_identity self = {WRAPPED_TOOL, WRAPPER_NAME, DASH_FIRST_ARGUMENT != 0};

void init_search_lists(const char* prog_name) {
  install_dirs dirs = find_install_dirs(prog_name, self.name);
  seed_search_lists(dirs.lib, dirs.libexec, &tool_dirs);
}

[[noreturn]] void usage() {
  fputs(USAGE_TEXT, stderr);
  exit(1);
}

// What became of one start of the tool.
struct tool_run {
  const char* error_message;  // null when the tool ran and was waited for
  int error_code;
  int status;  // its wait status
  int signal;  // a terminating signal that reached the wrapper meanwhile, or 0
};

tool_run run_tool(const char* tool_path, char* const* tool_argv) {
  // The pipeline holds the name only while the tool runs, and a path that access() took
  // is shorter than PATH_MAX ("./" aside): the stack serves, a block only past that.
  char stack_name[sizeof CHILD_NAME_PREFIX + PATH_MAX + 2];
  size_t size = join_strings_length(CHILD_NAME_PREFIX, tool_path, nullptr) + 1;
  char* child_name = size <= sizeof stack_name ? stack_name : static_cast<char*>(checked_alloc(size));
  join_strings_into(child_name, CHILD_NAME_PREFIX, tool_path, nullptr);
  tool_run run = {};
  relay_tool_starting();
  run.error_message = pex_run_command_watched(PEX_FINAL | PEX_PATH_SEARCH, tool_path, tool_argv, child_name,
                                              nullptr, nullptr, &relay_watch, &run.status, &run.error_code);
  run.signal = relay_tool_done();
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  env_snapshot_take();
  trace_init();
  // execve allows an empty vector: without an entry 0 there is nothing to relocate from
  // and nothing to print. An empty name (what Linux passes instead) runs as any other.
  if (argc < 1 || argv[0] == nullptr) usage();
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
  bool through_file = argv != original_argv;
  relay_catch_signals();
  char** tool_argv = build_tool_argv_dashed(tool_path, plugin_path, argc, argv, self.dash_first_argument);

  response_file response = {nullptr, -1};
  char* pass_through[3];
  tool_run run;
  for (;;) {
    if (through_file) {
      response_file_create(&response);
      response_file_write(&response, tool_argv, pass_through);
    }
    if (trace_enabled) trace_command(tool_argv, response.name);
    run = run_tool(tool_path, through_file ? pass_through : tool_argv);
    if (run.error_message != nullptr)
      TRACE("  - failed to start: %s: %s", run.error_message,
            run.error_code != 0 ? strerror(run.error_code) : "refused by the pipeline");
    // The plugin arguments and a longer tool path can push a command line that the
    // caller could start us with past the system's limit: a response file carries any.
    bool too_long = run.error_message != nullptr && run.error_code == E2BIG && run.signal == 0;
    if (!too_long || through_file) break;
    TRACE("  - starting again through a response file: the command line is too long for the system");
    through_file = true;
  }
  response_file_remove(&response);
  // Interrupted: end as the tool would have ended us, with nothing of our own to say.
  if (run.signal != 0) relay_end_by(run.signal);
  if (run.error_message != nullptr) {
    fprintf(stderr, "Error running %s: %s\n", tool_path, run.error_message);
    return 1;
  }
  return exit_status_from_wait(run.status, tool_path, stderr);
}
