#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "driver/wrapper_flow.h"
#include "quarn_config.h"
#include "common/arg_vector.h"
#include "common/owned_dir_list.h"
#include "common/test_util.h"

namespace {

using testutil::scoped_temp_dir;
using testutil::write_file;

std::vector<std::string> prefixes(const dir_list& list) {
  std::vector<std::string> out;
  for (const dir_entry* e = list.first; e != nullptr; e = e->next) out.push_back(e->prefix);
  return out;
}

using owned_list = testutil::owned_dir_list;

using testutil::arg_vector;
using testutil::scoped_cwd;
using testutil::scoped_env;
using testutil::to_strings;

TEST(seed_search_lists, target_bin_through_lib_then_version_libexec) {
  owned_list tools;
  seed_search_lists(CONFIG_LIB_DIR, CONFIG_LIBEXEC_DIR, &tools);
  std::string target = CONFIG_TARGET, version = CONFIG_VERSION;
  EXPECT_EQ(prefixes(tools),
            (std::vector<std::string>{std::string(CONFIG_LIB_DIR) + target + "/" + version + "/../../../../" +
                                          target + "/bin/",
                                      std::string(CONFIG_LIBEXEC_DIR) + target + "/" + version + "/"}));
}

TEST(seed_search_lists, default_configuration_is_the_usr_local_layout) {
  owned_list tools;
  seed_search_lists(CONFIG_LIB_DIR, CONFIG_LIBEXEC_DIR, &tools);
  if (std::string(CONFIG_LIB_DIR) != "/usr/local/lib/quarn/" || std::string(CONFIG_TARGET) != "armv7-tuleabi-freebsd15.0")
    GTEST_SKIP() << "built for another configuration";
  EXPECT_EQ(prefixes(tools),
            (std::vector<std::string>{
                "/usr/local/lib/quarn/armv7-tuleabi-freebsd15.0/15.2.0/../../../../armv7-tuleabi-freebsd15.0/bin/",
                "/usr/local/libexec/quarn/armv7-tuleabi-freebsd15.0/15.2.0/"}));
}

TEST(seed_search_lists, installation_directories_with_colon_are_whole_entries) {
  owned_list tools;
  seed_search_lists("/opt/tc:v2/lib/", "/opt/tc:v2/libexec/", &tools);
  EXPECT_EQ(prefixes(tools), (std::vector<std::string>{std::string("/opt/tc:v2/lib/") + CONFIG_TARGET_BIN_FROM_LIB,
                                                       std::string("/opt/tc:v2/libexec/") + CONFIG_VERSIONED_SUBDIR}));
}

// PATH is split behind what -B put in front, and only when the installation lacks the tool.
TEST(locate, path_reaches_the_fallback_list_only_when_tool_dirs_miss) {
  scoped_temp_dir tools_dir;
  write_file(tools_dir / "nm", "", 0755);
  struct {
    const char* path;
    const char* tool;
    std::vector<std::string> fallback;
  } cases[] = {
      {"/usr/bin::/bin/", "nm", {"/b/"}},
      {"/usr/bin::/bin/", "ar", {"/b/", "/usr/bin/", "./", "/bin/"}},
  };
  for (const auto& c : cases) {
    scoped_env path("PATH", c.path);
    owned_list tools, fallback;
    dir_list_append(&tools, (tools_dir.path() + "/").c_str());
    dir_list_append(&fallback, "/b/");
    free(locate_tool(c.tool, &tools, &fallback));
    EXPECT_EQ(prefixes(fallback), c.fallback) << c.tool;
  }
}

struct b_case {
  std::vector<std::string> args;
  bool ok;
  std::vector<std::string> left;
  const char* prefix;  // null: no prefix added
};

TEST(take_b_option, takes_the_first_option_in_either_form) {
  const b_case cases[] = {
      {{"quarn-ar", "rcs", "x.a"}, true, {"quarn-ar", "rcs", "x.a"}, nullptr},
      {{"quarn-ar", "-B", "/opt/x", "rcs", "x.a"}, true, {"quarn-ar", "rcs", "x.a"}, "/opt/x/"},
      {{"quarn-ar", "-B/opt/x", "rcs", "x.a"}, true, {"quarn-ar", "rcs", "x.a"}, "/opt/x/"},
      {{"quarn-ar", "rcs", "-B/opt/x/", "x.a"}, true, {"quarn-ar", "rcs", "x.a"}, "/opt/x/"},
      {{"quarn-ar", "-Ba", "-Bb", "t"}, true, {"quarn-ar", "-Bb", "t"}, "a/"},
      {{"quarn-ar", "-Bd"}, true, {"quarn-ar"}, "d/"},
      {{"quarn-ar", "-B/"}, true, {"quarn-ar"}, "/"},
      {{"quarn-ar", "-B", "", "t"}, true, {"quarn-ar", "t"}, ""},
      {{"quarn-ar", "-B", "-B", "t"}, true, {"quarn-ar", "t"}, "-B/"},
      {{"-Bname", "t"}, true, {"-Bname", "t"}, nullptr},
      {{"quarn-ar", "-b", "-", ""}, true, {"quarn-ar", "-b", "-", ""}, nullptr},
      {{"quarn-ar", "t", "-B"}, false, {"quarn-ar", "t"}, nullptr},
      {{"quarn-ar", "-B"}, false, {"quarn-ar"}, nullptr},
  };
  for (const b_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    arg_vector v(c.args);
    int argc = v.size();
    owned_list tools, fallback;
    dir_list_append(&tools, "/t/");
    dir_list_append(&fallback, "/f/");
    EXPECT_EQ(take_b_option(&argc, v.data(), &tools, &fallback), c.ok);
    EXPECT_EQ(to_strings(v.data()), c.left) << "entries move down, the null included";
    EXPECT_EQ(argc, static_cast<int>(c.left.size()));
    if (c.prefix != nullptr) {
      EXPECT_EQ(prefixes(tools), (std::vector<std::string>{c.prefix, "/t/"}));
      EXPECT_EQ(prefixes(fallback), (std::vector<std::string>{c.prefix, "/f/"}));
    } else {
      EXPECT_EQ(prefixes(tools), (std::vector<std::string>{"/t/"}));
      EXPECT_EQ(prefixes(fallback), (std::vector<std::string>{"/f/"}));
    }
  }
}

TEST(locate, plugin_needs_read_access_along_tool_dirs_only) {
  scoped_temp_dir tools_dir, path_dir;
  owned_list tools, fallback;
  dir_list_append(&tools, (tools_dir.path() + "/").c_str());
  dir_list_append(&fallback, (path_dir.path() + "/").c_str());
  write_file(path_dir / PLUGIN_NAME, "");
  EXPECT_EQ(locate_plugin(&tools), nullptr) << "the plugin is never taken from PATH";
  write_file(tools_dir / PLUGIN_NAME, "", 0644);
  char* found = locate_plugin(&tools);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), tools_dir / PLUGIN_NAME);
  free(found);
}

