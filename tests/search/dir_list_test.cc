#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "search/dir_list.h"
#include "support/trace.h"
#include "common/owned_dir_list.h"
#include "common/test_util.h"

namespace {

using owned_list = testutil::owned_dir_list;

// Returns what the search found ("" for null) and frees it.
std::string search(const dir_list& list, const std::string& name, int mode) {
  char* found = search_dir_list(&list, name.c_str(), mode);
  std::string result = found != nullptr ? found : "";
  EXPECT_NE(found, name.c_str());
  free(found);
  return result;
}

using strings = std::vector<std::string>;

// How an entry becomes a prefix is path_list_next's (path_parts_test).
TEST(dir_list_from_string, one_prefix_per_component) {
  struct {
    const char* text;
    strings prefixes;
  } cases[] = {
      {"a::/usr/bin", {"a/", "./", "/usr/bin/"}},
  };
  for (const auto& c : cases) {
    owned_list l;
    dir_list_from_string(c.text, &l);
    EXPECT_EQ(l.prefixes(), c.prefixes) << '"' << c.text << '"';
    size_t longest = 0;
    for (const auto& p : c.prefixes) longest = std::max(longest, p.size());
    EXPECT_EQ(l.longest, static_cast<int32_t>(longest)) << '"' << c.text << '"';
  }
}

TEST(dir_list, additions_keep_order_and_longest) {
  owned_list l;
  dir_list_add(&l, "/usr/bin/", false);  // at the back of an empty list is its front
  EXPECT_EQ(l.prefixes(), strings({"/usr/bin/"}));
  dir_list_append(&l, "/bin/");
  EXPECT_EQ(l.longest, 9);
  dir_list_prepend(&l, "/front/");
  dir_list_add(&l, "/very/long/front/", true);
  dir_list_from_string("x", &l);
  EXPECT_EQ(l.prefixes(), strings({"/very/long/front/", "/front/", "/usr/bin/", "/bin/", "x/"}));
  EXPECT_EQ(l.longest, 17);

  // Every entry holds its own copy.
  char prefix[] = "/mine/";
  owned_list m;
  dir_list_append(&m, prefix);
  prefix[1] = 'X';
  EXPECT_EQ(m.prefixes(), strings({"/mine/"}));
}

TEST(dir_list_from_env, set_variables_only) {
  const char* name = "QUARN_TEST_DIR_LIST";
  struct {
    const char* value;  // null: unset
    strings prefixes;
  } cases[] = {{nullptr, {}}, {"", {"./"}}, {"/a:b/", {"/a/", "b/"}}};
  for (const auto& c : cases) {
    if (c.value != nullptr) setenv(name, c.value, 1);
    else unsetenv(name);
    owned_list l;
    dir_list_from_env(name, &l);
    EXPECT_EQ(l.prefixes(), c.prefixes);
    EXPECT_EQ(l.longest, c.value == nullptr ? 0 : static_cast<int32_t>(c.prefixes[0].size()));
  }
  unsetenv(name);
}

// root/a/tool has no x bit, root/b/tool has, root/d/tool is a directory, root/l/tool
// links to root/b/tool, and root/mirror<root>/b/data would match an absolute name if
// the list were consulted for it.
struct search_tree {
  testutil::scoped_temp_dir dir;
  std::string root = dir.path();
  search_tree() {
    chmod(root.c_str(), 0755);
    for (const char* d : {"a", "b", "d/tool", "s/x", "l"}) testutil::make_dirs(root + "/" + d);
    testutil::write_file(root + "/a/tool", "", 0644);
    testutil::write_file(root + "/b/tool", "", 0755);
    testutil::write_file(root + "/b/data", "", 0644);
    testutil::write_file(root + "/s/x/tool", "", 0755);
    testutil::write_file(root + "/optar", "", 0755);
    testutil::write_file(root + "/a/secret", "", 0711);  // others may execute, not read
    testutil::write_file(root + "/b/secret", "", 0644);
    EXPECT_EQ(symlink("../b/tool", (root + "/l/tool").c_str()), 0);
    EXPECT_EQ(symlink("nowhere", (root + "/l/dangling").c_str()), 0);
    testutil::make_dirs(root + "/mirror" + root + "/b");
    testutil::write_file(root + "/mirror" + root + "/b/data", "", 0755);
  }
  owned_list list(const strings& relative) const {
    strings prefixes;
    for (const auto& p : relative) prefixes.push_back(root + "/" + p);
    return owned_list(prefixes);
  }
};

TEST(search_dir_list, relative_names_take_the_first_accepted_candidate) {
  search_tree t;
  struct {
    strings prefixes;  // relative to the tree
    const char* name;
    int mode;
    const char* expected;  // relative to the tree; "" for none
  } cases[] = {
      {{}, "tool", R_OK, ""},
      {{"a/", "b/"}, "tool", X_OK, "b/tool"},  // no x bit fails even for root
      {{"a/", "b/"}, "tool", R_OK, "a/tool"},
      {{"d/", "b/"}, "tool", X_OK, "b/tool"},  // a directory is passed over
      {{"d/"}, "tool", R_OK, ""},
      {{"b/", "s/"}, "x/tool", X_OK, "s/x/tool"},
      {{"opt"}, "ar", X_OK, "optar"},  // joined as given, without a '/'
      {{"l/"}, "tool", X_OK, "l/tool"},
      {{"l/", "b/"}, "dangling", F_OK, ""},
      {{"a/", "b/"}, "missing", F_OK, ""},
  };
  for (const auto& c : cases) {
    owned_list l = t.list(c.prefixes);
    std::string expected = *c.expected != '\0' ? t.root + "/" + c.expected : "";
    EXPECT_EQ(search(l, c.name, c.mode), expected) << c.name << " mode " << c.mode;
  }
}

TEST(search_dir_list, absolute_names_are_tested_alone) {
  search_tree t;
  owned_list mirror({t.root + "/mirror"});
  owned_list empty;
  struct {
    std::string name;
    int mode;
    bool found;
  } cases[] = {
      {t.root + "/b/tool", X_OK, true},
      {t.root + "/d/tool", X_OK, true},  // a directory is fine when named directly
      {t.root + "/b/data", X_OK, false},  // though mirror + name is executable
      {t.root + "/missing", F_OK, false},
  };
  for (const auto& c : cases) {
    for (const owned_list* l : {&mirror, &empty}) {
      EXPECT_EQ(search(*l, c.name, c.mode), c.found ? c.name : "") << c.name;
    }
  }
}

TEST(search_dir_list, read_access_counts_for_unprivileged_users) {
  search_tree t;
  owned_list l = t.list({"a/", "b/"});
  auto r = testutil::run_in_child([&] {
    if (!testutil::become_unprivileged() || access(t.root.c_str(), X_OK) != 0) _exit(77);
    char* readable = search_dir_list(&l, "secret", R_OK);
    char* executable = search_dir_list(&l, "secret", X_OK);
    printf("%s\n%s\n", readable ? readable : "(null)", executable ? executable : "(null)");
  });
  if (r.exit_code() == 77) GTEST_SKIP() << "cannot switch to an unprivileged user, and root reads everything";
  EXPECT_EQ(r.out, t.root + "/b/secret\n" + t.root + "/a/secret\n");
}

TEST(search_trace, messages_on_standard_error) {
  search_tree t;
  const std::string tool = t.root + "/b/tool";
  // Controls (C0, DEL, C1 raw and in UTF-8), bytes that are no UTF-8, and UTF-8 that passes.
  const char* hostile = "\x1b\r\n\x7f\x9b\xc2\x9b\xff\xc3\xc0\xaf\xed\xa0\x80\\\xc3\xa9\xe4\xb8\xad";
  const std::string shown = "\\033\\015\\012\\177\\233\\302\\233\\377\\303\\300\\257\\355\\240\\200\\\\\xc3\xa9\xe4\xb8\xad";
  struct {
    const char* what;
    std::function<void(owned_list&)> run;
    std::string err;
  } cases[] = {
      {"absolute, found", [&](owned_list& l) { search_dir_list(&l, tool.c_str(), X_OK); },
       "Looking for '" + tool + "'\n  - found: absolute path\n"},
      {"absolute, missing, empty list", [](owned_list& l) { search_dir_list(&l, "/no/such", R_OK); },
       "Looking for '/no/such'\n  - failed to locate using absolute path\n"
       "  - failed: no entries in prefix list\n"},
      {"absolute, missing, with a list",
       [&](owned_list& l) {
         dir_list_append(&l, "/");
         search_dir_list(&l, "/no/such", R_OK);
       },
       "Looking for '/no/such'\n  - failed to locate using absolute path\n"},
      {"relative, empty list", [](owned_list& l) { search_dir_list(&l, "tool", R_OK); },
       "Looking for 'tool'\n  - failed: no entries in prefix list\n"},
      {"relative, found and missed through prefixes",
       [&](owned_list& l) {
         dir_list_prepend(&l, (t.root + "/b/").c_str());
         search_dir_list(&l, "tool", X_OK);
         search_dir_list(&l, "missing", R_OK);
       },
       "Looking for 'tool'\nLooking for 'missing'\n  - passed over " + t.root + "/b/missing: does not exist\n"},
      {"from string", [](owned_list& l) { dir_list_from_string("a::/b/", &l); },
       "Convert string 'a::/b/' into prefixes, separator = ':'\n  - add prefix: a/\n"
       "  - add prefix: ./\n  - add prefix: /b/\n"},
      {"outside bytes escaped", [&](owned_list& l) { dir_list_from_string(hostile, &l); },
       "Convert string '" + shown + "' into prefixes, separator = ':'\n  - add prefix: " + shown + "/\n"},
      {"switched off again",
       [](owned_list& l) {
         trace_enabled = false;
         dir_list_from_string("a", &l);
         search_dir_list(&l, "/no/such", R_OK);
       },
       ""},
  };
  for (const auto& c : cases) {
    auto r = testutil::run_in_child([&] {
      owned_list l;
      trace_enabled = true;
      c.run(l);
    });
    EXPECT_EQ(r.err, c.err) << c.what;
  }
  // Off from the start: nothing in the test process has switched it on.
  auto quiet = testutil::run_in_child([] {
    owned_list l;
    dir_list_from_string("a", &l);
    search_dir_list(&l, "/no/such", R_OK);
  });
  EXPECT_EQ(quiet.err, "");
}

}  // namespace
