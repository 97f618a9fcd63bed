#include "survey_entry/console/number_answer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr float kSingleInf = std::numeric_limits<float>::infinity();
constexpr double kDoubleInf = std::numeric_limits<double>::infinity();

// A refused text leaves +0, written as 0 in the refused rows.
struct SingleCase {
  std::string text;
  bool accepted;
  float value;
};

struct DoubleCase {
  std::string text;
  bool accepted;
  double value;
};

// head, then count zeros, then tail.
std::string with_zeros(std::string_view head, std::size_t count, std::string_view tail = "") {
  std::string text(head);
  text.append(count, '0');
  text.append(tail);
  return text;
}

const std::vector<SingleCase>& single_cases() {
  static const std::vector<SingleCase> cases = {
      // Texts that store +0 without a conversion, or that it does not take.
      {"", true, 0.0f},
      {"-", true, 0.0f},
      {"0", true, 0.0f},
      {"-0", true, 0.0f},
      {".", true, 0.0f},
      {"-.", true, 0.0f},
      {"1E", true, 0.0f},
      {"1E-", true, 0.0f},
      {"1e+", true, 0.0f},
      // Negative zero from the conversion.
      {"-0.", true, -0.0f},
      {"-.0", true, -0.0f},
      {"-0.0", true, -0.0f},
      // Ampersand forms.
      {"&", true, 0.0f},
      {"&H", true, 0.0f},
      {"&O", true, 0.0f},
      {"&HFF", true, 255.0f},
      {"&o17", true, 15.0f},
      {"&H1F", true, 31.0f},
      {"&h1f", true, 31.0f},
      {"&HFFFFFFFFFFFFFFFF", true, 18446744073709551615.0f},
      {"&HFFFFFFFFFFFFFFFFF", false, 0.0f},
      {"&O1777777777777777777777", true, 18446744073709551615.0f},
      {"&O0777777777777777777777", true, 9223372036854775807.0f},
      {"&O2000000000000000000000", false, 0.0f},
      {"&O00000000000000000000000", false, 0.0f},
      {"&O8", false, 0.0f},
      {"&HG", false, 0.0f},
      {"&B1", false, 0.0f},
      {"&-1", false, 0.0f},
      {"& ", false, 0.0f},
      {"&H1 ", false, 0.0f},
      // Decimal form and exponent letters.
      {"1E3", true, 1000.0f},
      {"1e3", true, 1000.0f},
      {"1D3", false, 0.0f},
      {"1d", false, 0.0f},
      {"1E0", true, 1.0f},
      {"1E-0", true, 1.0f},
      {"1E+5", true, 1e5f},
      {"1E05", false, 0.0f},
      {"1E00", false, 0.0f},
      {"1.5E5", true, 1.5e5f},
      {".5E5", true, 0.5e5f},
      {"1.E5", false, 0.0f},
      {"0.0E5", false, 0.0f},
      {".0E1", false, 0.0f},
      {"0.5E1", true, 5.0f},
      {"E5", false, 0.0f},
      {"-E5", false, 0.0f},
      {"1E--5", false, 0.0f},
      {"1E+-5", false, 0.0f},
      {"1E5.", false, 0.0f},
      {"1E5E", false, 0.0f},
      {"00", false, 0.0f},
      {"05", false, 0.0f},
      {"0E5", false, 0.0f},
      {"+5", false, 0.0f},
      {" ", false, 0.0f},
      {"5 ", false, 0.0f},
      {"- 5", false, 0.0f},
      {"1.2.3", false, 0.0f},
      {"--5", false, 0.0f},
      {"0x1F", false, 0.0f},
      {"-12.5", true, -12.5f},
      {"100.25", true, 100.25f},
      // Digit counts: no limit without a fraction, 8 digits with one.
      {"123456789", true, 123456789.0f},
      {"1234567.8", true, 1234567.8f},
      {"1234567.89", false, 0.0f},
      {"123456789.0", true, 123456789.0f},
      {"123456789.00", false, 0.0f},
      {".12345678", true, 0.12345678f},
      {".123456789", false, 0.0f},
      {".000012345678", true, 0.000012345678f},
      {".0000123456789", false, 0.0f},
      // Leading zeros of the fraction.
      {with_zeros(".", 43), true, 0.0f},
      {with_zeros(".", 44), false, 0.0f},
      {with_zeros("-.", 43), true, -0.0f},
      {with_zeros(".", 43, "1"), true, 1e-44f},
      // The largest values.
      {"1E38", true, 1e38f},
      {"1E39", false, 0.0f},
      {"1E42", false, 0.0f},
      {"3.4028234E38", true, std::numeric_limits<float>::max()},
      {"3.4028236E38", true, kSingleInf},
      {"-3.4028236E38", true, -kSingleInf},
      {"3.402824E38", false, 0.0f},
      {"4E38", false, 0.0f},
      {"4E3", true, 4000.0f},
      {"340282356779733661637539395458142568447", true, std::numeric_limits<float>::max()},
      {"340282356779733661637539395458142568448", true, kSingleInf},
      {"340282400000000000000000000000000000000", false, 0.0f},
      {with_zeros("1", 39), false, 0.0f},
      // The smallest values.
      {"1E-45", true, std::numeric_limits<float>::denorm_min()},
      {"1.4E-45", true, std::numeric_limits<float>::denorm_min()},
      {"1.401298E-45", true, std::numeric_limits<float>::denorm_min()},
      {"1.0E-45", false, 0.0f},
      {"1.3E-45", false, 0.0f},
      {"1E-46", false, 0.0f},
      {"-1E-45", true, -std::numeric_limits<float>::denorm_min()},
      // A whole text whose integer part alone is too large, brought back
      // by its exponent: it cannot be typed key by key.
      {with_zeros("1", 40, "E-5"), true, 1e35f},
  };
  return cases;
}

