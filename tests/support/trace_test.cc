#include "support/trace.h"

#include <gtest/gtest.h>

#include <string>

#include "support/arg_vector.h"
#include "support/test_util.h"

namespace {

TEST(trace_line, escapes_what_comes_from_outside) {
  // Longer than the buffer a line goes out through.
  std::string many(5000, '\x01'), many_shown;
  for (char c : many) many_shown += "\\00" + std::to_string(c);
  struct {
    std::string text, shown, as_argument;
  } cases[] = {
      {"plain", "plain", "plain"},
      {"", "", "\"\""},
      {"\x1b[2J\r\a", "\\033[2J\\015\\007", "\"\\033[2J\\015\\007\""},
      {"a\nb", "a\\012b", "\"a\\012b\""},
      {"del\x7f", "del\\177", "\"del\\177\""},
      {"csi\x9b", "csi\\233", "\"csi\\233\""},
      {"csi\xc2\x9b", "csi\\302\\233", "\"csi\\302\\233\""},
      {"\xff\xc3 \xc0\xaf\xed\xa0\x80\xe4\xb8", "\\377\\303 \\300\\257\\355\\240\\200\\344\\270",
       "\"\\377\\303 \\300\\257\\355\\240\\200\\344\\270\""},
      {"\xc3\xa9\xe4\xb8\xad\xc2\xa0\xf0\x9f\x99\x82", "\xc3\xa9\xe4\xb8\xad\xc2\xa0\xf0\x9f\x99\x82",
       "\xc3\xa9\xe4\xb8\xad\xc2\xa0\xf0\x9f\x99\x82"},
      {"a\\b \"c\" 'd'", "a\\\\b \"c\" 'd'", "\"a\\\\b \\\"c\\\" 'd'\""},
      {many, many_shown, "\"" + many_shown + "\""},
  };
  for (const auto& c : cases) {
    testutil::arg_vector argv({"x", c.text});
    auto r = testutil::run_in_child([&] {
      trace_enabled = true;
      TRACE("<%s>", c.text.c_str());
      trace_command_line(c.text.c_str(), argv.get());
    });
    EXPECT_EQ(r.err, "<" + c.shown + ">\n" + c.shown + " x " + c.as_argument + "\n") << c.shown;
  }

  auto r = testutil::run_in_child([] {
    trace_enabled = true;
    TRACE("%d %u %lu %zu %c%c %%", -3, 4u, 5ul, size_t{6}, ':', '\n');
    trace_enabled = false;
    TRACE("%s", "off");
  });
  EXPECT_EQ(r.err, "-3 4 5 6 :\\012 %\n");
}

}  // namespace
