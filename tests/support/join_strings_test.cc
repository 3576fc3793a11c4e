#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/checked_alloc.h"
#include "support/join_strings.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUARN_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARN_TEST_ASAN 1
#endif
#endif
#ifdef QUARN_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

// Takes ownership of a joined string.
std::string take(char* joined) {
  std::string text = joined;
  free(joined);
  return text;
}

// Only ASan can tell whether a block was given back; elsewhere the text checks remain.
void expect_freed([[maybe_unused]] const void* block) {
#ifdef QUARN_TEST_ASAN
  EXPECT_TRUE(__asan_address_is_poisoned(block));
#endif
}

TEST(join_strings, empty_members_do_not_end_the_list) {
  EXPECT_EQ(take(join_strings("a", "", "b", nullptr)), "ab");
  EXPECT_EQ(take(join_strings("", "", nullptr)), "");
  EXPECT_EQ(join_strings_length("a", "", "bc", nullptr), 3u);
}

TEST(join_strings, empty_list_gives_a_fresh_empty_string) {
  char* a = join_strings(nullptr, nullptr);
  char* b = join_strings(nullptr, nullptr);
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_NE(a, b);
  EXPECT_STREQ(a, "");
  free(a), free(b);
  EXPECT_EQ(join_strings_length(nullptr, nullptr), 0u);
}

TEST(join_strings, lists_longer_than_the_register_arguments) {
  // Past six arguments the list continues on the stack; both walks must reach it.
  EXPECT_EQ(take(join_strings("1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", nullptr)),
            "1234567891011");
  EXPECT_EQ(join_strings_length("1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", nullptr), 13u);
  char* old = checked_strdup("x");
  EXPECT_EQ(take(join_strings_replacing(old, old, "1", "2", "3", "4", "5", "6", "7", "8", "9", nullptr)),
            "x123456789");
}

TEST(join_strings_into, writes_from_the_start_and_stops_after_the_nul) {
  char buf[8];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(join_strings_into(buf, "ab", "", "cd", nullptr), buf);
  EXPECT_EQ(std::string(buf, 6), std::string("abcd\0#", 6));

  memset(buf, '#', sizeof buf);
  EXPECT_EQ(join_strings_into(buf, nullptr, nullptr), buf);
  EXPECT_EQ(std::string(buf, 2), std::string("\0#", 2));
}

TEST(join_strings_shared, writes_into_the_buffer_set_beforehand) {
  char buf[8];
  memset(buf, '#', sizeof buf);
  shared_join_buffer = buf;
  char* result = join_strings_shared("x", "/", "y", nullptr);
  shared_join_buffer = nullptr;
  EXPECT_EQ(result, buf);
  EXPECT_EQ(std::string(buf, 5), std::string("x/y\0#", 5));
}

TEST(join_strings_replacing, appends_to_a_string_named_as_old_and_first_member) {
  char* s = checked_strdup("dir");
  char* joined = join_strings_replacing(s, s, "/", nullptr);
  EXPECT_STREQ(joined, "dir/");
  expect_freed(s);
  free(joined);

  char* other = checked_strdup("old");
  EXPECT_EQ(take(join_strings_replacing(other, "new", nullptr)), "new");
  expect_freed(other);

  EXPECT_EQ(take(join_strings_replacing(nullptr, "a", "b", nullptr)), "ab");
  EXPECT_EQ(take(join_strings_replacing(nullptr, nullptr, nullptr)), "");
}

}  // namespace
