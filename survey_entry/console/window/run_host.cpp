#include "survey_entry/console/window/run_host.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "survey_entry/console/window/message_box.h"
#include "survey_entry/console/window/window.h"

namespace console::window {

X11RunHost::X11RunHost(const char* display_name, unsigned long window)
    : display_name_(display_name != nullptr ? display_name : ""),
      has_display_name_(display_name != nullptr),
      window_(window) {}

void X11RunHost::screen_changed() { wake_program_window(); }

// No frame is shown while a pause is on; the press that ends it wakes the
// window thread to show the screen again.
void X11RunHost::pause_ended() { wake_program_window(); }

bool X11RunHost::show_error_box(const std::string& title, const std::string& text) {
  return show_message_box(has_display_name_ ? display_name_.c_str() : nullptr, window_, title, text,
                          BoxButtons::yes_no) == BoxAnswer::yes;
}

void X11RunHost::show_critical_box(const std::string& title, const std::string& text) {
  show_message_box(has_display_name_ ? display_name_.c_str() : nullptr, window_, title, text,
                   BoxButtons::ok);
}

void X11RunHost::exit_process(int code) {
  std::fflush(nullptr);
  _exit(code);
}

void X11RunHost::park_program_thread() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace console::window
