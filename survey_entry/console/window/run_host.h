// The run host of the real process: error boxes as X windows of their own
// over the program window, and the end of the process.
#pragma once

#include <string>

#include "survey_entry/console/run_control.h"

namespace console::window {

class X11RunHost final : public RunHost {
 public:
  // display_name: the program window's display (nullptr: $DISPLAY);
  // window: the program window, which owns the boxes.
  X11RunHost(const char* display_name, unsigned long window);

  // Both wake the window thread (wake_program_window).
  void screen_changed() override;
  void pause_ended() override;
  bool show_error_box(const std::string& title, const std::string& text) override;
  void show_critical_box(const std::string& title, const std::string& text) override;
  // Flushes the standard streams and ends the process at once; the stop
  // sequence has closed the files already.
  [[noreturn]] void exit_process(int code) override;
  [[noreturn]] void park_program_thread() override;

 private:
  std::string display_name_;
  bool has_display_name_;
  unsigned long window_;
};

}  // namespace console::window
