// A toolchain installation laid out in a temporary directory, for end-to-end tests.
//
// <root>/bin/                                   the wrappers (copies of the built programs)
// <root>/<target>/bin/                          the target's tools
// <root>/libexec/quarn/<target>/<version>/      the plugin
// <root>/lib/quarn/<target>/<version>/          (exists, holds nothing)
#pragma once

#include <string>
#include <vector>

#include "common/test_util.h"

namespace testutil {

class staged_tree {
 public:
  /// Lays the tree out in a fresh temporary directory, or in its subdirectory sub.
  explicit staged_tree(const std::string& sub = "");
  const std::string& root() const { return root_; }
  /// The temporary directory that holds the tree.
  const std::string& base() const { return dir_.path(); }
  std::string bin_dir() const { return root() + "/bin"; }
  std::string target_bin() const;
  std::string libexec_dir() const;
  /// Path of the installed wrapper, e.g. wrapper("ar") is <root>/bin/quarn-ar.
  std::string wrapper(const std::string& tool) const { return bin_dir() + "/quarn-" + tool; }

  /// Copies the three built wrappers into bin_dir().
  void install_wrappers();
  /// Copies the test plugin into dir (default libexec_dir()) as libvorta_plugin.so.
  std::string install_plugin(const std::string& dir = "");
  /// Copies the fake tool into dir (default target_bin()) under name; returns its path.
  std::string install_fake_tool(const std::string& name, const std::string& dir = "");
  /// Links the host's tool of that name (found along PATH) into dir under name.
  std::string install_host_tool(const std::string& host_name, const std::string& name,
                                const std::string& dir = "");

 private:
  scoped_temp_dir dir_;
  std::string root_;
};

/// A staged tree whose target bin directory holds the plugin and a fake ar, nm and
/// ranlib that record what they receive; PATH holds one empty directory, so nothing of
/// the host is found. The wrappers reach the tools with -B.
struct fake_tool_tree {
  fake_tool_tree();
  std::string tool(const std::string& name) const { return tree.target_bin() + "/" + name; }
  std::string record() const { return tree.root() + "/argv.rec"; }
  /// The arguments the fake tool received in its last run.
  std::vector<std::string> received() const;
  /// Runs the built quarn-<name> with "-B <target bin>" and args.
  child_result run(const std::string& name, const std::vector<std::string>& args) const;

  staged_tree tree;
  std::string plugin;
  run_options options;
};

/// The built wrapper of that tool, e.g. .../driver/quarn-ar.
std::string built_wrapper(const std::string& tool);
/// The host's program of that name along PATH, or "" when there is none.
std::string find_on_path(const std::string& name);
/// Why the host cannot serve a test that runs its tools with our plugin, or "" when it
/// can: each of tools must be GNU binutils' (others, FreeBSD's own ar and LLVM's, ignore
/// --plugin or @-files) and cc must be there to make objects.
std::string missing_host_binutils(const std::vector<std::string>& tools);
/// Puts a test plugin that the host's ar can load at path: ours, or one that cc builds when
/// ours is for another ELF class or machine (a -m32 build on a 64-bit host). Returns why
/// it cannot, or "" when it did.
std::string place_host_plugin(const std::string& path);
/// Copies a file, keeping its mode.
void copy_file(const std::string& from, const std::string& to);
/// Reads what the fake tool recorded: the arguments it received, in order.
std::vector<std::string> read_recorded_argv(const std::string& path);

}  // namespace testutil
