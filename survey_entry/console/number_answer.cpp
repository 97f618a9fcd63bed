#include "survey_entry/console/number_answer.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "survey_entry/console/text.h"

namespace console {
namespace {

// The range and length limits of one number type.
struct Limits {
  bool d_is_exponent;      // D and d start an exponent too
  int most_leading_zeros;  // largest Z
  int largest_e;           // largest position of the first significant digit
  std::string_view largest_digits;
  int smallest_e;
  std::string_view smallest_digits;
  int most_digits_with_fraction;
};

constexpr Limits kSingleLimits{false, 43, 39, "3402823", -44, "1401298", 8};
constexpr Limits kDoubleLimits{true, 322, 309, "17976931", -323, "4940656", 16};

// Exponents are clamped far outside every range, so that any number of
// exponent digits is refused without overflow.
constexpr int kExponentClamp = 100000;

// Compares the first digits of S (at most as many as `bound` has) with
// `bound`: negative when S is smaller at the first digit that differs,
// positive when greater, 0 when all compared digits are equal.
int compare_leading_digits(std::string_view significant, std::string_view bound) {
  const std::size_t count = significant.size() < bound.size() ? significant.size() : bound.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (significant[i] != bound[i]) {
      return significant[i] < bound[i] ? -1 : 1;
    }
  }
  return 0;
}

// &, &H with 0 to 16 hexadecimal digits, &O with 0 to 22 octal digits (22
// only with a first digit of 0 or 1). The digits are an unsigned 64-bit
// whole number, rounded to the type.
template <typename T>
bool check_ampersand_form(std::string_view field, T& value) {
  if (field.size() == 1) {
    return true;
  }
  const char form = field[1];
  const std::string_view digits = field.substr(2);
  int base = 0;
  if (form == 'H' || form == 'h') {
    base = 16;
    if (digits.size() > 16) {
      return false;
    }
  } else if (form == 'O' || form == 'o') {
    base = 8;
    if (digits.size() > 22 || (digits.size() == 22 && digits[0] != '0' && digits[0] != '1')) {
      return false;
    }
  } else {
    return false;
  }
  if (digits.empty()) {
    return true;
  }
  std::uint64_t whole = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), whole, base);
  // The digit counts keep the whole number within 64 bits, so only a byte
  // that is no digit of the base stops the conversion early.
  if (result.ec != std::errc{} || result.ptr != digits.data() + digits.size()) {
    return false;
  }
  value = static_cast<T>(whole);
  return true;
}

// Converts an accepted decimal text to the nearest value of T. D or d is
// read as E. A text that is no complete number (the point alone, a minus
// sign with the point, a text ending in an exponent letter or its sign)
// leaves +0. Overflow gives infinity of the text's sign.
template <typename T>
T convert_decimal(std::string_view text, bool negative, int e) {
  char buffer[kMaxNumberAnswerBytes];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    buffer[i] = c == 'D' || c == 'd' ? 'E' : c;
  }
  const char* const end = buffer + text.size();
  T converted{};
  const auto result = std::from_chars(buffer, end, converted);
  if (result.ptr != end) {
    return T(0);
  }
  if (result.ec == std::errc::result_out_of_range) {
    // Past the largest finite value: infinity. An underflow, which the range
    // tests keep out, would give a zero of the text's sign.
    const T magnitude = e > 0 ? std::numeric_limits<T>::infinity() : T(0);
    return negative ? -magnitude : magnitude;
  }
  return result.ec == std::errc{} ? converted : T(0);
}

