// Number text: the text form of a number on screen and in files. A sign
// position (space or "-"), at most 7 (single) or 16 (double) significant
// digits, no trailing fraction zeros, no "0" before the point, and an
// exponent form with E (single) or D (double) outside the fixed range.
#pragma once

#include "survey_entry/console/text.h"

namespace console {

Text single_to_text(float value);
Text double_to_text(double value);

}  // namespace console
