// Number text: the text form of a number on screen and in files. A sign
// position (space or "-"), at most 7 (single) or 16 (double) significant
// digits, no trailing fraction zeros, no "0" before the point, and an
// exponent form with E (single) or D (double) outside the fixed range.
//
// The text carries no trailing space; the caller adds one. Zero and
// negative zero give " 0". A double whose 16th significant digit would be
// 9 is shown with 15 digits. Values that no number answer can produce as a
// finite number have texts of their own: positive infinity gives " INF",
// negative infinity "-INF", and every NaN " NAN".
#pragma once

#include "survey_entry/console/text.h"

namespace console {

Text single_to_text(float value);
Text double_to_text(double value);

}  // namespace console