template <typename T>
bool check_answer(std::string_view field, T& value, const Limits& limits) {
  value = T(0);
  if (field.size() > kMaxNumberAnswerBytes) {
    return false;
  }
  const std::size_t length = field.size();
  if (length == 0) {
    return true;
  }
  if (field[0] == '&') {
    return check_ampersand_form(field, value);
  }

  const auto is_exponent_letter = [&limits](char c) {
    return c == 'E' || c == 'e' || (limits.d_is_exponent && (c == 'D' || c == 'd'));
  };

  std::size_t pos = 0;
  const bool negative = field[0] == '-';
  if (negative) {
    pos = 1;
    if (length == 1) {
      return true;  // the minus sign alone: +0
    }
  }

  int integer_digits = 0;   // I
  int fraction_digits = 0;  // Fd
  int leading_zeros = 0;    // Z
  bool nonzero_seen = false;
  // The first significant digits: more than 8 are never compared.
  char significant[8];
  std::size_t significant_count = 0;
  const auto add_significant = [&](char c) {
    if (significant_count < sizeof significant) {
      significant[significant_count++] = c;
    }
  };

  // A leading 0 is the whole number, or is followed by the point.
  if (field[pos] == '0') {
    if (pos + 1 == length) {
      return true;  // 0 and -0: +0, not converted
    }
    if (field[pos + 1] != '.') {
      return false;
    }
    ++pos;
  }

  // Integer part: its first digit is not 0 here.
  bool exponent_follows = false;
  for (; pos < length && field[pos] != '.'; ++pos) {
    const char c = field[pos];
    if (is_ascii_digit(c)) {
      ++integer_digits;
      nonzero_seen = nonzero_seen || c != '0';
      add_significant(c);
    } else if (is_exponent_letter(c) && integer_digits > 0) {
      exponent_follows = true;
      break;
    } else {
      return false;
    }
  }

  // Fraction, after the point; the point may be the last byte.
  if (!exponent_follows && pos < length) {
    const std::size_t point = pos++;
    bool fraction_nonzero_seen = false;
    for (; pos < length; ++pos) {
      const char c = field[pos];
      if (is_ascii_digit(c)) {
        ++fraction_digits;
        if (c != '0') {
          fraction_nonzero_seen = true;
          nonzero_seen = true;
        } else if (!fraction_nonzero_seen) {
          ++leading_zeros;
        }
        if (integer_digits > 0 || fraction_nonzero_seen) {
          add_significant(c);
        }
      } else if (is_exponent_letter(c) && pos != point + 1 && nonzero_seen) {
        exponent_follows = true;
        break;
      } else {
        return false;
      }
    }
  }

  // Exponent, after its letter: an optional sign, then digits without a
  // leading 0 (a lone 0 is allowed).
  int exponent = 0;  // X
  if (exponent_follows) {
    ++pos;
    bool exponent_negative = false;
    if (pos < length && (field[pos] == '-' || field[pos] == '+')) {
      exponent_negative = field[pos] == '-';
      ++pos;
    }
    if (pos < length && field[pos] == '0' && pos + 1 != length) {
      return false;
    }
    for (; pos < length; ++pos) {
      const char c = field[pos];
      if (!is_ascii_digit(c)) {
        return false;
      }
      if (exponent < kExponentClamp) {
        exponent = exponent * 10 + (c - '0');
      }
    }
    if (exponent_negative) {
      exponent = -exponent;
    }
  }

  // A fraction of exactly one 0 counts as none.
  if (fraction_digits == 1 && leading_zeros == 1) {
    fraction_digits = 0;
    leading_zeros = 0;
  }

  if (leading_zeros > limits.most_leading_zeros) {
    return false;
  }
  // No digit other than 0 (I = 0 and Fd = Z): no range and length tests.
  if (integer_digits > 0 || fraction_digits != leading_zeros) {
    const std::string_view digits(significant, significant_count);
    const int e = (integer_digits > 0 ? integer_digits : -leading_zeros) + exponent;
    if (e > limits.largest_e) {
      return false;
    }
    if (e == limits.largest_e && compare_leading_digits(digits, limits.largest_digits) > 0) {
      return false;
    }
    if (fraction_digits > 0) {
      const int counted =
          integer_digits > 0 ? integer_digits + fraction_digits : fraction_digits - leading_zeros;
      if (counted > limits.most_digits_with_fraction) {
        return false;
      }
    }
    if (e < limits.smallest_e) {
      return false;
    }
    if (e == limits.smallest_e && compare_leading_digits(digits, limits.smallest_digits) < 0) {
      return false;
    }
    value = convert_decimal<T>(field, negative, e);
    return true;
  }

  value = convert_decimal<T>(field, negative, 0);
  return true;
}

}  // namespace

bool check_single_answer(std::string_view field, float& value) {
  return check_answer(field, value, kSingleLimits);
}

bool check_double_answer(std::string_view field, double& value) {
  return check_answer(field, value, kDoubleLimits);
}

}  // namespace console
