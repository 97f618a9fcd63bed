// The tests' seams of every console module in one include, and the reset of
// the whole console to its start state between runs of the routine.
// Included by tests and benchmarks only: the program itself uses none of it.
#pragma once

#include "survey_entry/console/console.h"
#include "survey_entry/console/keyboard_testing.h"
#include "survey_entry/console/output_file_testing.h"
#include "survey_entry/console/run_control_testing.h"
#include "survey_entry/console/text_screen_testing.h"

namespace console {

// Puts every console module back into its start state.
void console_reset();

}  // namespace console