const std::vector<DoubleCase>& double_cases() {
  static const std::vector<DoubleCase> cases = {
      {"", true, 0.0},
      {"-", true, 0.0},
      {"-0", true, 0.0},
      {".", true, 0.0},
      {"-.", true, 0.0},
      {"1D", true, 0.0},
      {"1d-", true, 0.0},
      {"-0.0", true, -0.0},
      {"&HFF", true, 255.0},
      {"&HFFFFFFFFFFFFFFFF", true, 18446744073709551615.0},
      {"1D3", true, 1000.0},
      {"1d3", true, 1000.0},
      {"2.5D-1", true, 0.25},
      {"1.D3", false, 0.0},
      {"1D05", false, 0.0},
      {"1X3", false, 0.0},
      {"-12.5E-3", true, -12.5e-3},
      {"299792.458", true, 299792.458},
      {"0.1", true, 0.1},
      // 16 digits with a fraction, wherever the point stands.
      {"1234567890.123456", true, 1234567890.123456},
      {"1234567890.1234567", false, 0.0},
      {"123456789012345.6", true, 123456789012345.6},
      {".1234567890123456", true, .1234567890123456},
      {".12345678901234567", false, 0.0},
      {"12345678901234567890", true, 12345678901234567890.0},
      // Leading zeros: the field's 255 bytes stay below the double's limit.
      {with_zeros("-.", 253), true, -0.0},
      {with_zeros("0.", 237, "1234567890123456"), true, 1.234567890123456e-238},
      {with_zeros("0.", 238, "1234567890123456"), false, 0.0},  // 256 bytes
      // The largest values.
      {"1.7976931E308", true, 1.7976931e308},
      {"1.7976932E308", false, 0.0},
      {"17976931348623157E292", true, std::numeric_limits<double>::max()},
      {"17976931348623159E292", true, kDoubleInf},
      {"-17976931348623159E292", true, -kDoubleInf},
      {"1E309", false, 0.0},
      {"9E307", true, 9e307},
      // The smallest values.
      {"4.940656E-324", true, std::numeric_limits<double>::denorm_min()},
      {"5E-324", true, std::numeric_limits<double>::denorm_min()},
      {"4.9E-324", true, std::numeric_limits<double>::denorm_min()},
      {"4.8E-324", false, 0.0},
      {"1E-324", false, 0.0},
      {"1E-323", true, 1e-323},
      {"1E-99999999999", false, 0.0},
      {"1E99999999999", false, 0.0},
      // Whole digits either side of the halfway point between the largest
      // finite double and 2^1024 (a fraction allows only 16 digits).
      {"1797693134862315807E290", true, std::numeric_limits<double>::max()},
      {"1797693134862315808E290", true, kDoubleInf},
      {"-1797693134862315808E290", true, -kDoubleInf},
  };
  return cases;
}

