#include "driver/run_tool.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "driver/exit_status.h"
#include "driver/response_file.h"
#include "driver/signal_relay.h"
#include "driver/trace.h"
#include "process/pex_pipeline.h"
#include "process/pex_run.h"
#include "quarn_config.h"
#include "support/checked_alloc.h"
#include "support/trace.h"

namespace {

// What became of one start of the tool.
struct tool_start {
  const char* error_message;  // null when the tool ran and was waited for
  int error_code;
  int status;  // its wait status
  int signal;  // a terminating signal that reached the wrapper meanwhile, or 0
};

tool_start start_tool(const char* tool_path, char* const* tool_argv) {
  // The pipeline holds the name only while the tool runs, and a path that access() took
  // is shorter than PATH_MAX ("./" aside): the stack serves, a block only past that.
  char stack_name[sizeof CHILD_NAME_PREFIX + PATH_MAX + 2];
  constexpr size_t prefix_len = sizeof CHILD_NAME_PREFIX - 1;
  size_t path_size = strlen(tool_path) + 1;
  size_t size = prefix_len + path_size;
  char* child_name = size <= sizeof stack_name ? stack_name : static_cast<char*>(checked_alloc(size));
  memcpy(child_name, CHILD_NAME_PREFIX, prefix_len);
  memcpy(child_name + prefix_len, tool_path, path_size);
  tool_start start = {};
  relay_tool_starting();
  start.error_message = pex_run_command_watched(PEX_FINAL | PEX_PATH_SEARCH, tool_path, tool_argv, child_name,
                                                nullptr, nullptr, &relay_watch, &start.status, &start.error_code);
  start.signal = relay_tool_done();
  return start;
}

}  // namespace

int run_tool(const char* tool_path, char** tool_argv, bool through_file) {
  relay_catch_signals();
  response_file response = {nullptr, -1};
  char* pass_through[3];
  tool_start start;
  for (;;) {
    if (through_file) {
      response_file_create(&response);
      response_file_write(&response, tool_argv, pass_through);
    }
    if (trace_enabled) trace_command(tool_argv, response.name);
    start = start_tool(tool_path, through_file ? pass_through : tool_argv);
    if (start.error_message != nullptr)
      TRACE("  - failed to start: %s: %s", start.error_message,
            start.error_code != 0 ? strerror(start.error_code) : "refused by the pipeline");
    // The plugin arguments and a longer tool path can push a command line that the
    // caller could start us with past the system's limit: a response file carries any.
    bool too_long = start.error_message != nullptr && start.error_code == E2BIG && start.signal == 0;
    if (!too_long || through_file) break;
    TRACE("  - starting again through a response file: the command line is too long for the system");
    through_file = true;
  }
  response_file_remove(&response);
  // Interrupted: end as the tool would have ended us, with nothing of our own to say.
  if (start.signal != 0) relay_end_by(start.signal);
  if (start.error_message != nullptr) {
    fprintf(stderr, "Error running %s: %s\n", tool_path, start.error_message);
    return 1;
  }
  return exit_status_from_wait(start.status, tool_path, stderr);
}
