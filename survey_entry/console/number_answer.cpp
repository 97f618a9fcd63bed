#include "survey_entry/console/number_answer.h"

#include <array>
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

// What the digits of a decimal answer come to, as the limits test them.
struct DecimalDigits {
  bool negative = false;
  int integer_digits = 0;   // I
  int fraction_digits = 0;  // Fd
  int leading_zeros = 0;    // Z: the fraction's zeros before its first other digit
  int exponent = 0;         // X
  // The first significant digits: more than 8 are never compared.
  std::array<char, 8> significant{};
  std::size_t significant_count = 0;

  void add_significant(char c) {
    if (significant_count < significant.size()) significant[significant_count++] = c;
  }
  std::string_view significant_digits() const {
    return std::string_view(significant.data(), significant_count);
  }
  // A digit other than 0 (I > 0 or Fd > Z): only then do the range and length
  // limits apply.
  bool has_nonzero_digit() const { return integer_digits > 0 || fraction_digits != leading_zeros; }
  // The place of the first significant digit, E: I, else -Z, plus X.
  int first_digit_place() const {
    return (integer_digits > 0 ? integer_digits : -leading_zeros) + exponent;
  }
};

// The decimal form read left to right: the sign, a leading 0, the integer
// part, the fraction and the exponent.
class DecimalReader {
 public:
  enum class Reading {
    refused,  // a byte the form does not allow where it stands
    zero,     // "-", "0" and "-0": +0, not converted
    digits,   // the digits read, for the limits
  };

  DecimalReader(std::string_view field, const Limits& limits) : field_(field), limits_(limits) {}

  Reading read(DecimalDigits& d) {
    d.negative = field_[0] == '-';
    if (d.negative) {
      pos_ = 1;
      if (at_end()) return Reading::zero;  // the minus sign alone
    }
    // A leading 0 is the whole number, or is followed by the point.
    if (field_[pos_] == '0') {
      if (pos_ + 1 == field_.size()) return Reading::zero;
      if (field_[pos_ + 1] != '.') return Reading::refused;
      ++pos_;
    }
    Next next = read_integer_part(d);
    if (next == Next::fraction) next = read_fraction(d);
    if (next == Next::exponent) next = read_exponent(d);
    if (next == Next::refused) return Reading::refused;
    // A fraction of exactly one 0 counts as none.
    if (d.fraction_digits == 1 && d.leading_zeros == 1) {
      d.fraction_digits = 0;
      d.leading_zeros = 0;
    }
    return Reading::digits;
  }

 private:
  // What follows a part of the form.
  enum class Next { fraction, exponent, end, refused };

  bool at_end() const { return pos_ == field_.size(); }

  bool exponent_letter(char c) const {
    return c == 'E' || c == 'e' || (limits_.d_is_exponent && (c == 'D' || c == 'd'));
  }

  // The integer part up to the point; its first digit is not 0 here. An
  // exponent letter may follow a digit.
  Next read_integer_part(DecimalDigits& d) {
    for (; !at_end(); ++pos_) {
      const char c = field_[pos_];
      if (c == '.') return Next::fraction;
      if (is_ascii_digit(c)) {
        ++d.integer_digits;
        d.add_significant(c);
      } else if (exponent_letter(c) && d.integer_digits > 0) {
        return Next::exponent;
      } else {
        return Next::refused;
      }
    }
    return Next::end;
  }

  // The fraction after the point; the point may be the last byte. An
  // exponent letter may follow a digit once a digit other than 0 has been
  // seen: as the integer part starts with one, that is when the integer
  // part has digits or the fraction has one.
  Next read_fraction(DecimalDigits& d) {
    const std::size_t point = pos_++;
    bool fraction_nonzero_seen = false;
    const auto nonzero_seen = [&] { return d.integer_digits > 0 || fraction_nonzero_seen; };
    for (; !at_end(); ++pos_) {
      const char c = field_[pos_];
      if (is_ascii_digit(c)) {
        ++d.fraction_digits;
        if (c != '0') {
          fraction_nonzero_seen = true;
        } else if (!fraction_nonzero_seen) {
          ++d.leading_zeros;
        }
        if (nonzero_seen()) d.add_significant(c);
      } else if (exponent_letter(c) && pos_ != point + 1 && nonzero_seen()) {
        return Next::exponent;
      } else {
        return Next::refused;
      }
    }
    return Next::end;
  }

  // The exponent after its letter: an optional sign, then digits without a
  // leading 0 (a lone 0 is allowed).
  Next read_exponent(DecimalDigits& d) {
    ++pos_;
    bool negative = false;
    if (!at_end() && (field_[pos_] == '-' || field_[pos_] == '+')) {
      negative = field_[pos_] == '-';
      ++pos_;
    }
    if (!at_end() && field_[pos_] == '0' && pos_ + 1 != field_.size()) return Next::refused;
    for (; !at_end(); ++pos_) {
      const char c = field_[pos_];
      if (!is_ascii_digit(c)) return Next::refused;
      if (d.exponent < kExponentClamp) d.exponent = d.exponent * 10 + (c - '0');
    }
    if (negative) d.exponent = -d.exponent;
    return Next::end;
  }

  std::string_view field_;
  const Limits& limits_;
  std::size_t pos_ = 0;
};

// The type's limits: the leading zeros of the fraction, and for a number
// with a digit other than 0 the place of its first significant digit
// between the smallest and the largest (at either end, its first digits
// against the bound's) and, with a fraction, the count of its digits.
bool within_limits(const DecimalDigits& d, const Limits& limits) {
  if (d.leading_zeros > limits.most_leading_zeros) return false;
  if (!d.has_nonzero_digit()) return true;
  const std::string_view digits = d.significant_digits();
  const int e = d.first_digit_place();
  if (e > limits.largest_e) return false;
  if (e == limits.largest_e && compare_leading_digits(digits, limits.largest_digits) > 0) {
    return false;
  }
  if (d.fraction_digits > 0) {
    const int counted = d.integer_digits > 0 ? d.integer_digits + d.fraction_digits
                                             : d.fraction_digits - d.leading_zeros;
    if (counted > limits.most_digits_with_fraction) return false;
  }
  if (e < limits.smallest_e) return false;
  if (e == limits.smallest_e && compare_leading_digits(digits, limits.smallest_digits) < 0) {
    return false;
  }
  return true;
}

template <typename T>
bool check_decimal_form(std::string_view field, T& value, const Limits& limits) {
  DecimalDigits digits;
  switch (DecimalReader(field, limits).read(digits)) {
    case DecimalReader::Reading::refused:
      return false;
    case DecimalReader::Reading::zero:
      return true;
    case DecimalReader::Reading::digits:
      break;
  }
  if (!within_limits(digits, limits)) return false;
  const int e = digits.has_nonzero_digit() ? digits.first_digit_place() : 0;
  value = convert_decimal<T>(field, digits.negative, e);
  return true;
}

// The empty text is +0; a text that starts with & is an ampersand form;
// any other is the decimal form.
template <typename T>
bool check_answer(std::string_view field, T& value, const Limits& limits) {
  value = T(0);
  if (field.size() > kMaxNumberAnswerBytes) return false;
  if (field.empty()) return true;
  if (field[0] == '&') return check_ampersand_form(field, value);
  return check_decimal_form(field, value, limits);
}

}  // namespace

bool check_single_answer(std::string_view field, float& value) {
  return check_answer(field, value, kSingleLimits);
}

bool check_double_answer(std::string_view field, double& value) {
  return check_answer(field, value, kDoubleLimits);
}

}  // namespace console
