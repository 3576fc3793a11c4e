// The temporary directory is chosen once per process, so every case runs in a
// child that sets the environment before the first call.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#endif

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_file.h"
#include "common/temp_tree.h"
#include "common/test_util.h"

namespace {

using testutil::temp_tree;

constexpr int kSkipped = 77;  // exit status of a child that could not set up its case

void set_env(const char* name, const std::optional<std::string>& value) {
  if (value) setenv(name, value->c_str(), 1);
  else unsetenv(name);
}

void set_temp_env(const std::optional<std::string>& tmpdir, const std::optional<std::string>& tmp = {},
                  const std::optional<std::string>& temp = {}) {
  set_env("TMPDIR", tmpdir);
  set_env("TMP", tmp);
  set_env("TEMP", temp);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

bool tmp_is_usable() {
  struct stat st;
  return access("/tmp/", R_OK | W_OK | X_OK) == 0 && stat("/tmp/", &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(temp_dir, takes_the_first_usable_candidate) {
  if (!tmp_is_usable()) GTEST_SKIP() << "/tmp is not a writable directory here";
  temp_tree t;
  const std::string r = t.root;
  using opt = std::optional<std::string>;
  struct {
    const char* what;
    opt tmpdir, tmp, temp;
    bool unprivileged;  // root passes every permission test of access()
    std::string expected;
  } cases[] = {
      {"TMPDIR first", r + "/good", r + "/good2", r + "/good2", false, r + "/good/"},
      {"TMPDIR a file", r + "/file", r + "/good", r + "/good2", false, r + "/good/"},
      {"TMPDIR missing", r + "/missing", r + "/good", {}, false, r + "/good/"},
      {"TMPDIR not writable", r + "/ro", r + "/good", {}, true, r + "/good/"},
      {"TMPDIR empty", "", r + "/good", {}, false, r + "/good/"},
      {"TMPDIR a link of ours, kept as given", r + "/link/.", r + "/good2", {}, false, r + "/link/./"},
      {"TMP a file", {}, r + "/file", r + "/good2", false, r + "/good2/"},
      {"TMP missing", {}, r + "/missing", r + "/good2", false, r + "/good2/"},
      {"TMP not writable", {}, r + "/ro", r + "/good2", true, r + "/good2/"},
      {"TEMP a file", {}, {}, r + "/file", false, "/tmp//"},
      {"TEMP missing", {}, {}, r + "/missing", false, "/tmp//"},
      {"TEMP not writable", {}, {}, r + "/ro", true, "/tmp//"},
      {"all three bad", r + "/file", r + "/missing", r + "/ro", true, "/tmp//"},
      {"none set", {}, {}, {}, false, "/tmp//"},
      {"trailing slash kept", r + "/good/", {}, {}, false, r + "/good//"},
      {"relative to the current directory", "good", {}, {}, false, "good/"},
  };
  for (const auto& c : cases) {
    auto result = testutil::run_in_child([&] {
      if (!t.enter(c.unprivileged)) _exit(kSkipped);
      set_temp_env(c.tmpdir, c.tmp, c.temp);
      fputs(temp_dir(), stdout);
    });
    if (result.exit_code() == kSkipped) GTEST_SKIP() << c.what << ": cannot run as an unprivileged user";
    EXPECT_EQ(result.exit_code(), 0) << c.what << result.err;
    EXPECT_EQ(result.out, c.expected) << c.what;
  }
}

TEST(temp_dir, falls_back_to_var_tmp_and_then_the_current_directory) {
#ifndef __linux__
  GTEST_SKIP() << "making /tmp unusable needs a private mount namespace (Linux)";
#else
  temp_tree t;
  struct {
    std::vector<const char*> read_only;
    const char* cwd;
    std::string expected;  // empty: no directory is safe
  } cases[] = {{{"/tmp"}, "good", "/var/tmp/"}, {{"/tmp", "/var/tmp"}, "good", "./"}, {{"/tmp", "/var/tmp"}, "open", ""}};
  for (const auto& c : cases) {
    auto result = testutil::run_in_child([&] {
      // The working directory is entered before /tmp is covered, so it stays writable.
      if (chdir((t.root + "/" + c.cwd).c_str()) != 0) _exit(kSkipped);
      // Private propagation first: the read-only mounts must never reach the host.
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        _exit(kSkipped);
      for (const char* dir : c.read_only) {
        // Even root fails the write test of access() on a read-only mount.
        if (mount(dir, dir, nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, dir, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
          _exit(kSkipped);
      }
      set_temp_env(t.root + "/file", t.root + "/missing", "");
      printf("%s\n%s\n", temp_dir(), temp_file_create_suffixed(""));
    });
    if (result.exit_code() == kSkipped) GTEST_SKIP() << "cannot make /tmp read-only in a mount namespace";
    if (c.expected.empty()) {
      EXPECT_EQ(result.exit_code(), 1);
      EXPECT_EQ(result.err, "Cannot find a safe directory for temporary files\n");
      EXPECT_EQ(testutil::list_dir(t.root + "/open"), std::vector<std::string>{"mine"});
      continue;
    }
    ASSERT_EQ(result.exit_code(), 0) << result.err;
    auto out = lines(result.out);
    ASSERT_EQ(out.size(), 2u) << result.out;
    EXPECT_EQ(out[0], c.expected);
    EXPECT_EQ(out[1].substr(0, c.expected.size() + 2), c.expected + "cc");
    EXPECT_EQ(out[1].size(), c.expected.size() + 8) << out[1];
    std::string real = c.expected == "./" ? t.root + "/good/" + out[1].substr(2) : out[1];
    EXPECT_TRUE(testutil::file_exists(real)) << real;
    unlink(real.c_str());
  }
#endif
}

TEST(temp_dir, second_call_keeps_the_first_answer) {
  temp_tree t;
  auto result = testutil::run_in_child([&] {
    set_temp_env(t.root + "/good");
    const char* first = temp_dir();
    setenv("TMPDIR", (t.root + "/good2").c_str(), 1);
    const char* second = temp_dir();
    printf("%s %d", first, first == second);
  });
  EXPECT_EQ(result.out, t.root + "/good/ 1");
}

TEST(temp_file_create, makes_empty_closed_files_named_dir_prefix_six_suffix) {
  if (!tmp_is_usable()) GTEST_SKIP() << "/tmp is not a writable directory here";
  temp_tree t;
  struct call {
    bool suffixed;  // through temp_file_create_suffixed
    const char* prefix;
    const char* suffix;
  };
  const call calls[] = {
      {true, nullptr, ""},     {true, nullptr, nullptr},  {true, nullptr, ".s"},
      {false, nullptr, nullptr}, {false, "", ".o"},        {false, "pre", "-x"},
  };
  for (const std::optional<std::string>& tmpdir : {std::optional<std::string>(t.root + "/good"),
                                                     std::optional<std::string>()}) {
    const std::string dir = tmpdir ? *tmpdir + "/" : "/tmp//";
    auto result = testutil::run_in_child([&] {
      set_temp_env(tmpdir);
      int probe = open("/dev/null", O_RDONLY);
      close(probe);
      for (const call& c : calls) {
        printf("%s\n", c.suffixed ? temp_file_create_suffixed(c.suffix) : temp_file_create(c.prefix, c.suffix));
      }
      int after = open("/dev/null", O_RDONLY);
      printf("%s\n", after == probe ? "no descriptor left open" : "descriptor leaked");
    });
    ASSERT_EQ(result.exit_code(), 0) << result.err;
    auto names = lines(result.out);
    ASSERT_EQ(names.size(), std::size(calls) + 1) << result.out;
    EXPECT_EQ(names.back(), "no descriptor left open");
    names.pop_back();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << result.out;
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string& name = names[i];
      std::string head = dir + (calls[i].prefix != nullptr ? calls[i].prefix : "cc");
      std::string tail = calls[i].suffix != nullptr ? calls[i].suffix : "";
      ASSERT_EQ(name.size(), head.size() + 6 + tail.size()) << name;
      EXPECT_EQ(name.substr(0, head.size()), head);
      EXPECT_EQ(name.substr(name.size() - tail.size()), tail);
      std::string unique = name.substr(head.size(), 6);
      EXPECT_NE(unique, "XXXXXX");
      for (char ch : unique) EXPECT_TRUE(isalnum(static_cast<unsigned char>(ch))) << name;
      EXPECT_TRUE(testutil::file_exists(name)) << name;
      EXPECT_EQ(testutil::read_file(name), "");
      unlink(name.c_str());
    }
  }
}

TEST(temp_file_create, failure_names_the_directory_and_exits_with_status_1) {
  temp_tree t;
  struct {
    const char* what;
    const char* dir;
    bool unprivileged;
    int error;
  } cases[] = {
      {"directory removed after it was chosen", "gone", false, ENOENT},
      {"directory made read-only after it was chosen", "mine", true, EACCES},
  };
  for (const auto& c : cases) {
    const std::string dir = t.root + "/" + c.dir;
    mkdir(dir.c_str(), 0755);
    chmod(dir.c_str(), 01777);
    // The unprivileged user must own it to keep it safe, and to make it read-only.
    if (c.unprivileged && geteuid() == 0 && chown(dir.c_str(), 65534, 65534) != 0) FAIL() << "chown " << dir;
    auto result = testutil::run_in_child([&] {
      if (!t.enter(c.unprivileged)) _exit(kSkipped);
      set_temp_env(dir);
      temp_dir();
      if (c.unprivileged) chmod(dir.c_str(), 0555);
      else rmdir(dir.c_str());
      temp_file_create_suffixed("");
      fputs("returned", stdout);
    });
    if (result.exit_code() == kSkipped) GTEST_SKIP() << c.what << ": cannot run as an unprivileged user";
    EXPECT_EQ(result.exit_code(), 1) << c.what;
    EXPECT_EQ(result.err, "Cannot create temporary file in " + dir + "/: " + strerror(c.error) + "\n");
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