TEST(NumberAnswer, SingleTexts) {
  for (const SingleCase& c : single_cases()) {
    float value = 7.0f;
    EXPECT_EQ(console::check_single_answer(c.text, value), c.accepted) << '"' << c.text << '"';
    EXPECT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(c.value))
        << '"' << c.text << "\" stored " << value << ", expected " << c.value;
  }
}

TEST(NumberAnswer, DoubleTexts) {
  for (const DoubleCase& c : double_cases()) {
    double value = 7.0;
    EXPECT_EQ(console::check_double_answer(c.text, value), c.accepted) << '"' << c.text << '"';
    EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(c.value))
        << '"' << c.text << "\" stored " << value << ", expected " << c.value;
  }
}

// Texts whose value is the same for both types.
struct BothCase {
  std::string text;
  bool accepted;
  double value;
};

const BothCase kBothCases[] = {
    {"", true, 0.0},
    {"-", true, 0.0},
    {"0", true, 0.0},
    {"-0", true, 0.0},
    {".", true, 0.0},
    {"-.", true, 0.0},
    {"-0.", true, -0.0},
    {"-.0", true, -0.0},
    {"-0.0", true, -0.0},
    {"&", true, 0.0},
    {"&H", true, 0.0},
    {"&O", true, 0.0},
    {"&HFF", true, 255.0},
    {"&o17", true, 15.0},
    {"1E3", true, 1000.0},
    {"1e3", true, 1000.0},
    {"0.5", true, 0.5},
    {"-12.5", true, -12.5},
    {"5.0", true, 5.0},
    {"0.", true, 0.0},
    {"1.", true, 1.0},
    {"&H1G", false, 0.0},
    {"&O9", false, 0.0},
    {"1e-", true, 0.0},
    {"1E+", true, 0.0},
    {"-1.5e", true, 0.0},
};

TEST(NumberAnswer, TextsOfBothTypes) {
  for (const BothCase& c : kBothCases) {
    float single = 7.0f;
    double dbl = 7.0;
    EXPECT_EQ(console::check_single_answer(c.text, single), c.accepted) << '"' << c.text << '"';
    EXPECT_EQ(console::check_double_answer(c.text, dbl), c.accepted) << '"' << c.text << '"';
    EXPECT_EQ(std::bit_cast<std::uint32_t>(single),
              std::bit_cast<std::uint32_t>(static_cast<float>(c.value)))
        << '"' << c.text << "\" stored " << single;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(dbl), std::bit_cast<std::uint64_t>(c.value))
        << '"' << c.text << "\" stored " << dbl;
  }
}

// Typing a number key by key passes through texts that must all be
// accepted, so that no key of it is removed.
TEST(NumberAnswer, EveryPrefixOfATypedNumberIsAccepted) {
  const std::string single_texts[] = {"-12.5E-3",     "3.4028235E38",
                                      "1.401298E-45", "&O1777777777777777777777",
                                      "-0.0000123",   "123456789.0"};
  const std::string double_texts[] = {"-12.5D-3", "1.797693134862315D308", "4.940656E-324",
                                      "&HFFFFFFFFFFFFFFFF", with_zeros(".", 240, "12")};
  for (const std::string& text : single_texts) {
    for (std::size_t length = 0; length <= text.size(); ++length) {
      float value = 0;
      EXPECT_TRUE(console::check_single_answer(text.substr(0, length), value))
          << text.substr(0, length);
    }
  }
  for (const std::string& text : double_texts) {
    for (std::size_t length = 0; length <= text.size(); ++length) {
      double value = 0;
      EXPECT_TRUE(console::check_double_answer(text.substr(0, length), value))
          << text.substr(0, length);
    }
  }
}

// The check reads only the bytes of its field: a field cut from a longer
// buffer is judged on its own bytes.
TEST(NumberAnswer, ReadsOnlyItsField) {
  const std::string buffer = "12x";
  float single = 0;
  EXPECT_TRUE(console::check_single_answer(std::string_view(buffer).substr(0, 2), single));
  EXPECT_EQ(single, 12.0f);
  const std::string longest = with_zeros("1", 255);  // 256 bytes
  double dbl = 5.0;
  EXPECT_TRUE(console::check_double_answer(std::string_view(longest).substr(0, 255), dbl));
  EXPECT_EQ(dbl, 1e254);
  EXPECT_FALSE(console::check_double_answer(longest, dbl));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(dbl), 0u);
}

}  // namespace
