// Fuzzing of the number text: for any single or double bit pattern, the
// text follows the form rules and reads back as the value rounded to 7 or
// 16 significant digits (15 when the 16th would be 9), made independently
// with snprintf.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "survey_entry/console/number_text.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& text, double value) {
  std::fprintf(stderr, "%s: \"%s\" for %.17g\n", what, text.c_str(), value);
  std::abort();
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The magnitude rounded as the number text must round it, in scientific
// notation.
std::string rounded_reference(double magnitude, int precision, bool shorten_on_nine) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, magnitude);
  if (shorten_on_nine && buffer[precision] == '9') {  // digit 16: buffer[0] and [2..16]
    std::snprintf(buffer, sizeof buffer, "%.*e", precision - 2, magnitude);
  }
  return buffer;
}

void check_text(const std::string& text, double value, int precision, char letter,
                bool shorten_on_nine, std::size_t longest) {
  if (std::isnan(value)) {
    if (text != " NAN") fail("NaN text", text, value);
    return;
  }
  if (std::isinf(value)) {
    if (text != (value < 0 ? "-INF" : " INF")) fail("infinity text", text, value);
    return;
  }
  if (text.size() < 2 || text.size() > longest) fail("length", text, value);
  if (text[0] != (value < 0 ? '-' : ' ')) fail("sign position", text, value);
  if (value == 0) {
    if (text != " 0") fail("zero text", text, value);
    return;
  }

  const std::string body = text.substr(1);
  const std::size_t letter_at = body.find(letter);
  const std::string mantissa = body.substr(0, letter_at);
  const std::size_t point = mantissa.find('.');
  int digit_count = 0;
  bool significant = false;
  for (std::size_t i = 0; i < mantissa.size(); ++i) {
    const char c = mantissa[i];
    if (i == point) continue;
    if (!is_digit(c)) fail("byte in mantissa", text, value);
    significant = significant || c != '0';
    if (significant) ++digit_count;
  }
  if (digit_count == 0 || digit_count > precision) fail("digit count", text, value);
  if (mantissa[0] == '0') fail("leading 0", text, value);
  if (point != std::string::npos) {
    if (mantissa.find('.', point + 1) != std::string::npos) fail("two points", text, value);
    if (mantissa.back() == '0' || mantissa.back() == '.') fail("trailing fraction", text, value);
  }

  int exponent_of_text = 0;
  if (letter_at != std::string::npos) {
    // Exponent form: one digit before the point, then the sign and two
    // digits, three only from 100 on.
    if (point == std::string::npos ? mantissa.size() != 1 : point != 1) {
      fail("exponent mantissa", text, value);
    }
    const std::string exponent = body.substr(letter_at + 1);
    if (exponent.size() != 3 && exponent.size() != 4) fail("exponent length", text, value);
    if (exponent[0] != '+' && exponent[0] != '-') fail("exponent sign", text, value);
    for (std::size_t i = 1; i < exponent.size(); ++i) {
      if (!is_digit(exponent[i])) fail("exponent digit", text, value);
    }
    const int magnitude = std::atoi(exponent.c_str() + 1);
    if ((exponent.size() == 4) != (magnitude >= 100)) fail("exponent digits", text, value);
    exponent_of_text = exponent[0] == '-' ? -magnitude : magnitude;
    const int fraction_needed = digit_count - exponent_of_text - 1;
    if (exponent_of_text < precision && fraction_needed <= precision) {
      fail("exponent form where the fixed form fits", text, value);
    }
  } else {
    const std::size_t fraction = point == std::string::npos ? 0 : mantissa.size() - point - 1;
    const std::size_t integer = point == std::string::npos ? mantissa.size() : point;
    if (integer > static_cast<std::size_t>(precision) ||
        fraction > static_cast<std::size_t>(precision)) {
      fail("fixed form out of its range", text, value);
    }
  }

  // Read back, D as E, against the independently rounded value.
  std::string readable = text;
  for (char& c : readable) {
    if (c == 'D') c = 'E';
  }
  const double read_back = std::strtod(readable.c_str(), nullptr);
  const double expected =
      std::strtod(rounded_reference(std::fabs(value), precision, shorten_on_nine).c_str(), nullptr);
  if (read_back != (value < 0 ? -expected : expected)) fail("value read back", text, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 4) {
    float single = 0;
    std::memcpy(&single, data, sizeof single);
    check_text(console::single_to_text(single), static_cast<double>(single), 7, 'E', false, 13);
  }
  if (size >= 8) {
    double dbl = 0;
    std::memcpy(&dbl, data, sizeof dbl);
    check_text(console::double_to_text(dbl), dbl, 16, 'D', true, 23);
  }
  return 0;
}
