// The steps of the wrappers' main flow, as functions that tests call directly.
#pragma once

#include <cstddef>

#include "search/dir_list.h"

/// What differs between quarn-ar, quarn-nm and quarn-ranlib.
struct wrapper_identity {
  const char* tool;          // base name of the wrapped tool ("ar")
  const char* name;          // the wrapper's own program name ("quarn-ar")
  bool dash_first_argument;  // the archiver's rule: a first argument gets a leading '-'
};

/// The same text in all three wrappers.
inline constexpr char USAGE_TEXT[] = "Usage: quarn-ar [-B prefix] ar arguments ...\n";

/// The process-wide lists: tools and plugin along tool_dirs, the prefixed tool along fallback_dirs.
extern dir_list tool_dirs;
extern dir_list fallback_dirs;

/// Appends the target's bin directory (reached through lib) and the version's libexec
/// directory to tools, one whole entry each. PATH reaches fallback in locate_tool.
void seed_search_lists(const char* lib, const char* libexec, dir_list* tools);
/// As seed_search_lists, with the entries in own when they fit: see dir_list_append_joined.
void seed_search_lists_into(const char* lib, const char* libexec, dir_list* tools, void* own, size_t own_size);

/// Takes the first "-B dir" or "-Bdir" argument out of argv (count and entries move down)
/// and puts dir, with a '/' added unless empty or already there, in front of both lists.
/// Returns false when "-B" is the last argument; the vector is then left shortened.
bool take_b_option(int* argc, char** argv, dir_list* tools, dir_list* fallback);

/// Returns the plugin's path found along tools with read access, or null.
/// Found paths always hold a '/' (see path_with_directory).
char* locate_plugin(const dir_list* tools);
/// As locate_plugin, but the path may be built in own (own_size bytes): see search_dir_list_into.
char* locate_plugin_into(const dir_list* tools, char* own, size_t own_size);
/// Returns the tool's path: the plain name along tools, else the target-prefixed name along
/// fallback with the directories of PATH appended to it first; with execute access; null
/// when neither is found. Call it once: each miss in tools appends PATH again.
char* locate_tool(const char* tool, const dir_list* tools, dir_list* fallback);
/// As locate_tool, but the path may be built in own (own_size bytes): see search_dir_list_into.
char* locate_tool_into(const char* tool, const dir_list* tools, dir_list* fallback, char* own, size_t own_size);
/// Returns path itself when it holds a '/', else a new string "./" + path, so that a
/// file found through the empty prefix is not looked up along PATH or a library path.
char* path_with_directory(char* path);
/// Returns the target-prefixed tool name ("<target>-ar"), a new string.
char* prefixed_tool_name(const char* tool);

/// Returns the vector tool path, "--plugin", plugin path, argv[1..argc-1], null (argc >= 1).
/// The user's strings are shared, not copied, but for one: when dash is set and argv[1]
/// does not begin with '-', a copy with a '-' in front, kept in the vector's block, takes
/// its place (argv[1] is left pointing at it). The block is own (aligned for pointers)
/// when it fits in own_size bytes, else a new one.
char** build_tool_argv(const char* tool_path, const char* plugin_path, int argc, char** argv, bool dash, void* own,
                       size_t own_size);
