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

/// Class bits of each byte value.
extern const std::array<uint16_t, 256> char_class_table;
/// Each byte value with 'A'-'Z' mapped to 'a'-'z'.
extern const std::array<unsigned char, 256> to_lower_table;
/// Each byte value with 'a'-'z' mapped to 'A'-'Z'.
extern const std::array<unsigned char, 256> to_upper_table;

/// True when the byte carries any of the class bits in mask.
inline bool char_has_class(unsigned char byte, uint16_t mask) {
  return (char_class_table[byte] & mask) != 0;
}
