#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "search/relocate.h"
#include "common/test_util.h"

namespace {

const char kBin[] = "/usr/local/bin/";
const char kLib[] = "/usr/local/lib/quarn/";
const char kLibexec[] = "/usr/local/libexec/quarn/";

using testutil::scoped_cwd;
using testutil::scoped_env;

// nullopt stands for a null result.
std::optional<std::string> relocate(const char* prog, const char* bin, const char* target, int resolve) {
  char* result = relocate_dir_core(prog, bin, target, resolve);
  if (result == nullptr) return std::nullopt;
  std::string text = result;
  free(result);
  return text;
}

// Replaces each '$' by the temporary directory.
std::string expand(const std::string& pattern, const std::string& tmp) {
  std::string out;
  for (char c : pattern) {
    if (c == '$') {
      out += tmp;
    } else {
      out += c;
    }
  }
  return out;
}

// A moved installation in <tmp>/opt/tc, a second one in <tmp>/srv/tc-2 reached through
// a link from <tmp>/opt/tl, and directories holding things named quarn-ar that are no
// program.
class relocate_tree : public ::testing::Test {
 protected:
  void SetUp() override {
    using testutil::make_dirs;
    using testutil::write_file;
    for (const char* dir : {"opt/tc/bin", "opt/tl/bin", "srv/tc-2/bin", "usr/bin", "here", "empty",
                            "isdir/quarn-ar", "noexec", "fifo", "dev"}) {
      make_dirs(tmp_ / dir);
    }
    write_file(tmp_ / "opt/tc/bin/quarn-ar", "#!/bin/sh\n", 0755);
    write_file(tmp_ / "srv/tc-2/bin/quarn-ar", "#!/bin/sh\n", 0755);
    write_file(tmp_ / "here/quarn-ar", "#!/bin/sh\n", 0755);
    write_file(tmp_ / "noexec/quarn-ar", "#!/bin/sh\n", 0644);
    ASSERT_EQ(chmod((tmp_ / "isdir/quarn-ar").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((tmp_ / "fifo/quarn-ar").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/dev/null", (tmp_ / "dev/quarn-ar").c_str()), 0);
    ASSERT_EQ(symlink((tmp_ / "srv/tc-2/bin/quarn-ar").c_str(), (tmp_ / "opt/tl/bin/quarn-ar").c_str()), 0);
  }

  std::string t(const std::string& pattern) const { return expand(pattern, tmp_.path()); }

  testutil::scoped_temp_dir tmp_;
};

TEST_F(relocate_tree, bare_name_found_along_path_is_relocated) {
  scoped_env path("PATH", t("$/usr/bin:$/opt/tc/bin"));
  scoped_cwd cwd(tmp_ / "empty");
  for (int resolve : {0, 1}) {
    EXPECT_EQ(relocate("quarn-ar", kBin, kLib, resolve), t("$/opt/tc/bin/../lib/quarn/")) << resolve;
    EXPECT_EQ(relocate("quarn-ar", kBin, kLibexec, resolve), t("$/opt/tc/bin/../libexec/quarn/")) << resolve;
  }
}

TEST_F(relocate_tree, links_are_followed_only_when_resolving) {
  struct row {
    const char* prog;  // '$' is the temporary directory
    const char* bin;
    const char* target;
    std::optional<const char*> resolved;
    std::optional<const char*> literal;
  };
  const row rows[] = {
      // A link to a wrapper in another installation.
      {"$/opt/tl/bin/quarn-ar", kBin, kLib, "$/srv/tc-2/bin/../lib/quarn/", "$/opt/tl/bin/../lib/quarn/"},
      {"quarn-ar", kBin, kLib, "$/srv/tc-2/bin/../lib/quarn/", "$/opt/tl/bin/../lib/quarn/"},
      // The link lies in the configured directory, its target does not.
      {"$/opt/tl/bin/quarn-ar", "$/opt/tl/bin/", "$/opt/tl/lib/", "$/srv/tc-2/bin/../lib/", std::nullopt},
      // The link's target lies in the configured directory.
      {"$/opt/tl/bin/quarn-ar", "$/srv/tc-2/bin/", "$/srv/tc-2/lib/", std::nullopt, "$/opt/tl/bin/../lib/"},
  };
  scoped_env path("PATH", t("$/opt/tl/bin"));
  for (const row& r : rows) {
    std::string prog = t(r.prog), bin = t(r.bin), target = t(r.target);
    std::optional<std::string> resolved, literal;
    if (r.resolved) resolved = t(*r.resolved);
    if (r.literal) literal = t(*r.literal);
    EXPECT_EQ(relocate(prog.c_str(), bin.c_str(), target.c_str(), 1), resolved) << prog << " in " << bin;
    EXPECT_EQ(relocate(prog.c_str(), bin.c_str(), target.c_str(), 0), literal) << prog << " in " << bin;
  }
  // The two public names are the two modes.
  char* resolved = relocate_dir("quarn-ar", kBin, kLib);
  char* literal = relocate_dir_literal("quarn-ar", kBin, kLib);
  ASSERT_NE(resolved, nullptr);
  ASSERT_NE(literal, nullptr);
  EXPECT_EQ(std::string(resolved), t("$/srv/tc-2/bin/../lib/quarn/"));
  EXPECT_EQ(std::string(literal), t("$/opt/tl/bin/../lib/quarn/"));
  free(resolved);
  free(literal);
}

TEST_F(relocate_tree, computes_the_way_from_bin_dir_to_target_dir) {
  struct row {
    const char* prog;
    const char* bin;
    const char* target;
    const char* expected;  // null for a null result
  };
  const row rows[] = {
      {"/opt/tc/bin/quarn-ar", kBin, kLib, "/opt/tc/bin/../lib/quarn/"},
      {"/opt/tc/bin/quarn-ar", kBin, kLibexec, "/opt/tc/bin/../libexec/quarn/"},
      {"/usr/local/bin/quarn-ar", kBin, kLib, nullptr},
      {"/usr/local/bin/quarn-ar", kBin, "/var/x/", nullptr},
      {"/usr/local/bin/quarn-ar", kBin, "lib/", nullptr},
      {"/a/quarn-ar", kBin, kLib, "/a/../lib/quarn/"},
      {"/home/u/x/y/quarn-ar", kBin, kLib, "/home/u/x/y/../lib/quarn/"},
      {"/opt/bin/quarn-ar", kBin, "/usr/local/bin/sub/", "/opt/bin/sub/"},
      {"/opt/bin/quarn-ar", kBin, "/usr/local/", "/opt/bin/../"},
      {"/opt/tc/bin/quarn-ar", kBin, "/var/lib/quarn/", "/opt/tc/bin/../../../var/lib/quarn/"},
      {"/opt/tc/bin/quarn-ar", "bin/", kLib, nullptr},
      {"/opt/tc/bin/quarn-ar", "/usr/local/bin", kLib, "/opt/tc/bin/../lib/quarn/"},
      {"/usr/local//bin/quarn-ar", kBin, kLib, "/usr/local//bin/../lib/quarn/"},
      // A '/' anywhere means no PATH search, even though PATH holds a quarn-ar.
      {"./quarn-ar", kBin, kLib, "./../lib/quarn/"},
      {"bin/quarn-ar", kBin, kLib, "bin/../lib/quarn/"},
      {"", kBin, kLib, nullptr},
      {"/opt/tc/bin/quarn-ar", "", kLib, nullptr},
      {"/opt/tc/bin/quarn-ar", kBin, "", nullptr},
      {nullptr, kBin, kLib, nullptr},
      {"/opt/tc/bin/quarn-ar", nullptr, kLib, nullptr},
      {"/opt/tc/bin/quarn-ar", kBin, nullptr, nullptr},
  };
  scoped_env path("PATH", t("$/opt/tc/bin"));
  scoped_cwd cwd(tmp_ / "empty");
  for (const row& r : rows) {
    std::optional<std::string> expected;
    if (r.expected != nullptr) expected = r.expected;
    EXPECT_EQ(relocate(r.prog, r.bin, r.target, 0), expected)
        << (r.prog ? r.prog : "(null)") << " " << (r.bin ? r.bin : "(null)") << " "
        << (r.target ? r.target : "(null)");
  }
}

TEST_F(relocate_tree, path_search_takes_the_first_executable_regular_file) {
  struct row {
    std::optional<const char*> path;  // nullopt: PATH unset
    const char* expected;             // literal result; './' marks the empty component
  };
  // How an entry becomes a directory is path_list_next's (path_parts_test).
  const row rows[] = {
      {"$/usr/bin::$/opt/tc/bin", "./../lib/quarn/"},
      {"$/usr/bin:$/opt/tc/bin", "$/opt/tc/bin/../lib/quarn/"},
      {"$/isdir", "../lib/quarn/"},
      {"$/noexec", "../lib/quarn/"},
      {"$/fifo", "../lib/quarn/"},
      {"$/dev", "../lib/quarn/"},
      {"$/isdir:$/noexec:$/fifo:$/dev:$/opt/tc/bin", "$/opt/tc/bin/../lib/quarn/"},
      {"$/opt/tl/bin:$/opt/tc/bin", "$/opt/tl/bin/../lib/quarn/"},
      {"$/usr/bin:$/no-such-dir", "../lib/quarn/"},
      {std::nullopt, "../lib/quarn/"},
  };
  scoped_cwd cwd(tmp_ / "here");
  for (const row& r : rows) {
    std::optional<std::string> value;
    if (r.path) value = t(*r.path);
    scoped_env path("PATH", value);
    EXPECT_EQ(relocate("quarn-ar", kBin, kLib, 0), t(r.expected)) << (value ? *value : "(unset)");
  }
}

TEST_F(relocate_tree, relative_names_resolve_against_the_working_directory) {
  {
    // Found nowhere and no such file here: the bare name is all there is.
    scoped_env path("PATH", t("$/usr/bin"));
    scoped_cwd cwd(tmp_ / "empty");
    EXPECT_EQ(relocate("quarn-ar", kBin, kLib, 1), "../lib/quarn/");
  }
  {
    scoped_env path("PATH", std::nullopt);
    scoped_cwd cwd(tmp_ / "here");
    EXPECT_EQ(relocate("quarn-ar", kBin, kLib, 1), t("$/here/../lib/quarn/"));
  }
  {
    scoped_env path("PATH", t("$/here"));
    scoped_cwd cwd(tmp_ / "opt/tc");
    EXPECT_EQ(relocate("bin/quarn-ar", kBin, kLib, 1), t("$/opt/tc/bin/../lib/quarn/"));
    EXPECT_EQ(relocate("./bin/quarn-ar", kBin, kLib, 1), t("$/opt/tc/bin/../lib/quarn/"));
  }
}

TEST_F(relocate_tree, path_values_around_and_beyond_the_stack_buffer) {
  // The candidate buffer holds len(PATH) + 1 + len("quarn-ar") + 1 bytes; a single
  // component without a final '/' fills it exactly.
  scoped_cwd cwd(tmp_ / "empty");
  const std::string found = t("$/opt/tc/bin");
  for (size_t size : {4030u, 4031u, 4032u, 4033u, 10000u}) {
    size_t path_len = size - 10;
    std::string lone = "/no-such-dir/" + std::string(path_len - 13, 'x');
    {
      scoped_env path("PATH", lone);
      EXPECT_EQ(relocate("quarn-ar", kBin, kLib, 0), "../lib/quarn/") << size;
    }
    std::string padded = "/no-such-dir/" + std::string(path_len - 13 - 1 - found.size(), 'x') + ":" + found;
    ASSERT_EQ(padded.size(), path_len);
    scoped_env path("PATH", padded);
    EXPECT_EQ(relocate("quarn-ar", kBin, kLib, 0), found + "/../lib/quarn/") << size;
  }
}

}  // namespace
