#include "survey_entry/console/number_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

struct BothCase {
  float single;
  double dbl;
  const char* single_text;
  const char* double_text;
};

// Values given to both types; each literal is the nearest number of its type.
const BothCase kBothCases[] = {
    {0.0f, 0.0, " 0", " 0"},
    {-0.0f, -0.0, " 0", " 0"},
    {1.0f, 1.0, " 1", " 1"},
    {-1.0f, -1.0, "-1", "-1"},
    {0.5f, 0.5, " .5", " .5"},
    {-0.25f, -0.25, "-.25", "-.25"},
    {0.1f, 0.1, " .1", " .1"},
    {1.0f / 3.0f, 1.0 / 3.0, " .3333333", " .3333333333333333"},
    {123.456f, 123.456, " 123.456", " 123.456"},
    {1000000.0f, 1000000.0, " 1000000", " 1000000"},
    {1234567.0f, 1234567.0, " 1234567", " 1234567"},
    {12345678.0f, 12345678.0, " 1.234568E+07", " 12345678"},
    {10000000.0f, 10000000.0, " 1E+07", " 10000000"},
    {0.0000001f, 0.0000001, " .0000001", " .0000001"},
    {0.00000001f, 0.00000001, " 1E-08", " .00000001"},
    {0.0000015f, 0.0000015, " .0000015", " .0000015"},
    {0.00000015f, 0.00000015, " 1.5E-07", " .00000015"},
    {0.01234567f, 0.01234567, " 1.234567E-02", " .01234567"},
    {std::numeric_limits<float>::infinity(), std::numeric_limits<double>::infinity(), " INF",
     " INF"},
    {-std::numeric_limits<float>::infinity(), -std::numeric_limits<double>::infinity(), "-INF",
     "-INF"},
    {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN(), " NAN",
     " NAN"},
    {-std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(), " NAN",
     " NAN"},
};

TEST(NumberText, ValuesOfBothTypes) {
  for (const BothCase& c : kBothCases) {
    EXPECT_EQ(console::single_to_text(c.single), c.single_text) << "single " << c.single;
    EXPECT_EQ(console::double_to_text(c.dbl), c.double_text) << "double " << c.dbl;
  }
}

struct SingleCase {
  float value;
  const char* text;
};

const SingleCase kSingleCases[] = {
    {std::numeric_limits<float>::max(), " 3.402823E+38"},
    {-std::numeric_limits<float>::max(), "-3.402823E+38"},
    {std::numeric_limits<float>::denorm_min(), " 1.401298E-45"},
    {16777216.0f, " 1.677722E+07"},
    {9999999.0f, " 9999999"},
    {0.1234567f, " .1234567"},
    // The 7th digit 9 stays: 0.99999988...
    {0.9999999f, " .9999999"},
    // The largest single below 1, 0.99999994...
    {0.99999994f, " .9999999"},
    {-0.00000001f, "-1E-08"},
    {1.5e-30f, " 1.5E-30"},
};

TEST(NumberText, Singles) {
  for (const SingleCase& c : kSingleCases) {
    EXPECT_EQ(console::single_to_text(c.value), c.text) << c.value;
  }
}

struct DoubleCase {
  double value;
  const char* text;
};

const DoubleCase kDoubleCases[] = {
    {1.0 / 7.0, " .1428571428571428"},
    {100.25, " 100.25"},
    {-12.5, "-12.5"},
    {299792.458, " 299792.458"},
    {1234567890123456.0, " 1234567890123456"},
    {12345678901234567.0, " 1.234567890123457D+16"},
    {1e15, " 1000000000000000"},
    {1e16, " 1D+16"},
    {1e-16, " .0000000000000001"},
    {1.5e-16, " 1.5D-16"},
    {-1.5e-16, "-1.5D-16"},
    {1e-17, " 1D-17"},
    {0.01234567890123456, " 1.234567890123456D-02"},
    {1e100, " 1D+100"},
    {std::numeric_limits<double>::max(), " 1.797693134862316D+308"},
    {std::numeric_limits<double>::denorm_min(), " 4.940656458412465D-324"},
    {std::numeric_limits<double>::min(), " 2.225073858507201D-308"},
    // A 16th digit 9 rounds the value to 15 digits.
    {0.7999999999999999, " .8"},
    {1.234567890123459, " 1.23456789012346"},
    {9.999999999999999, " 9.999999999999998"},  // stored 9.99999999999999822...
    {0.9999999999999999, " 1"},
    {0.09999999999999999, " .1"},
    {9.999999999999999e-17, " .0000000000000001"},
    {9.999999999999999e-18, " 1D-17"},
    {-0.9999999999999999, "-1"},
    // With 16 integer digits the 16th-digit-9 rounding falls on the tens:
    // the text keeps 15 significant digits and a 0 in the units place.
    {7457727994171769.0, " 7457727994171770"},
    {-1234567890123459.0, "-1234567890123460"},
    {1234567890123458.0, " 1234567890123458"},
};

TEST(NumberText, Doubles) {
  for (const DoubleCase& c : kDoubleCases) {
    EXPECT_EQ(console::double_to_text(c.value), c.text) << c.value;
  }
}

}  // namespace
