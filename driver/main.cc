// quarn-ar, quarn-nm and quarn-ranlib: run the toolchain's ar, nm or ranlib with the
// toolchain's plugin in front of the user's arguments.
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "argv/argv_expand.h"
#include "driver/install_dirs.h"
#include "driver/run_tool.h"
#include "driver/wrapper_flow.h"
#include "quarn_config.h"
#include "support/env_snapshot.h"
#include "support/trace.h"

namespace {

constexpr wrapper_identity self = {WRAPPED_TOOL, WRAPPER_NAME, DASH_FIRST_ARGUMENT != 0};

// The list's entries go into seed_block, which outlives the list; the directories they
// are made from need to outlive only this call.
void init_search_lists(const char* prog_name, void* seed_block, size_t seed_size) {
  char lib[PATH_MAX], libexec[PATH_MAX];
  install_dirs dirs = find_install_dirs_into(prog_name, self.name, lib, libexec, PATH_MAX);
  seed_search_lists_into(dirs.lib, dirs.libexec, &tool_dirs, seed_block, seed_size);
}

[[noreturn]] void usage() {
  fputs(USAGE_TEXT, stderr);
  exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  env_snapshot_take();
  trace_init();
  // execve allows an empty vector: without an entry 0 there is nothing to relocate from
  // and nothing to print. An empty name (what Linux passes instead) runs as any other.
  if (argc < 1 || argv[0] == nullptr) usage();
  // main's frame lasts as long as the program: the lists' seed and the found paths can
  // live in it.
  alignas(dir_entry) char seed_block[2 * PATH_MAX];
  init_search_lists(argv[0], seed_block, sizeof seed_block);
  if (!take_b_option(&argc, argv, &tool_dirs, &fallback_dirs)) usage();

  char plugin_buffer[PATH_MAX], tool_buffer[PATH_MAX];
  char* plugin_path = locate_plugin_into(&tool_dirs, plugin_buffer, sizeof plugin_buffer);
  if (plugin_path == nullptr) {
    fprintf(stderr, "%s: Cannot find plugin '%s'\n", argv[0], PLUGIN_NAME);
    return 1;
  }
  char* tool_path = locate_tool_into(self.tool, &tool_dirs, &fallback_dirs, tool_buffer, sizeof tool_buffer);
  if (tool_path == nullptr) {
    fprintf(stderr, "%s: Cannot find binary '%s'\n", argv[0], prefixed_tool_name(self.tool));
    return 1;
  }

  // A new vector means at least one @-file was read: the tool then gets everything
  // through one response file of ours.
  char** const original_argv = argv;
  argv_expand_at_files(&argc, &argv);
  alignas(char*) char argv_block[1024];
  char** tool_argv =
      build_tool_argv(tool_path, plugin_path, argc, argv, self.dash_first_argument, argv_block, sizeof argv_block);
  return run_tool(tool_path, tool_argv, argv != original_argv);
}
