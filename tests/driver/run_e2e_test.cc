// Running the tool: what it receives, and how its fate becomes the wrapper's exit status.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <utility>
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

using fake_tree = testutil::fake_tool_tree;
using testutil::built_wrapper;

TEST(run_tool, vector_is_tool_plugin_then_user_arguments) {
  fake_tree t;
  const struct {
    const char* tool;
    strings args;
    strings passed;
  } cases[] = {
      {"ar", {"rcs", "libx.a", "a.o"}, {"-rcs", "libx.a", "a.o"}},
      {"ar", {"-rcs", "libx.a"}, {"-rcs", "libx.a"}},
      {"ar", {""}, {"-"}},
      {"ar", {}, {}},
      {"ar", {"t", "-B", "x", "-Bother"}, {"-t", "-B", "x", "-Bother"}},
      {"nm", {"foo.o"}, {"foo.o"}},
      {"ranlib", {"libx.a"}, {"libx.a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.tool) + " " + testing::PrintToString(c.args));
    child_result r = t.run(c.tool, c.args);
    ASSERT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_EQ(r.err, "");
    strings expected = {t.tool(c.tool), "--plugin", t.plugin};
    expected.insert(expected.end(), c.passed.begin(), c.passed.end());
    EXPECT_EQ(t.received(), expected);
  }
}

TEST(run_tool, both_b_forms_reach_the_same_tool) {
  fake_tree t;
  for (const strings& argv : {strings{"quarn-ar", "-B", t.tree.target_bin(), "rcs", "x.a"},
                              strings{"quarn-ar", "-B" + t.tree.target_bin() + "/", "rcs", "x.a"}}) {
    child_result r = run_program(built_wrapper("ar"), argv, t.options);
    ASSERT_EQ(r.exit_code(), 0) << r.err;
    EXPECT_EQ(t.received(), (strings{t.tool("ar"), "--plugin", t.plugin, "-rcs", "x.a"}));
  }
}

TEST(run_tool, prefixed_tool_along_path_when_the_installation_has_none) {
  fake_tree t;
  std::string path_dir = t.tree.root() + "/empty";
  for (const char* tool : {"ar", "nm", "ranlib"}) unlink(t.tool(tool).c_str());
  std::string prefixed = t.tree.install_fake_tool(std::string(CONFIG_TARGET) + "-nm", path_dir);
  child_result r = t.run("nm", {"a.o"});
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(t.received(), (strings{prefixed, "--plugin", t.plugin, "a.o"}));
}

TEST(run_tool, exit_statuses_pass_through_silently) {
  fake_tree t;
  // Also under a parent that ignores SIGCHLD, where the system may reap children itself.
  for (auto [code, sigchld_ignored] : {std::pair{0, false}, {3, false}, {255, false}, {0, true}, {3, true}}) {
    t.options.env["FAKE_TOOL_EXIT"] = std::to_string(code);
    t.options.sigchld_ignored = sigchld_ignored;
    child_result r = t.run("ar", {"t", "x.a"});
    EXPECT_EQ(r.exit_code(), code) << (sigchld_ignored ? "SIGCHLD ignored: " : "") << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
  }
}

TEST(run_tool, death_by_signal_is_reported_with_status_1) {
  fake_tree t;
  for (int sig : {SIGKILL, SIGTERM}) {
    t.options.env["FAKE_TOOL_SIGNAL"] = std::to_string(sig);
    child_result r = t.run("nm", {"x.o"});
    EXPECT_EQ(r.exit_code(), 1);
    EXPECT_EQ(r.err, t.tool("nm") + " terminated with signal " + std::to_string(sig) + " [" + strsignal(sig) + "]\n");
  }
}

TEST(run_tool, tool_that_cannot_start_is_reported_with_status_1) {
  fake_tree t;
  testutil::write_file(t.tool("ranlib"), "#!/nonexistent/interpreter\n", 0755);
  child_result r = t.run("ranlib", {"x.a"});
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, "Error running " + t.tool("ranlib") + ": posix_spawnp\n");
}

TEST(run_tool, standard_streams_pass_through_byte_for_byte) {
  fake_tree t;
  std::string input;
  for (int i = 0; i < 4096; ++i) input.push_back(static_cast<char>(i * 31 + i / 256));
  t.options.env["FAKE_TOOL_CAT"] = "1";
  t.options.env["FAKE_TOOL_STDERR"] = "a message\n\x01\xff";
  t.options.input = input;
  child_result r = t.run("nm", {"x.o"});
  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_EQ(r.out, input);
  EXPECT_EQ(r.err, "a message\n\x01\xff");

  t.options.env.erase("FAKE_TOOL_CAT");
  t.options.env.erase("FAKE_TOOL_STDERR");
  t.options.input.clear();
  t.options.env["FAKE_TOOL_OUT_MB"] = "8";
  r = t.run("nm", {"x.o"});
  EXPECT_EQ(r.exit_code(), 0);
  ASSERT_EQ(r.out.size(), 8u << 20);
  for (size_t i = 0; i < r.out.size(); i += 4099) {
    size_t j = i % 65536;
    ASSERT_EQ(r.out[i], static_cast<char>(j * 7 + j / 256)) << i;
  }
}

// With "-B" and an empty directory the empty prefix comes first: the plugin and the tool
// are found in the working directory, and those very files must be used even though a
// program of the same name lies along PATH.
TEST(run_tool, files_found_through_the_empty_prefix_are_the_ones_used) {
  fake_tree t;
  std::string cwd = t.tree.root() + "/work";
  testutil::make_dirs(cwd);
  t.tree.install_plugin(cwd);
  t.tree.install_fake_tool("ar", cwd);
  testutil::write_file(t.tree.root() + "/empty/ar", "#!/bin/sh\nexit 42\n", 0755);
  t.options.cwd = cwd;
  t.options.env["FAKE_TOOL_LOAD"] = "1";
  t.options.env["QUARN_TEST_PLUGIN_MARK"] = t.tree.root() + "/mark";
  child_result r = run_program(built_wrapper("ar"), {"quarn-ar", "-B", "", "t", "x.a"}, t.options);
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(t.received(), (strings{"./ar", "--plugin", std::string("./") + PLUGIN_NAME, "-t", "x.a"}));
  // Loaded by a name with a directory, so from the working directory, not a library path.
  EXPECT_EQ(testutil::read_file(t.tree.root() + "/mark"), std::string("onload ./") + PLUGIN_NAME + "\n");
}

// The host's binutils with our plugin: archives really get made, indexed and listed.
class real_tools : public testing::Test {
 protected:
  void SetUp() override {
    std::string missing = testutil::missing_host_binutils({"ar", "nm", "ranlib"});
    plugin = tree.target_bin() + "/" + PLUGIN_NAME;
    if (missing.empty()) missing = testutil::place_host_plugin(plugin);
    if (!missing.empty()) GTEST_SKIP() << missing;
    for (const char* tool : {"ar", "nm", "ranlib"}) tree.install_host_tool(tool, tool);
    work = tree.root() + "/work";
    testutil::make_dirs(work);
    testutil::write_file(work + "/a.c", "int alpha(void) { return 1; }\n");
    testutil::write_file(work + "/b.c", "int beta(void) { return 2; }\n");
    for (const char* obj : {"a", "b"}) {
      child_result r = run_program(testutil::find_on_path("cc"),
                                   {"cc", "-c", "-o", work + "/" + obj + ".o", work + "/" + obj + ".c"});
      ASSERT_EQ(r.exit_code(), 0) << r.err;
    }
    options.cwd = work;
    options.env["QUARN_TEST_PLUGIN_MARK"] = mark();
  }
  std::string mark() const { return tree.root() + "/mark"; }
  child_result wrapper(const std::string& tool, const strings& args) {
    strings argv = {"quarn-" + tool, "-B", tree.target_bin()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(built_wrapper(tool), argv, options);
  }
  staged_tree tree;
  std::string plugin, work;
  run_options options;
};

TEST_F(real_tools, archive_is_made_indexed_and_listed_with_our_plugin) {
  child_result r = wrapper("ar", {"rc", "libx.a", "a.o", "b.o"});
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  r = run_program(testutil::find_on_path("ar"), {"ar", "t", "libx.a"}, options);
  EXPECT_EQ(r.out, "a.o\nb.o\n");

  r = wrapper("ranlib", {"libx.a"});
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  r = run_program(testutil::find_on_path("nm"), {"nm", "--print-armap", "libx.a"}, options);
  EXPECT_NE(r.out.find("alpha in a.o"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("beta in b.o"), std::string::npos) << r.out;

  r = wrapper("nm", {"a.o"});
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_NE(r.out.find(" T alpha"), std::string::npos) << r.out;

  r = wrapper("ar", {"t", "libx.a"});
  EXPECT_EQ(r.out, "a.o\nb.o\n");

  // Every run loaded the very plugin file that the wrapper handed on.
  std::string marks = testutil::read_file(mark());
  std::string line = "onload " + plugin + "\n";
  size_t count = 0;
  for (size_t at = marks.find(line); at != std::string::npos; at = marks.find(line, at + 1)) ++count;
  EXPECT_GE(count, 4u) << marks;
  EXPECT_EQ(marks.size(), count * line.size()) << "no other plugin was loaded: " << marks;
}

TEST_F(real_tools, tool_failure_status_reaches_the_caller) {
  child_result direct = run_program(testutil::find_on_path("ar"), {"ar", "t", "missing.a"}, options);
  ASSERT_NE(direct.exit_code(), 0);
  child_result r = wrapper("ar", {"t", "missing.a"});
  EXPECT_EQ(r.exit_code(), direct.exit_code());
  EXPECT_NE(r.err.find("missing.a"), std::string::npos) << "ar's own message passes through: " << r.err;
}

}  // namespace
