// The built programs, started for real in a staged installation tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quarn_config.h"
#include "common/staged_tree.h"
#include "common/test_util.h"

namespace {

using testutil::child_result;
using testutil::run_options;
using testutil::run_program;
using testutil::staged_tree;

const char kUsage[] = "Usage: quarn-ar [-B prefix] ar arguments ...\n";
const char* const kTools[] = {"ar", "nm", "ranlib"};

using testutil::built_wrapper;

// PATH limited to one empty directory, so that nothing of the host is found.
run_options isolated(const staged_tree& tree) {
  testutil::make_dirs(tree.root() + "/empty");
  run_options options;
  options.env["PATH"] = tree.root() + "/empty";
  return options;
}

TEST(wrapper_usage, trailing_b_prints_usage_before_any_search) {
  staged_tree tree;  // holds neither plugin nor tools
  for (const char* tool : kTools) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"-B"}, {"t", "-B"}}) {
      std::vector<std::string> argv = {built_wrapper(tool)};
      argv.insert(argv.end(), args.begin(), args.end());
      child_result r = run_program(built_wrapper(tool), argv, isolated(tree));
      EXPECT_EQ(r.exit_code(), 1) << tool;
      EXPECT_EQ(r.err, kUsage) << tool << ": the text names quarn-ar in every wrapper";
      EXPECT_EQ(r.out, "");
    }
  }
}

TEST(wrapper_usage, only_a_missing_entry_0_prints_usage) {
  testutil::fake_tool_tree t;
  child_result r = run_program(built_wrapper("nm"), {"", "-B", t.tree.target_bin(), "x.o"}, t.options);
  EXPECT_EQ(r.exit_code(), 0) << "an empty name runs as any other: " << r.err;
  EXPECT_EQ(t.received(), (std::vector<std::string>{t.tool("nm"), "--plugin", t.plugin, "x.o"}));

  // With no vector at all, what the program gets depends on the system: Linux hands over
  // one empty entry, some systems refuse to start it.
  run_options options = t.options;
  options.empty_argv = true;
  child_result probe = run_program(t.tool("nm"), {}, options);
  if (probe.exit_code() != 0) GTEST_SKIP() << "this system starts no program without arguments";
  bool given_empty_entry = t.received() == std::vector<std::string>{""};
  r = run_program(built_wrapper("nm"), {}, options);
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, given_empty_entry ? std::string(": Cannot find plugin '") + PLUGIN_NAME + "'\n" : kUsage);
}

TEST(wrapper_locate, missing_plugin_is_the_only_message_when_both_are_missing) {
  staged_tree tree;
  for (const char* tool : kTools) {
    child_result r = run_program(built_wrapper(tool), {"quarn-x", "-B", tree.target_bin(), "t"}, isolated(tree));
    EXPECT_EQ(r.exit_code(), 1);
    EXPECT_EQ(r.err, std::string("quarn-x: Cannot find plugin '") + PLUGIN_NAME + "'\n");
  }
}

TEST(wrapper_locate, missing_tool_names_the_target_prefixed_tool) {
  staged_tree tree;
  tree.install_plugin(tree.target_bin());
  run_options options = isolated(tree);
  // A host tool of the plain name on PATH is never used.
  for (const char* tool : kTools) tree.install_fake_tool(tool, tree.root() + "/empty");
  for (const char* tool : kTools) {
    child_result r = run_program(built_wrapper(tool), {"./odd/name", "-B" + tree.target_bin(), "x"}, options);
    EXPECT_EQ(r.exit_code(), 1);
    EXPECT_EQ(r.err, std::string("./odd/name: Cannot find binary '") + CONFIG_TARGET + "-" + tool + "'\n")
        << "entry 0 is printed as the program was started";
  }
}

TEST(wrapper_locate, plugin_along_path_is_not_taken) {
  staged_tree tree;
  run_options options = isolated(tree);
  tree.install_plugin(tree.root() + "/empty");
  tree.install_fake_tool(std::string(CONFIG_TARGET) + "-nm", tree.root() + "/empty");
  child_result r = run_program(built_wrapper("nm"), {"quarn-nm", "x.o"}, options);
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, std::string("quarn-nm: Cannot find plugin '") + PLUGIN_NAME + "'\n");
}

}  // namespace
