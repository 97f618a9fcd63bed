// A run host for tests that watch one effect going up from the console (a
// screen change, the end of a pause, the error boxes): it overrides that
// one. The boxes and the end of the process are not expected there; if
// reached, they end the test process at once, so that nothing goes on as
// if the box had been answered.
#pragma once

#include <cstdlib>
#include <string>

#include "survey_entry/console/run_control.h"

namespace harness {

class UnexpectedHost : public console::RunHost {
 public:
  bool show_error_box(const std::string&, const std::string&) override { std::abort(); }
  void show_critical_box(const std::string&, const std::string&) override { std::abort(); }
  [[noreturn]] void exit_process(int) override { std::abort(); }
  [[noreturn]] void park_program_thread() override { std::abort(); }
};

}  // namespace harness
