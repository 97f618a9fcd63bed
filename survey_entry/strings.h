// Comparison of Text values as the routine's tests make it.
#pragma once

#include "survey_entry/console/text.h"

namespace survey_entry {

// True when both texts have the same length and the same bytes: no case
// folding, no trimming.
bool strings_equal(const console::Text& a, const console::Text& b);

// The negation of strings_equal: true when the texts differ in length or in
// at least one byte.
bool strings_differ(const console::Text& a, const console::Text& b);

}  // namespace survey_entry
