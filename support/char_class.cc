#include "support/char_class.h"

#include <array>

namespace {

// Each class is defined once, as a predicate over the byte value; the table is the
// OR of the classes that hold, computed at compile time.
constexpr uint16_t classes_of(int c) {
  bool upper = c >= 'A' && c <= 'Z';
  bool lower = c >= 'a' && c <= 'z';
  bool digit = c >= '0' && c <= '9';
  bool print = c >= 0x20 && c <= 0x7e;
  uint16_t bits = 0;
  if (c == '\t' || c == ' ') bits |= CC_BLANK;
  if (c <= 0x1f || c == 0x7f) bits |= CC_CNTRL;
  if (digit) bits |= CC_DIGIT;
  if (lower) bits |= CC_LOWER;
  if (print) bits |= CC_PRINT;
  if (print && !upper && !lower && !digit && c != ' ') bits |= CC_PUNCT;
  if (c == ' ' || (c >= '\t' && c <= '\r')) bits |= CC_SPACE;
  if (upper) bits |= CC_UPPER;
  if (digit || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) bits |= CC_XDIGIT;
  if (upper || lower || c == '_') bits |= CC_IDENT_START;
  if (c == '\n' || c == '\r') bits |= CC_VSPACE;
  if (c == 0 || c == '\t' || c == '\v' || c == '\f' || c == ' ') bits |= CC_NVSPACE;
  return bits;
}

constexpr std::array<uint16_t, 256> make_class_table() {
  std::array<uint16_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = classes_of(c);
  return t;
}

constexpr std::array<unsigned char, 256> case_table(int from, int to, int shift) {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = static_cast<unsigned char>(c >= from && c <= to ? c + shift : c);
  return t;
}

}  // namespace

extern constexpr std::array<uint16_t, 256> char_class_table = make_class_table();
extern constexpr std::array<unsigned char, 256> to_lower_table = case_table('A', 'Z', 'a' - 'A');
extern constexpr std::array<unsigned char, 256> to_upper_table = case_table('a', 'z', 'A' - 'a');

namespace {

constexpr int count_with(uint16_t mask) {
  int n = 0;
  for (uint16_t bits : char_class_table) n += (bits & mask) != 0;
  return n;
}

constexpr int count_equal(uint16_t entry) {
  int n = 0;
  for (uint16_t bits : char_class_table) n += bits == entry;
  return n;
}

static_assert(count_with(CC_BLANK) == 2);
static_assert(count_with(CC_CNTRL) == 33);
static_assert(count_with(CC_DIGIT) == 10);
static_assert(count_with(CC_LOWER) == 26 && count_with(CC_UPPER) == 26);
static_assert(count_with(CC_PRINT) == 95);
static_assert(count_with(CC_PUNCT) == 32);
static_assert(count_with(CC_SPACE) == 6);
static_assert(count_with(CC_XDIGIT) == 22);
static_assert(count_with(CC_IDENT_START) == 53);
static_assert(count_with(CC_VSPACE) == 2);
static_assert(count_with(CC_NVSPACE) == 5);
static_assert(count_with(0xf000) == 0, "the four high bits belong to no byte");
static_assert(count_with(0xffff) == 128, "bytes 0x80-0xFF carry no class");
// The fourteen distinct entries and how many bytes carry each.
static_assert(count_equal(0x0000) == 128 && count_equal(0x0002) == 27 && count_equal(0x0802) == 1 &&
              count_equal(0x0843) == 1 && count_equal(0x0442) == 2 && count_equal(0x0842) == 2 &&
              count_equal(0x0851) == 1 && count_equal(0x0030) == 31 && count_equal(0x0230) == 1 &&
              count_equal(0x0114) == 10 && count_equal(0x0390) == 6 && count_equal(0x0290) == 20 &&
              count_equal(0x0318) == 6 && count_equal(0x0218) == 20);
static_assert(char_class_table['_'] == 0x0230 && char_class_table['\t'] == 0x0843 && char_class_table[0] == 0x0802);
static_assert(to_lower_table['A'] == 'a' && to_lower_table['a'] == 'a' && to_lower_table[0xc4] == 0xc4);
static_assert(to_upper_table['z'] == 'Z' && to_upper_table['Z'] == 'Z' && to_upper_table[0xe4] == 0xe4);


}  // namespace
