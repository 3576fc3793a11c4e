#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "search/path_parts.h"
#include "common/test_util.h"

namespace {

std::vector<std::string> split(const char* path, int* count) {
  std::vector<std::string> out;
  char** parts = split_path(path, count);
  if (parts == nullptr) return out;
  for (char** p = parts; *p != nullptr; ++p) out.emplace_back(*p);
  free_path_parts(parts);
  return out;
}

TEST(split_path, keeps_each_run_of_slashes_with_the_component_before_it) {
  struct row {
    const char* path;
    std::vector<std::string> parts;
  };
  const row rows[] = {
      {"//a//b", {"//", "a//", "b"}},
      {"/", {"/"}},
      {"a/", {"a/"}},
      {"abc", {"abc"}},
      {"/usr/local/bin/", {"/", "usr/", "local/", "bin/"}},
      {"/opt/tc/bin/quarn-ar", {"/", "opt/", "tc/", "bin/", "quarn-ar"}},
      {"./x", {"./", "x"}},
      {"a///", {"a///"}},
      {"///", {"///"}},
      {"a/b/c", {"a/", "b/", "c"}},
  };
  for (const row& r : rows) {
    int count = -1;
    std::vector<std::string> parts = split(r.path, &count);
    EXPECT_EQ(parts, r.parts) << r.path;
    EXPECT_EQ(count, static_cast<int>(r.parts.size())) << r.path;
    std::string joined;
    for (const std::string& part : parts) joined += part;
    EXPECT_EQ(joined, r.path);
  }
}

TEST(split_path, empty_path_gives_null_and_leaves_the_count_alone) {
  int count = 42;
  EXPECT_EQ(split_path("", &count), nullptr);
  EXPECT_EQ(count, 42);
}

TEST(split_path, count_may_be_null) {
  EXPECT_EQ(split("/a/b", nullptr), (std::vector<std::string>{"/", "a/", "b"}));
}

// The one walker of PATH-like lists, for directory lists and relocation alike.
TEST(path_list_next, one_prefix_per_entry) {
  struct {
    const char* text;
    std::vector<std::string> prefixes;
  } cases[] = {
      {"", {"./"}},
      {"/usr/bin:/bin/", {"/usr/bin/", "/bin/"}},
      {"a::", {"a/", "./", "./"}},
      {":b", {"./", "b/"}},
      {"/", {"/"}},
      {"/a//", {"/a//"}},
      {" x :..:a:a", {" x /", "../", "a/", "a/"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> prefixes;
    std::string out(strlen(c.text) + 3, 'x');
    for (const char* cursor = c.text; cursor != nullptr;) {
      size_t len = path_list_next(&cursor, out.data());
      prefixes.push_back(out.c_str());
      EXPECT_EQ(prefixes.back().size(), len);
    }
    EXPECT_EQ(prefixes, c.prefixes) << '"' << c.text << '"';
  }
}

TEST(path_base_name, returns_the_part_after_the_last_separator) {
  struct row {
    const char* path;
    size_t posix_offset;  // the same for path_base_name and path_base_name_posix
    size_t dos_offset;
  };
  const row rows[] = {
      {"name", 0, 0},
      {"dir/", 4, 4},
      {"/usr/bin/ar", 9, 9},
      {"", 0, 0},
      {"a//b", 3, 3},
      {"C:", 0, 2},
      {"C:name", 0, 2},
      {"z:name", 0, 2},
      {"1:name", 0, 0},
      {":name", 0, 0},
      {"C:\\dir\\name", 0, 7},
      {"C:/dir\\name", 3, 7},
      {"dir\\name", 0, 4},
      {"\xC3:name", 0, 0},
      {"C", 0, 0},
  };
  for (const row& r : rows) {
    EXPECT_EQ(path_base_name(r.path), r.path + r.posix_offset) << r.path;
    EXPECT_EQ(path_base_name_posix(r.path), r.path + r.posix_offset) << r.path;
    EXPECT_EQ(path_base_name_dos(r.path), r.path + r.dos_offset) << r.path;
  }
}

TEST(canonical_path, missing_file_gives_an_unchanged_copy) {
  const char* name = "/nonexistent-quarn-dir/../x//y";
  char* copy = canonical_path(name);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, name);
  EXPECT_STREQ(copy, name);
  free(copy);
}

TEST(canonical_path, resolves_links_dots_and_doubled_slashes) {
  testutil::scoped_temp_dir tmp;
  testutil::make_dirs(tmp / "real/bin");
  testutil::write_file(tmp / "real/bin/tool", "", 0755);
  ASSERT_EQ(symlink((tmp / "real/bin/tool").c_str(), (tmp / "link").c_str()), 0);

  const std::string expected = tmp / "real/bin/tool";
  for (const std::string& name : {tmp / "link", tmp / "real//bin/./../bin/tool"}) {
    char* resolved = canonical_path(name.c_str());
    ASSERT_NE(resolved, nullptr);
    EXPECT_EQ(std::string(resolved), expected) << name;
    free(resolved);
  }
}

}  // namespace
