#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "argv/argv_parse.h"
#include "argv/argv_vector.h"
#include "argv/argv_write.h"
#include "common/arg_vector.h"

using owned_vector = testutil::arg_vector;
using testutil::strings;
using testutil::to_strings;

namespace {

// Returns what argv_write_quoted wrote for args, and its result through status.
std::string write_quoted(const strings& args, int* status) {
  owned_vector argv(args);
  return testutil::write_to_memory(argv.get(), status);
}

// The format written out by hand: backslash before white space, quotes and backslash;
// a newline as quote-newline-quote; "" for an empty argument; a newline after each.
std::string reference_encoding(const strings& args) {
  std::string text;
  for (const std::string& arg : args) {
    if (arg.empty()) text += "\"\"";
    for (char c : arg) {
      if (c == '\n') {
        text += "'\n'";
        continue;
      }
      if (c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\'' || c == '"' || c == '\\') {
        text += '\\';
      }
      text += c;
    }
    text += '\n';
  }
  return text;
}

struct write_case {
  strings args;
  const char* text;
};

TEST(argv_write_quoted, writes_the_text_format) {
  const write_case cases[] = {
      {{"a b", "", "x\"y", "it's", "c:\\dir", "$HOME", "tab\there"},
       "a\\ b\n\"\"\nx\\\"y\nit\\'s\nc:\\\\dir\n$HOME\ntab\\\there\n"},
      {{"v\vf\fr\r", "`cmd`@f#"}, "v\\\vf\\\fr\\\r\n`cmd`@f#\n"},
      {{"\x80\xff\x01"}, "\x80\xff\x01\n"},
      // A newline must survive the round trip: a backslash-newline would be dropped.
      {{"two\nlines"}, "two'\n'lines\n"},
      {{"\n\n"}, "'\n''\n'\n"},
      {{}, ""},
  };
  for (const write_case& c : cases) {
    int status = -1;
    EXPECT_EQ(write_quoted(c.args, &status), c.text);
    EXPECT_EQ(status, 0);
    char** back = argv_parse(c.text);
    EXPECT_EQ(to_strings(back), c.args) << c.text;
    argv_release(back);
  }
}

TEST(argv_write_quoted, reports_a_null_stream_and_failed_writes) {
  owned_vector argv({"a", "b"});
  EXPECT_EQ(argv_write_quoted(argv.data(), nullptr), 1);

  FILE* read_only = fopen("/dev/null", "r");
  ASSERT_NE(read_only, nullptr);
  EXPECT_EQ(argv_write_quoted(argv.data(), read_only), 1);
  fclose(read_only);

  // A pipe whose reader is gone fails the first write that reaches it (SIGPIPE is
  // ignored in the tests, so the write returns EPIPE). A line-buffered stream that holds
  // the start of a line writes at the first newline, and glibc's fwrite then counts the
  // bytes as written all the same.
  struct broken_case {
    int buffering;
    const char* held;  // written by the caller before
  };
  for (const broken_case& c : {broken_case{_IONBF, ""}, broken_case{_IOLBF, "# "}}) {
    SCOPED_TRACE(c.buffering == _IOLBF ? "line-buffered" : "unbuffered");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    FILE* broken = fdopen(fds[1], "w");
    ASSERT_NE(broken, nullptr);
    setvbuf(broken, nullptr, c.buffering, BUFSIZ);
    fputs(c.held, broken);
    ASSERT_EQ(ferror(broken), 0);
    EXPECT_EQ(argv_write_quoted(argv.data(), broken), 1);
    fclose(broken);
  }

  owned_vector empty({});
  FILE* broken = fopen("/dev/null", "r");
  EXPECT_EQ(argv_write_quoted(empty.data(), broken), 0) << "nothing to write, nothing fails";
  fclose(broken);
}

// Arguments built to hit every special byte, plus plain random bytes and long ones.
strings random_vector(std::mt19937& rng) {
  static const std::string nasty = " \t\n\v\f\r'\"\\@$`#a/.\x7f\x80\xff";
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  strings args(pick(12));
  for (std::string& arg : args) {
    switch (pick(5)) {
      case 0:
        break;  // empty
      case 1:
        for (size_t i = pick(12); i > 0; --i) arg += nasty[pick(nasty.size())];
        break;
      case 2:
        for (size_t i = pick(40); i > 0; --i) arg += static_cast<char>(1 + pick(255));
        break;
      case 3:
        for (size_t i = 1000 + pick(4000); i > 0; --i) arg += static_cast<char>(1 + pick(255));
        break;
      default:
        arg.assign(1 + pick(20), static_cast<char>('a' + pick(26)));
        arg.insert(arg.begin(), '@');
        break;
    }
  }
  return args;
}

TEST(argv_write_quoted, reads_back_every_vector_it_writes) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 3000; ++round) {
    strings args = random_vector(rng);
    int status = -1;
    std::string text = write_quoted(args, &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(text, reference_encoding(args)) << "round " << round;
    char** back = argv_parse(text.c_str());
    ASSERT_EQ(to_strings(back), args) << "round " << round;
    argv_release(back);
  }
}

}  // namespace
