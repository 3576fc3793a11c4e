#include "common/staged_tree.h"

#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>

#include <gtest/gtest.h>

#include "quarn_config.h"

namespace testutil {

staged_tree::staged_tree(const std::string& sub) : root_(sub.empty() ? dir_.path() : dir_.path() + "/" + sub) {
  make_dirs(bin_dir());
  make_dirs(target_bin());
  make_dirs(libexec_dir());
  make_dirs(root() + "/lib/quarn/" + CONFIG_TARGET + "/" + CONFIG_VERSION);
}

std::string staged_tree::target_bin() const { return root() + "/" + CONFIG_TARGET + "/bin"; }

std::string staged_tree::libexec_dir() const {
  return root() + "/libexec/quarn/" + CONFIG_TARGET + "/" + CONFIG_VERSION;
}

void staged_tree::install_wrappers() {
  for (const char* tool : {"ar", "nm", "ranlib"}) {
    copy_file(programs_dir() + "/quarn-" + tool, wrapper(tool));
  }
}

std::string staged_tree::install_plugin(const std::string& dir) {
  std::string path = (dir.empty() ? libexec_dir() : dir) + "/" + PLUGIN_NAME;
  copy_file(helpers_dir() + "/test_plugin.so", path);
  return path;
}

std::string staged_tree::install_fake_tool(const std::string& name, const std::string& dir) {
  std::string path = (dir.empty() ? target_bin() : dir) + "/" + name;
  copy_file(helpers_dir() + "/quarn_fake_tool", path);
  return path;
}

std::string staged_tree::install_host_tool(const std::string& host_name, const std::string& name,
                                           const std::string& dir) {
  std::string host = find_on_path(host_name);
  EXPECT_FALSE(host.empty()) << "no " << host_name << " on PATH";
  std::string path = (dir.empty() ? target_bin() : dir) + "/" + name;
  EXPECT_EQ(symlink(host.c_str(), path.c_str()), 0) << path;
  return path;
}

fake_tool_tree::fake_tool_tree() {
  plugin = tree.install_plugin(tree.target_bin());
  for (const char* name : {"ar", "nm", "ranlib"}) tree.install_fake_tool(name);
  make_dirs(tree.root() + "/empty");
  options.env["PATH"] = tree.root() + "/empty";
  options.env["FAKE_TOOL_ARGV"] = record();
}

std::vector<std::string> fake_tool_tree::received() const { return read_recorded_argv(record()); }

child_result fake_tool_tree::run(const std::string& name, const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {"quarn-" + name, "-B", tree.target_bin()};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_program(built_wrapper(name), argv, options);
}

std::string built_wrapper(const std::string& tool) { return programs_dir() + "/quarn-" + tool; }

std::string find_on_path(const std::string& name) {
  const char* path = getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

std::string missing_host_binutils(const std::vector<std::string>& tools) {
  for (const std::string& tool : tools) {
    std::string path = find_on_path(tool);
    if (path.empty()) return tool + " is not on PATH (Debian package binutils)";
    if (run_program(path, {tool, "--version"}).out.find("GNU Binutils") == std::string::npos) {
      return path + " is not GNU binutils' " + tool + ", which takes --plugin (Debian package binutils)";
    }
  }
  if (find_on_path("cc").empty()) return "cc is not on PATH (Debian package gcc)";
  return "";
}

namespace {

// ELF class, byte order and machine: what a program and the plugin it loads must share.
std::string elf_kind(const std::string& path) {
  const size_t machine = offsetof(Elf64_Ehdr, e_machine);  // the same in both classes
  std::string head = read_file(path).substr(0, machine + 2);
  if (head.size() < machine + 2 || head.compare(0, SELFMAG, ELFMAG) != 0) return "";
  return {head[EI_CLASS], head[EI_DATA], head[machine], head[machine + 1]};
}

}  // namespace

std::string place_host_plugin(const std::string& path) {
  std::string ar = find_on_path("ar"), ours = helpers_dir() + "/test_plugin.so";
  if (!elf_kind(ar).empty() && elf_kind(ours) == elf_kind(ar)) {
    copy_file(ours, path);
    return "";
  }
  child_result r = run_program(find_on_path("cc"), {"cc", "-shared", "-fPIC", "-o", path, QUARN_TEST_PLUGIN_SOURCE});
  if (r.exit_code() != 0) return "cc cannot build the test plugin for " + ar + ": " + r.err;
  if (elf_kind(path) != elf_kind(ar)) return "cc builds plugins of another ELF class or machine than " + ar + " is";
  return "";
}

void copy_file(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  ASSERT_FALSE(ec) << from << " -> " << to << ": " << ec.message();
}

std::vector<std::string> read_recorded_argv(const std::string& path) {
  std::string data = read_file(path);
  std::vector<std::string> args;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\0', start);
    if (end == std::string::npos) end = data.size();
    args.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

}  // namespace testutil
