// Line input: reads one answer line from the keyboard into a Text value, a
// Single number or a Double number, validating it key by key and echoing it
// at the cursor.
#pragma once

#include <variant>

#include "survey_entry/console/text.h"

namespace console {

using InputTarget = std::variant<Text*, float*, double*>;

// Reads one line into target, then ends the line. Returns at once, without
// a line end, when the stop flag is set.
void input_values_from_keyboard(InputTarget target);

}  // namespace console
