// The program routine: the menu, the six dialogues and the end of the run.
#pragma once

namespace survey_entry {

// Runs the whole routine once on the program thread; never returns (the run
// ends in end_program or halt_program).
[[noreturn]] void survey_entry_main();

}  // namespace survey_entry
