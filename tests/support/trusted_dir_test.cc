#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/trace.h"
#include "support/trusted_dir.h"
#include "common/temp_tree.h"
#include "common/test_util.h"

namespace {

TEST(dir_is_trusted, refuses_what_another_user_can_replace_and_traces_why) {
  testutil::temp_tree t;
  const std::string r = t.root;
  struct {
    const char* what;
    std::string dir;
    std::string blamed;  // empty: trusted
    const char* why = "writable by others and not sticky";
    bool needs_others = false;  // the case needs entries owned by another user
  } cases[] = {
      {"writable by all and sticky", r + "/good", ""},
      {"writable by all, not sticky", r + "/open", r + "/open"},
      {"under a directory writable by all", r + "/open/mine", r + "/open"},
      {"writable by its group", r + "/group", r + "/group"},
      {"another user's", r + "/theirs", r + "/theirs", "owned by another user", true},
      {"a link of another user's", r + "/their_link", r + "/their_link", "owned by another user", true},
  };
  for (const auto& c : cases) {
    if (c.needs_others && !t.others_exist) continue;
    auto result = testutil::run_in_child([&] {
      trace_enabled = true;
      fputs(dir_is_trusted(c.dir.c_str()) ? "trusted" : "refused", stdout);
    });
    EXPECT_EQ(result.out, c.blamed.empty() ? "trusted" : "refused") << c.what;
    EXPECT_EQ(result.err, c.blamed.empty() ? "" : "  - passed over " + c.dir + ": " + c.blamed + ": " + c.why + "\n")
        << c.what;
  }
}

}  // namespace
