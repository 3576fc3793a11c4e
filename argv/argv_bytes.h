// The bytes that the response-file format treats specially.
#pragma once

#include <array>

#include "support/char_class.h"

/// True for the bytes that end a run of ordinary characters in an argument: NUL, the
/// backslash, both quotes and white space. The reader stops its plain scan at them and
/// the writer escapes them (NUL aside). Built at compile time, so no start pays for it.
inline constexpr std::array<bool, 256> argv_special_byte = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c) {
    t[c] = c == '\0' || c == '\\' || c == '\'' || c == '"' || char_has_class(static_cast<unsigned char>(c), CC_SPACE);
  }
  return t;
}();
