// The tables are built in the header at compile time; this checks them against the
// class sizes and the fourteen distinct entries they must have.
#include "support/char_class.h"


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
