#include "survey_entry/console/wake_up.h"

namespace console {

namespace wake_detail {

std::mutex& mutex() {
  static std::mutex instance;
  return instance;
}

std::condition_variable& condition() {
  static std::condition_variable instance;
  return instance;
}

}  // namespace wake_detail

void wake_waiters() {
  // Taking the lock orders this wake-up after any wait's test that is under
  // way: that wait is either asleep by now, and woken below, or tests after
  // the change.
  { std::lock_guard lock(wake_detail::mutex()); }
  wake_detail::condition().notify_all();
}

}  // namespace console
