// Text values: variable-length strings of bytes, shown with code page 437
// glyphs. Bytes are kept unchanged; nothing here converts code pages.
//
// The names the program reads (devices, serial options) and the number
// answers are plain ASCII: their letters compare in upper case and their
// digits are 0 to 9, whatever the locale, and a byte above 127 is neither.
#pragma once

#include <string>

namespace console {

using Text = std::string;

// The byte in upper case when it is an ASCII letter a to z, else unchanged.
constexpr char ascii_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace console
