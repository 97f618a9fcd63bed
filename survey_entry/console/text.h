// Text values: variable-length strings of bytes, shown with code page 437
// glyphs. Bytes are kept unchanged; nothing here converts code pages.
//
// The names the program reads (devices, serial options) and the number
// answers are plain ASCII: their letters compare in upper case and their
// digits are 0 to 9, whatever the locale, and a byte above 127 is neither.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace console {

using Text = std::string;

// The byte in upper case when it is an ASCII letter a to z, else unchanged.
constexpr char ascii_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

// Whether text starts with prefix (written in upper case), the ASCII
// letters of text compared in either case: a device name as "scrn:" or
// "Com1:".
constexpr bool starts_with_in_any_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_upper(text[i]) != prefix[i]) return false;
  }
  return true;
}

}  // namespace console
