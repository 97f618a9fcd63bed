// The stop sequence: the end of the process once a close request comes. It
// runs for the whole run on a thread of its own, the stop thread (main()
// starts it, and so does the test harness). It sits above the run control
// and the output file, whose close-all it calls last.
#pragma once

namespace console {

// Sleeps until the close request comes, turns it into the stop flag, sleeps
// until the program-stopped mark is set, closes all files and ends the
// process with exit_code::ended. Never returns.
[[noreturn]] void run_stop_sequence();

}  // namespace console
