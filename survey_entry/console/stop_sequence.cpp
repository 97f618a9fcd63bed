#include "survey_entry/console/stop_sequence.h"

#include "survey_entry/console/output_file.h"
#include "survey_entry/console/run_control.h"

namespace console {

void run_stop_sequence() {
  wait_until([] { return close_request.load(std::memory_order_acquire); });
  // The stop flag first: a routine that finds the event flag set must find
  // the stop flag set too.
  stop_flag.store(true, std::memory_order_release);
  event_pending.store(true, std::memory_order_release);
  // The statement in progress always completes: wait for the routine to stop.
  wait_until([] { return program_stopped.load(std::memory_order_acquire); });
  // After a No in the error box the error is still pending, and the
  // close-all closes nothing: the end of the process releases the file.
  close_files();
  end_process(exit_code::ended);
}

}  // namespace console
