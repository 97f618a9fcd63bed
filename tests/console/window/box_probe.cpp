// Shows one message box of the window layer, with no program window, and
// prints its answer ("yes", "no" or "ok"): box_probe yes_no|ok. The X
// error handlers are the program's, so a lost display ends it as it ends
// the program.
#include <X11/Xlib.h>

#include <cstdio>
#include <string>

#include "survey_entry/console/window/message_box.h"
#include "survey_entry/console/window/x_errors.h"

int main(int argc, char** argv) {
  using console::window::BoxAnswer;
  using console::window::BoxButtons;
  const bool ok_box = argc > 1 && std::string(argv[1]) == "ok";
  XInitThreads();
  console::window::install_x_error_handlers();
  const BoxAnswer answer = console::window::show_message_box(
      nullptr, 0, "Probe box", "A line\nAnother line", ok_box ? BoxButtons::ok : BoxButtons::yes_no);
  std::puts(answer == BoxAnswer::yes ? "yes" : answer == BoxAnswer::no ? "no" : "ok");
  return 0;
}
