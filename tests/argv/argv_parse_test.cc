#include <gtest/gtest.h>

#include <string>

#include "argv/argv_parse.h"
#include "argv/argv_vector.h"
#include "common/arg_vector.h"

using testutil::strings;
using testutil::to_strings;

namespace {

strings parse(const std::string& text) {
  char** argv = argv_parse(text.c_str());
  EXPECT_NE(argv, nullptr) << text;
  strings args = to_strings(argv);
  argv_release(argv);
  return args;
}

struct parse_case {
  const char* text;
  strings args;
};

TEST(argv_parse, reads_the_text_format) {
  const parse_case cases[] = {
      // White space of every kind separates; CR-LF line ends read like LF ones.
      {"a  b\tc\n", {"a", "b", "c"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\vb\fc", {"a", "b", "c"}},
      {"", {}},
      {" \t\n", {}},
      // Quotes, and sections that touch forming one argument.
      {"'a b' \"c\\\"d\"\n", {"a b", "c\"d"}},
      {"\"a b\"c'd e'f", {"a bcd ef"}},
      {"'it''s'", {"its"}},
      {"\"\"", {""}},
      {"''", {""}},
      {"\"'\" '\"'", {"'", "\""}},
      {"'a\\b'", {"a\\b"}},
      {"'a\nb' \"c\rd\"", {"a\nb", "c\rd"}},
      // Backslashes outside quotes take any byte; backslash-newline is dropped.
      {"a\\ b", {"a b"}},
      {"\\'\\\"\\\\", {"'\"\\"}},
      {"a\\\nb", {"ab"}},
      {"a \\\n b", {"a", "", "b"}},
      {"\\", {""}},
      {"\\\n", {""}},
      // Inside double quotes only $ ` " \ and newline are escaped.
      {"\"a\\b\"", {"a\\b"}},
      {"\"a\\$b\\\\c\"", {"a$b\\c"}},
      {"\"\\'\"", {"\\'"}},
      {"\"\\ x\"", {"\\ x"}},
      {"\"\\`\\\"\"", {"`\""}},
      {"\"a\\\nb\"", {"ab"}},
      // The end of the text closes whatever is open.
      {"\"abc", {"abc"}},
      {"'abc", {"abc"}},
      {"abc\\", {"abc"}},
      {"\"abc\\", {"abc"}},
      // Nothing else is special.
      {"$HOME `x` @f #c", {"$HOME", "`x`", "@f", "#c"}},
      {"\x80\xff \xa0", {"\x80\xff", "\xa0"}},
  };
  for (const parse_case& c : cases) EXPECT_EQ(parse(c.text), c.args) << "text: " << c.text;
}

TEST(argv_parse, null_text_gives_null_and_empty_text_an_empty_vector) {
  EXPECT_EQ(argv_parse(nullptr), nullptr);
  for (const char* text : {"", " \r\n\v\f\t"}) {
    char** argv = argv_parse(text);
    ASSERT_NE(argv, nullptr);
    EXPECT_EQ(argv[0], nullptr);
    argv_release(argv);
  }
}

TEST(argv_parse, vector_stays_terminated_as_it_grows) {
  for (int n : {1, 7, 8, 9, 15, 16, 17, 1000}) {
    std::string text;
    strings expected;
    for (int i = 0; i < n; ++i) {
      expected.push_back("arg" + std::to_string(i));
      text += expected.back() + (i % 2 ? "\n" : " ");
    }
    char** argv = argv_parse(text.c_str());
    ASSERT_EQ(argv_length(argv), n);
    EXPECT_EQ(argv[n], nullptr);
    EXPECT_EQ(to_strings(argv), expected);
    argv_release(argv);
  }
}

}  // namespace
