#include "driver/wrapper_flow.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "quarn_config.h"
#include "support/checked_alloc.h"
#include "support/env_snapshot.h"
#include "support/join_strings.h"

dir_list tool_dirs;
dir_list fallback_dirs;

void seed_search_lists(const char* lib, const char* libexec, dir_list* tools) {
  seed_search_lists_into(lib, libexec, tools, nullptr, 0);
}

void seed_search_lists_into(const char* lib, const char* libexec, dir_list* tools, void* own, size_t own_size) {
  // The target's own bin directory lies under the prefix, which the library directory
  // reaches by climbing out of <target>/<version>/; then the version's libexec
  // directory. Each is one entry: a ':' in the installation's path is part of a name,
  // and splitting there would make relative directories to search.
  const char* const entries[][2] = {{lib, CONFIG_TARGET_BIN_FROM_LIB}, {libexec, CONFIG_VERSIONED_SUBDIR}};
  dir_list_append_joined(tools, entries, 2, own, own_size);
}

namespace {

// Drops entry index, moving the rest down; the terminating null moves too.
void remove_argument(int* argc, char** argv, int index) {
  memmove(&argv[index], &argv[index + 1], static_cast<size_t>(*argc - index) * sizeof(char*));
  --*argc;
}

}  // namespace

bool take_b_option(int* argc, char** argv, dir_list* tools, dir_list* fallback) {
  int index = 1;
  while (index < *argc && !(argv[index][0] == '-' && argv[index][1] == 'B')) ++index;
  if (index >= *argc) return true;

  const char* joined = argv[index] + 2;
  remove_argument(argc, argv, index);
  const char* dir = joined;
  if (*joined == '\0') {
    if (index >= *argc) return false;
    dir = argv[index];
    remove_argument(argc, argv, index);
  }
  size_t len = strlen(dir);
  char* with_slash = len > 0 && dir[len - 1] != '/' ? join_strings(dir, "/", nullptr) : nullptr;
  if (with_slash != nullptr) dir = with_slash;
  dir_list_prepend(fallback, dir);
  dir_list_prepend(tools, dir);
  free(with_slash);  // the lists keep copies
  return true;
}

namespace {

// By hand: a run that walks no PATH then binds no strchr.
bool has_slash(const char* path) {
  for (; *path != '\0'; ++path) {
    if (*path == '/') return true;
  }
  return false;
}

// path_with_directory for a path that may lie in the caller's own buffer, which stays.
char* qualified(char* path, const char* own) {
  if (path != own) return path_with_directory(path);
  return has_slash(path) ? path : join_strings("./", path, nullptr);
}

}  // namespace

char* locate_plugin(const dir_list* tools) { return locate_plugin_into(tools, nullptr, 0); }

char* locate_plugin_into(const dir_list* tools, char* own, size_t own_size) {
  char* path = search_dir_list_into(tools, PLUGIN_NAME, R_OK, own, own_size);
  return path != nullptr ? qualified(path, own) : nullptr;
}

char* path_with_directory(char* path) {
  if (has_slash(path)) return path;
  char* qualified = join_strings("./", path, nullptr);
  free(path);
  return qualified;
}

char* prefixed_tool_name(const char* tool) { return join_strings(CONFIG_TARGET, "-", tool, nullptr); }

char* locate_tool(const char* tool, const dir_list* tools, dir_list* fallback) {
  return locate_tool_into(tool, tools, fallback, nullptr, 0);
}

char* locate_tool_into(const char* tool, const dir_list* tools, dir_list* fallback, char* own, size_t own_size) {
  char* path = search_dir_list_into(tools, tool, X_OK, own, own_size);
  if (path == nullptr) {
    // Split only now: most runs find the tool in the installation and never read PATH.
    const char* path_value = env_value(ENV_PATH);
    if (path_value != nullptr) dir_list_from_string(path_value, fallback);
    // A host tool of the plain name along PATH would not understand the target's objects.
    char* prefixed = prefixed_tool_name(tool);
    path = search_dir_list_into(fallback, prefixed, X_OK, own, own_size);
    free(prefixed);
  }
  return path != nullptr ? qualified(path, own) : nullptr;
}

char** build_tool_argv(const char* tool_path, const char* plugin_path, int argc, char** argv, bool dash, void* own,
                       size_t own_size) {
  // Every entry is set below; argc pointers already fit in memory, so the size cannot wrap.
  size_t vector_size = (static_cast<size_t>(argc) + 3) * sizeof(char*);
  dash = dash && argc > 1 && argv[1][0] != '-';
  size_t first_len = dash ? strlen(argv[1]) : 0;
  size_t size = vector_size + (dash ? first_len + 2 : 0);
  char** tool_argv = static_cast<char**>(size <= own_size ? own : checked_alloc(size));
  if (dash) {
    // The dashed first argument lives behind the vector, in the same block.
    char* dashed = reinterpret_cast<char*>(tool_argv) + vector_size;
    dashed[0] = '-';
    memcpy(dashed + 1, argv[1], first_len + 1);
    argv[1] = dashed;
  }
  tool_argv[0] = const_cast<char*>(tool_path);
  tool_argv[1] = const_cast<char*>("--plugin");
  tool_argv[2] = const_cast<char*>(plugin_path);
  for (int i = 1; i < argc; ++i) tool_argv[i + 2] = argv[i];
  tool_argv[argc + 2] = nullptr;
  return tool_argv;
}
