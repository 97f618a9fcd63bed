// The process: makes the executable's folder the current directory, opens
// the program window and runs five threads (README.md, under Layout, has
// their table: what each owns and which shared atomics it writes):
//   window thread      main() itself: the freeglut loop, frames, close box
//   program thread     the routine, with its error and critical boxes
//   stop thread        the stop sequence, which ends the process
//   key reader thread  the X11 keys, over a connection of its own
//   signal thread      SIGTERM, SIGHUP and SIGINT, read as stop requests
#include <X11/Xlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/stop_sequence.h"
#include "survey_entry/console/stop_signals.h"
#include "survey_entry/console/text_screen.h"
#include "survey_entry/console/window/font.h"
#include "survey_entry/console/window/run_host.h"
#include "survey_entry/console/window/window.h"
#include "survey_entry/console/window/x11_keyboard.h"
#include "survey_entry/console/window/x_errors.h"
#include "survey_entry/program.h"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SURVEY_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(SURVEY_THREAD_SANITIZER)
// Mesa's software renderer is not built for the thread checker, which then
// cannot see how its worker threads synchronise; its reports from inside
// that library are not about this program.
extern "C" const char* __tsan_default_suppressions() { return "race:swrast_dri.so\n"; }
#endif

namespace {

// A launcher or a service manager may start the program with standard
// input, output or error closed. The next descriptor opened would take the
// free number, and a write to stderr (a message at start, an X error
// report) would then land in an X connection or a file. Each of 0, 1 and 2
// that is closed is opened on /dev/null, before anything else is opened,
// so that no descriptor of the program ever gets one of those numbers.
// False when /dev/null cannot be opened.
bool hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is taken, which is fd: those below it are open.
    const int opened = open("/dev/null", O_RDWR);
    if (opened == fd) continue;
    if (opened >= 0) close(opened);
    return false;
  }
  return true;
}

bool enter_executable_folder() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    std::fprintf(stderr, "survey_entry: cannot find the executable: %s\n", error.message().c_str());
    return false;
  }
  std::filesystem::current_path(executable.parent_path(), error);
  if (error) {
    std::fprintf(stderr, "survey_entry: cannot enter %s: %s\n", executable.parent_path().c_str(),
                 error.message().c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!hold_standard_descriptors()) {
    // Said only where standard error is open.
    std::fputs("survey_entry: cannot open /dev/null\n", stderr);
    return console::exit_code::start_failure;
  }
  // Mesa's software renderer starts one worker thread per core, and waking
  // them for a strip of a few rows (a cursor blink, an echoed key) costs
  // more than drawing it: unless the user has chosen a count, it draws on
  // the window thread alone. Other renderers ignore the variable. Set while
  // no other thread exists: setenv is not safe beside a thread that reads
  // the environment.
  setenv("LP_NUM_THREADS", "0", 0);
  // Then, before any thread exists: every thread inherits the block of the
  // stop signals, which only the signal thread takes.
  console::start_stop_signals();
  if (!enter_executable_folder()) return console::exit_code::start_failure;

  std::string font_error;
  static const std::optional<console::window::Font> font =
      console::window::load_psf_font(console::window::screen_font_path(), font_error);
  if (!font) {
    std::fprintf(stderr, "survey_entry: cannot read the screen font %s: %s\n",
                 console::window::screen_font_path(), font_error.c_str());
    return console::exit_code::start_failure;
  }

  // The key reader thread and the message boxes (on the program thread) use
  // Xlib beside the window thread. No X error ends the run; the loss of the
  // window's or the key reader's connection does.
  XInitThreads();
  console::window::install_x_error_handlers();
  const unsigned long window = console::window::open_program_window(argc, argv, *font);

  static console::window::X11RunHost host(console::window::program_display_name(), window);
  // Installed before any thread that uses it starts: the program thread's
  // screen changes and boxes, the key reader's end of a pause.
  console::set_run_host(&host);
  if (!console::start_x11_keyboard(window, console::window::program_display_name())) {
    // A window that takes no key could not be used, nor stopped by a key:
    // a start failure, before the menu is shown and before the program
    // thread starts. The window goes with the process.
    std::fflush(nullptr);
    _exit(console::exit_code::no_display);
  }

  std::thread([] {
    // The keyboard has reported its lock states: start the routine with an
    // empty key queue.
    while (!console::take_key().empty()) {
    }
    try {
      survey_entry::survey_entry_main();
    } catch (const std::bad_alloc&) {
      // No memory for a value or a text of the routine: the critical box
      // ends the run, rather than an abort from the escaped exception.
      console::raise_runtime_error(console::critical_error_code(console::critical_place::routine));
      console::halt_program();
    }
  }).detach();
  std::thread([] { console::run_stop_sequence(); }).detach();
  console::window::serve_program_window();
}
