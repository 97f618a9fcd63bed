// The desktop's stop requests: SIGTERM (the session ends), SIGHUP (the
// terminal the program was started from goes away) and SIGINT (Ctrl+C in
// that terminal). They take the road of the window's close box: the first
// one raises the close request, and the stop sequence ends the run at the
// end of the statement in progress. A second one, while the first is still
// being carried out, ends the process at once, so that an ending session is
// never held up by an error box waiting for its answer or by a write that
// blocks; every record finished before it is already on the disk.
//
// No signal handler runs: the stop signals are blocked on every thread and
// read by a thread of their own, the signal thread. Every other signal
// (SIGQUIT among them) keeps the action the process was started with.
#pragma once

#include <signal.h>

namespace console {

// The stop signals of this process: SIGTERM, SIGHUP and SIGINT, less those
// it was started with ignored. Whoever started it asked for that (nohup
// ignores SIGHUP, a shell ignores SIGINT in a job it starts in the
// background), and they stay ignored.
sigset_t stop_signals();

// Blocks the stop signals on the calling thread and starts the signal
// thread. main() calls it first, before any other thread exists, so that
// every thread started afterwards (the libraries' own ones too) inherits the
// block and a stop signal waits, pending, until the signal thread takes it.
void start_stop_signals();

// The signal thread's loop: takes the signals of the set one at a time
// (sigwaitinfo). The first raises the close request; the next ends the
// process through the run host with exit_code::ended. It touches neither
// the file table nor anything else of the program thread. The signals must
// be blocked on the calling thread. Never returns.
[[noreturn]] void run_stop_signals(const sigset_t& signals);

}  // namespace console