TEST(locate, plain_tool_in_tool_dirs_else_prefixed_name_along_path) {
  scoped_temp_dir tools_dir, path_dir;
  owned_list tools, fallback;
  dir_list_append(&tools, (tools_dir.path() + "/").c_str());
  dir_list_append(&fallback, (path_dir.path() + "/").c_str());
  std::string prefixed = std::string(CONFIG_TARGET) + "-ar";
  char* name = prefixed_tool_name("ar");
  EXPECT_EQ(std::string(name), prefixed);
  free(name);

  write_file(path_dir / "ar", "", 0755);
  EXPECT_EQ(locate_tool("ar", &tools, &fallback), nullptr) << "a host ar on PATH is never taken";

  write_file(tools_dir / prefixed, "", 0755);
  EXPECT_EQ(locate_tool("ar", &tools, &fallback), nullptr) << "the prefixed name is not looked for in tool_dirs";

  write_file(path_dir / prefixed, "", 0755);
  char* found = locate_tool("ar", &tools, &fallback);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), path_dir / prefixed);
  free(found);

  write_file(tools_dir / "ar", "", 0644);
  found = locate_tool("ar", &tools, &fallback);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), path_dir / prefixed) << "a plain ar without execute access is passed over";
  free(found);

  write_file(tools_dir / "ar", "", 0755);
  found = locate_tool("ar", &tools, &fallback);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), tools_dir / "ar");
  free(found);
}

TEST(locate, file_found_through_the_empty_prefix_keeps_a_directory) {
  scoped_temp_dir dir;
  std::optional<scoped_cwd> cwd(dir.path());
  write_file(dir / PLUGIN_NAME, "", 0644);
  write_file(dir / "nm", "", 0755);
  owned_list tools, fallback;
  dir_list_prepend(&tools, "");
  char* plugin = locate_plugin(&tools);
  char* tool = locate_tool("nm", &tools, &fallback);
  cwd.reset();
  ASSERT_NE(plugin, nullptr);
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(std::string(plugin), std::string("./") + PLUGIN_NAME);
  EXPECT_EQ(std::string(tool), "./nm");
  free(plugin);
  free(tool);
}

TEST(build_tool_argv, dashes_only_a_first_argument_without_one) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"quarn-ar", "rcs", "libx.a", "a.o"}, {"quarn-ar", "-rcs", "libx.a", "a.o"}},
      {{"quarn-ar", "-rcs", "libx.a"}, {"quarn-ar", "-rcs", "libx.a"}},
      {{"quarn-ar", ""}, {"quarn-ar", "-"}},
      {{"quarn-ar", "t", "x"}, {"quarn-ar", "-t", "x"}},
      {{"quarn-ar", "-", "x"}, {"quarn-ar", "-", "x"}},
      {{"quarn-ar"}, {"quarn-ar"}},
  };
  for (const auto& [in, out] : cases) {
    arg_vector v(in);
    char** argv = build_tool_argv("/t/ar", "/p/plugin", v.size(), v.data(), true, nullptr, 0);
    EXPECT_EQ(to_strings(argv + 3), std::vector<std::string>(out.begin() + 1, out.end()));
    free(argv);
  }
}

TEST(build_tool_argv, tool_plugin_then_user_arguments_shared_not_copied) {
  arg_vector v({"quarn-ar", "-rcs", "libx.a", "a.o"});
  char** argv = build_tool_argv("/t/ar", "/p/libvorta_plugin.so", v.size(), v.data(), false, nullptr, 0);
  ASSERT_NE(argv, nullptr);
  std::vector<std::string> got;
  for (char** a = argv; *a != nullptr; ++a) got.push_back(*a);
  EXPECT_EQ(got, (std::vector<std::string>{"/t/ar", "--plugin", "/p/libvorta_plugin.so", "-rcs", "libx.a", "a.o"}));
  EXPECT_EQ(argv[3], v.data()[1]) << "user strings are shared";
  free(argv);

  arg_vector alone({"quarn-ar"});
  argv = build_tool_argv("/t/ar", "/p/plugin", alone.size(), alone.data(), true, nullptr, 0);
  EXPECT_STREQ(argv[2], "/p/plugin");
  EXPECT_EQ(argv[3], nullptr);
  free(argv);
}

}  // namespace
