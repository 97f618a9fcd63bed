// The program routine: the menu, the six dialogues and the end of the run.
#pragma once

#include "survey_entry/program_values.h"

namespace survey_entry {

// Runs the whole routine once on the program thread; never returns (the run
// ends in end_program or halt_program).
[[noreturn]] void survey_entry_main();

// Statements 1 to 31: the menu screen (leaves inner_counter at 6).
void draw_menu(ProgramValues& v);

// The end of the program: close-all, "Press any key to continue" on row 25,
// the keys typed ahead discarded, one key awaited, then the stop.
[[noreturn]] void end_program();

}  // namespace survey_entry
