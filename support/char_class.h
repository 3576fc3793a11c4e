// Locale-independent classification and case mapping of the 256 byte values.
//
// Index the tables only with an unsigned char: bytes 0x80-0xFF must land in the
// upper half, never at a negative position. They carry no class at all.
#pragma once

#include <array>
#include <cstdint>

enum : uint16_t {
  CC_BLANK = 0x0001,        // tab, space
  CC_CNTRL = 0x0002,        // 0x00-0x1F, 0x7F
  CC_DIGIT = 0x0004,        // '0'-'9'
  CC_LOWER = 0x0008,        // 'a'-'z'
  CC_PRINT = 0x0010,        // 0x20-0x7E
  CC_PUNCT = 0x0020,        // printable, not letter, digit or space
  CC_SPACE = 0x0040,        // the white space of the response-file format
  CC_UPPER = 0x0080,        // 'A'-'Z'
  CC_XDIGIT = 0x0100,       // hexadecimal digits
  CC_IDENT_START = 0x0200,  // letters and '_'
  CC_VSPACE = 0x0400,       // newline, carriage return
  CC_NVSPACE = 0x0800,      // NUL, tab, vertical tab, form feed, space
  CC_ALPHA = CC_LOWER | CC_UPPER,
};

namespace char_class_detail {

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

}  // namespace char_class_detail

/// Class bits of each byte value.
inline constexpr std::array<uint16_t, 256> char_class_table = char_class_detail::make_class_table();
/// Each byte value with 'A'-'Z' mapped to 'a'-'z'.
inline constexpr std::array<unsigned char, 256> to_lower_table = char_class_detail::case_table('A', 'Z', 'a' - 'A');
/// Each byte value with 'a'-'z' mapped to 'A'-'Z'.
inline constexpr std::array<unsigned char, 256> to_upper_table = char_class_detail::case_table('a', 'z', 'A' - 'a');

/// True when the byte carries any of the class bits in mask.
constexpr bool char_has_class(unsigned char byte, uint16_t mask) {
  return (char_class_table[byte] & mask) != 0;
}
