#include "survey_entry/strings.h"

namespace survey_entry {

bool strings_equal(const console::Text& a, const console::Text& b) { return a == b; }

bool strings_differ(const console::Text& a, const console::Text& b) { return !strings_equal(a, b); }

}  // namespace survey_entry
