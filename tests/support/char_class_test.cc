#include <gtest/gtest.h>

#include <cctype>
#include <clocale>

#include "support/char_class.h"

namespace {

// The C library in the "C" locale is an independent definition of the ASCII classes.
struct class_case {
  const char* name;
  uint16_t bit;
  bool (*expected)(int c);
};

const class_case kClasses[] = {
    {"blank", CC_BLANK, [](int c) { return c < 128 && isblank(c) != 0; }},
    {"cntrl", CC_CNTRL, [](int c) { return c < 128 && iscntrl(c) != 0; }},
    {"digit", CC_DIGIT, [](int c) { return c < 128 && isdigit(c) != 0; }},
    {"lower", CC_LOWER, [](int c) { return c < 128 && islower(c) != 0; }},
    {"print", CC_PRINT, [](int c) { return c < 128 && isprint(c) != 0; }},
    {"punct", CC_PUNCT, [](int c) { return c < 128 && ispunct(c) != 0; }},
    {"space", CC_SPACE, [](int c) { return c < 128 && isspace(c) != 0; }},
    {"upper", CC_UPPER, [](int c) { return c < 128 && isupper(c) != 0; }},
    {"xdigit", CC_XDIGIT, [](int c) { return c < 128 && isxdigit(c) != 0; }},
    {"ident_start", CC_IDENT_START, [](int c) { return c < 128 && (isalpha(c) != 0 || c == '_'); }},
    {"vspace", CC_VSPACE, [](int c) { return c == '\n' || c == '\r'; }},
    {"nvspace", CC_NVSPACE, [](int c) { return c == 0 || c == '\t' || c == '\v' || c == '\f' || c == ' '; }},
};

TEST(char_class_table, every_class_matches_an_independent_definition) {
  setlocale(LC_ALL, "C");
  for (const class_case& cls : kClasses) {
    for (int c = 0; c < 256; ++c) {
      EXPECT_EQ((char_class_table[c] & cls.bit) != 0, cls.expected(c)) << cls.name << " byte " << c;
    }
  }
}

TEST(char_class_table, high_bytes_have_no_class_and_map_to_themselves) {
  for (int c = 0x80; c < 256; ++c) {
    EXPECT_EQ(char_class_table[c], 0) << c;
    EXPECT_EQ(to_lower_table[c], c);
    EXPECT_EQ(to_upper_table[c], c);
  }
  // A signed char must not reach a negative index: the helper widens through unsigned char.
  char high = static_cast<char>(0xa0);
  EXPECT_FALSE(char_has_class(static_cast<unsigned char>(high), CC_SPACE | CC_ALPHA));
}

TEST(char_class_table, nul_is_never_white_space) {
  EXPECT_FALSE(char_has_class(0, CC_SPACE));
  EXPECT_TRUE(char_has_class(0, CC_CNTRL));
  EXPECT_TRUE(char_has_class(0, CC_NVSPACE));
}

TEST(case_tables, map_only_ascii_letters) {
  for (int c = 0; c < 128; ++c) {
    EXPECT_EQ(to_lower_table[c], tolower(c)) << c;
    EXPECT_EQ(to_upper_table[c], toupper(c)) << c;
  }
}

}  // namespace
