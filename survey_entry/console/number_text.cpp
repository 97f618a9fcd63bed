#include "survey_entry/console/number_text.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace console {
namespace {

// The magnitude rounded to nearest at `count` significant decimal digits:
// digits[0..count) and the decimal exponent e of digits[0], so that the
// value reads digits[0].digits[1]... x 10^e. The digits come from the exact
// scientific conversion of the standard library.
struct RoundedDigits {
  char digits[17];
  int exponent;
};

// count is 7, 15 or 16, so the conversion always has a point.
RoundedDigits round_to_digits(double magnitude, int count) {
  // "d.ddd...e+XXX": at most 1 + 1 + 16 + 2 + 3 bytes.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                    std::chars_format::scientific, count - 1);
  RoundedDigits rounded{};
  rounded.digits[0] = buffer[0];
  for (int i = 1; i < count; ++i) {
    rounded.digits[i] = buffer[i + 1];  // skip the point
  }
  const char* exponent_sign = buffer + count + 2;  // after "d.ddd" and "e"
  int exponent = 0;
  std::from_chars(exponent_sign + 1, result.ptr, exponent);
  rounded.exponent = *exponent_sign == '-' ? -exponent : exponent;
  return rounded;
}

// Appends |e| in two digits, or three when it is 100 or more.
char* put_exponent(char* out, char letter, int exponent) {
  *out++ = letter;
  *out++ = exponent < 0 ? '-' : '+';
  const int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude >= 100) {
    *out++ = static_cast<char>('0' + magnitude / 100);
  }
  *out++ = static_cast<char>('0' + magnitude / 10 % 10);
  *out++ = static_cast<char>('0' + magnitude % 10);
  return out;
}

// The number text of a value kept to `precision` significant digits (7 or
// 16). With `shorten_on_nine`, a 16th digit 9 makes the value be rounded to
// one digit less (the double's rule).
Text number_text(double value, int precision, char letter, bool shorten_on_nine) {
  if (std::isnan(value)) {
    return " NAN";
  }
  if (std::isinf(value)) {
    return value < 0 ? "-INF" : " INF";
  }
  if (value == 0) {
    return " 0";  // negative zero too
  }

  const double magnitude = std::fabs(value);
  RoundedDigits rounded = round_to_digits(magnitude, precision);
  if (shorten_on_nine && rounded.digits[precision - 1] == '9') {
    rounded = round_to_digits(magnitude, precision - 1);
    rounded.digits[precision - 1] = '0';
  }
  const char* digits = rounded.digits;
  const int e = rounded.exponent;

  int kept = precision;  // d: the significant digits left after the trailing zeros
  while (kept > 1 && digits[kept - 1] == '0') {
    --kept;
  }
  const int fraction_digits = kept - e - 1 > 0 ? kept - e - 1 : 0;  // f

  // At most: sign, 16 digits, point, letter, exponent sign, 3 exponent digits.
  char buffer[24];
  char* out = buffer;
  *out++ = value < 0 ? '-' : ' ';

  if (e >= precision || fraction_digits > precision) {
    *out++ = digits[0];
    if (kept > 1) {
      *out++ = '.';
      for (int i = 1; i < kept; ++i) {
        *out++ = digits[i];
      }
    }
    out = put_exponent(out, letter, e);
  } else if (e >= 0) {
    // Integer digits m1...m(e+1), zeros where no digit is kept, then the
    // fraction digits.
    for (int i = 0; i <= e; ++i) {
      *out++ = i < kept ? digits[i] : '0';
    }
    if (fraction_digits > 0) {
      *out++ = '.';
      for (int i = e + 1; i < kept; ++i) {
        *out++ = digits[i];
      }
    }
  } else {
    // Below 1: the point, -e-1 zeros, then the kept digits; no "0" before the
    // point.
    *out++ = '.';
    for (int i = 0; i < -e - 1; ++i) {
      *out++ = '0';
    }
    for (int i = 0; i < kept; ++i) {
      *out++ = digits[i];
    }
  }
  return Text(buffer, static_cast<std::size_t>(out - buffer));
}

}  // namespace

Text single_to_text(float value) {
  // Widening is exact, so the digits are those of the single's binary value.
  return number_text(static_cast<double>(value), 7, 'E', false);
}

Text double_to_text(double value) { return number_text(value, 16, 'D', true); }

}  // namespace console
