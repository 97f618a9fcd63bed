// Comparison of Text values as the routine's tests make it.
#pragma once

#include "survey_entry/console/text.h"

namespace survey_entry {

// True when both texts have the same length and the same bytes: no case
// folding, no trimming.
bool strings_equal(const console::Text& a, const console::Text& b);

}  // namespace survey_entry
