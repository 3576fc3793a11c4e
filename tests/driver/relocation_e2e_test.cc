// A staged installation works without "-B", however its wrapper is started and
// wherever the tree lies.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "quarn_config.h"
#include "common/staged_tree.h"
#include "common/test_util.h"

namespace {

using testutil::child_result;
using testutil::read_recorded_argv;
using testutil::run_options;
using testutil::run_program;
using testutil::staged_tree;
using strings = std::vector<std::string>;

// Wrappers in bin/, fake tools in the target's bin/, the plugin in the versioned libexec/.
struct installed_tree {
  explicit installed_tree(const std::string& sub = "") : tree(sub) {
    tree.install_wrappers();
    tree.install_plugin();
    for (const char* tool : {"ar", "nm", "ranlib"}) tree.install_fake_tool(tool);
    for (const char* tool : {"ar", "nm", "ranlib"}) {
      std::string program = std::string("quarn-") + tool;
      symlink(program.c_str(), (tree.bin_dir() + "/" + CONFIG_TARGET + "-" + program).c_str());
    }
    testutil::make_dirs(tree.root() + "/empty");
    options.env["PATH"] = tree.root() + "/empty";
    options.env["FAKE_TOOL_ARGV"] = record();
    options.env["QUARN_EXEC_PREFIX"] = std::nullopt;
  }
  std::string record() const { return tree.root() + "/argv.rec"; }
  staged_tree tree;
  run_options options;
};

// What the fake tool must have received when the tree at root was found.
strings expected_argv(const std::string& root, const std::string& tool, const strings& args) {
  strings argv = {root + "/bin/../lib/quarn/" + CONFIG_TARGET + "/" + CONFIG_VERSION + "/../../../../" +
                      CONFIG_TARGET + "/bin/" + tool,
                  "--plugin",
                  root + "/bin/../libexec/quarn/" + CONFIG_TARGET + "/" + CONFIG_VERSION + "/" + PLUGIN_NAME};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

TEST(relocation, wrapper_finds_its_tree_however_it_is_started) {
  installed_tree t;
  std::string root = t.tree.root();
  std::string elsewhere = root + "/elsewhere";
  testutil::make_dirs(elsewhere);
  symlink(t.tree.wrapper("ar").c_str(), (elsewhere + "/quarn-ar").c_str());
  const struct {
    const char* how;
    std::string program;
    std::string argv0;
    std::string cwd;
    std::string path;
  } cases[] = {
      {"absolute path", t.tree.wrapper("ar"), t.tree.wrapper("ar"), "/", ""},
      {"relative path", t.tree.wrapper("ar"), "bin/quarn-ar", root, ""},
      {"dot-relative path", t.tree.wrapper("ar"), "./quarn-ar", root + "/bin", ""},
      {"bare name along PATH", t.tree.wrapper("ar"), "quarn-ar", "/", root + "/empty:" + root + "/bin"},
      {"symlink from another directory", elsewhere + "/quarn-ar", elsewhere + "/quarn-ar", "/", ""},
      {"target-prefixed name", root + "/bin/" + CONFIG_TARGET + "-quarn-ar",
       root + "/bin/" + CONFIG_TARGET + "-quarn-ar", "/", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    run_options options = t.options;
    options.cwd = c.cwd;
    if (!c.path.empty()) options.env["PATH"] = c.path;
    child_result r = run_program(c.program, {c.argv0, "rcs", "x.a", "y.o"}, options);
    ASSERT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_EQ(read_recorded_argv(t.record()), expected_argv(root, "ar", {"-rcs", "x.a", "y.o"}));
  }
}

TEST(relocation, quarn_exec_prefix_names_the_program_directory) {
  installed_tree t;
  std::string root = t.tree.root();
  // The built wrapper, outside any tree, finds the tree that the variable names.
  std::string outside = testutil::programs_dir() + "/quarn-nm";
  run_options options = t.options;
  options.env["QUARN_EXEC_PREFIX"] = root + "/bin/";
  child_result r = run_program(outside, {"quarn-nm", "a.o"}, options);
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(read_recorded_argv(t.record()), expected_argv(root, "nm", {"a.o"}));

  // Empty: the bare wrapper name is looked up along PATH.
  options.env["QUARN_EXEC_PREFIX"] = "";
  options.env["PATH"] = root + "/bin";
  r = run_program(outside, {"quarn-nm", "a.o"}, options);
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(read_recorded_argv(t.record()), expected_argv(root, "nm", {"a.o"}));

  // Without the final '/' the name is glued on: <root>/binquarn-nm leads nowhere.
  options.env["QUARN_EXEC_PREFIX"] = root + "/bin";
  options.env["PATH"] = root + "/empty";
  r = run_program(outside, {"quarn-nm", "a.o"}, options);
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, std::string("quarn-nm: Cannot find plugin '") + PLUGIN_NAME + "'\n");
}

TEST(relocation, colon_in_the_tree_path_makes_no_relative_directory) {
  installed_tree t("tc:v2/tree");
  // What the part behind the ':' would name, relative to the working directory.
  staged_tree planted("v2/tree");
  planted.install_plugin();
  planted.install_fake_tool("ar");
  run_options options = t.options;
  options.cwd = planted.base();
  child_result r = run_program(t.tree.wrapper("ar"), {t.tree.wrapper("ar"), "t", "x.a"}, options);
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(read_recorded_argv(t.record()), expected_argv(t.tree.root(), "ar", {"-t", "x.a"}));
}

TEST(relocation, moved_tree_keeps_working) {
  installed_tree t;
  std::string old_root = t.tree.root();
  std::string new_root = old_root + "-moved";
  ASSERT_EQ(rename(old_root.c_str(), new_root.c_str()), 0);
  run_options options = t.options;
  options.env["FAKE_TOOL_ARGV"] = new_root + "/argv.rec";
  child_result r = run_program(new_root + "/bin/quarn-ranlib", {new_root + "/bin/quarn-ranlib", "x.a"}, options);
  strings received = read_recorded_argv(new_root + "/argv.rec");
  // Put it back for the tree's own clean-up before anything can fail.
  ASSERT_EQ(rename(new_root.c_str(), old_root.c_str()), 0);
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(received, expected_argv(new_root, "ranlib", {"x.a"}));
}

}  // namespace

namespace {

TEST(relocation, tree_installed_by_cmake_works_with_the_host_tools) {
  std::string missing = testutil::missing_host_binutils({"ar", "nm", "ranlib"});
  if (!missing.empty()) GTEST_SKIP() << missing;
  testutil::scoped_temp_dir prefix;
  child_result r = run_program(QUARN_CMAKE_COMMAND, {"cmake", "--install", QUARN_BUILD_DIR, "--prefix", prefix.path()});
  ASSERT_EQ(r.exit_code(), 0) << r.out << r.err;
  std::string target_bin = prefix / (std::string(CONFIG_TARGET) + "/bin");
  std::string libexec = prefix / (std::string("libexec/quarn/") + CONFIG_TARGET + "/" + CONFIG_VERSION);
  ASSERT_TRUE(testutil::file_exists(target_bin)) << "the install makes the empty directories";
  ASSERT_TRUE(testutil::file_exists(libexec));
  missing = testutil::place_host_plugin(libexec + "/" + PLUGIN_NAME);
  if (!missing.empty()) GTEST_SKIP() << missing;
  for (const char* tool : {"ar", "nm", "ranlib"}) {
    ASSERT_EQ(symlink(testutil::find_on_path(tool).c_str(), (target_bin + "/" + tool).c_str()), 0);
  }
  testutil::write_file(prefix / "f.c", "int f(void) { return 0; }\n");
  r = run_program(testutil::find_on_path("cc"), {"cc", "-c", "-o", prefix / "f.o", prefix / "f.c"});
  ASSERT_EQ(r.exit_code(), 0) << r.err;

  run_options options;
  options.cwd = prefix.path();
  options.env["QUARN_TEST_PLUGIN_MARK"] = prefix / "mark";
  std::string prefixed_ar = prefix / (std::string("bin/") + CONFIG_TARGET + "-quarn-ar");
  r = run_program(prefixed_ar, {prefixed_ar, "rcs", "libf.a", "f.o"}, options);
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  run_options by_name = testutil::in_dir(prefix.path());
  by_name.env["PATH"] = prefix / "bin";
  r = run_program(prefix / "bin/quarn-ar", {"quarn-ar", "t", "libf.a"}, by_name);
  EXPECT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(r.out, "f.o\n");
  r = run_program(prefix / "bin/quarn-nm", {prefix / "bin/quarn-nm", "libf.a"}, options);
  EXPECT_NE(r.out.find(" T f"), std::string::npos) << r.out << r.err;
  std::string handed_on = prefix / (std::string("bin/../libexec/quarn/") + CONFIG_TARGET + "/" + CONFIG_VERSION + "/" + PLUGIN_NAME);
  EXPECT_NE(testutil::read_file(prefix / "mark").find("onload " + handed_on + "\n"), std::string::npos);
}

}  // namespace
