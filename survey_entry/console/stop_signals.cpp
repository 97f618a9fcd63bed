#include "survey_entry/console/stop_signals.h"

#include <pthread.h>

#include <thread>

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/run_control.h"

namespace console {

sigset_t stop_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
    struct sigaction action {};
    if (sigaction(signal_number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
    sigaddset(&signals, signal_number);
  }
  return signals;
}

void start_stop_signals() {
  const sigset_t signals = stop_signals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] { run_stop_signals(signals); }).detach();
}

void run_stop_signals(const sigset_t& signals) {
  bool requested = false;
  for (;;) {
    // The wait fails only with EINTR (the process was stopped and continued,
    // or traced): wait again.
    if (sigwaitinfo(&signals, nullptr) < 0) continue;
    if (!requested) {
      requested = true;
      close_request.store(true, std::memory_order_release);
    } else {
      // The statement in progress is not waited for: only the record it
      // writes may be cut, and the end of the process closes its file.
      end_process(exit_code::ended);
    }
  }
}

}  // namespace console
