// quarn-ar, quarn-nm and quarn-ranlib: run the toolchain's ar, nm or ranlib with the
// toolchain's plugin in front of the user's arguments.
#include <cstdio>
#include <cstdlib>

#include "driver/install_dirs.h"
#include "driver/wrapper_flow.h"
#include "quarn_config.h"

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

}  // namespace

int main(int argc, char** argv) {
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

  if (self.dash_first_argument) apply_dash_first_argument(argv);
  char** tool_argv = build_tool_argv(tool_path, plugin_path, argc, argv);
  (void)tool_argv;
  fprintf(stderr, "%s: running '%s' is not built yet\n", argv[0], tool_path);
  return 1;
}
