#include "survey_entry/console/window/x_errors.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <new>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "survey_entry/console/error_code.h"

namespace console::window {

namespace {

// Shared by the threads that use Xlib: the window thread, the key reader
// thread and the program thread (its boxes). Xlib is never called with the
// lock held, so an error met inside Xlib (with that display locked) can
// always take it.
struct Registry {
  std::mutex mutex;
  std::vector<std::pair<Display*, void (*)()>> listeners;
  std::vector<Display*> box_connections;
  // The kinds reported: error code, major and minor request code.
  std::set<std::tuple<int, int, int>> reported;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

// Called by Xlib, which no exception may reach.
int report_x_error(Display* display, XErrorEvent* error) noexcept {
  Registry& r = registry();
  bool first = false;
  void (*listener)() = nullptr;
  {
    const std::lock_guard lock(r.mutex);
    try {
      first = r.reported.emplace(error->error_code, error->request_code, error->minor_code).second;
    } catch (const std::bad_alloc&) {
      // No memory to remember the kind by: reported again each time it
      // comes, rather than never.
      first = true;
    }
    for (const auto& [listened, call] : r.listeners) {
      if (listened == display) listener = call;
    }
  }
  if (first) {
    char text[160] = "";
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr,
                 "survey_entry: X error on the display %s: %s (request %u.%u, resource 0x%lx); "
                 "the run goes on\n",
                 DisplayString(display), text, static_cast<unsigned>(error->request_code),
                 static_cast<unsigned>(error->minor_code), error->resourceid);
    std::fflush(stderr);
  }
  if (listener != nullptr) listener();
  return 0;
}

// Xlib calls it first for a lost connection, then the connection's exit
// handler, which for a box's connection returns (the calls on it then
// return at once). For any other connection nothing can go on: end at once,
// rather than let Xlib call exit() from whichever thread noticed, running
// the process's destructors under the other threads' feet.
int connection_lost(Display* display) {
  {
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    if (std::find(r.box_connections.begin(), r.box_connections.end(), display) !=
        r.box_connections.end()) {
      return 0;
    }
  }
  end_run_display_lost(DisplayString(display));
}

void box_connection_lost(Display* /*display*/, void* lost) {
  static_cast<std::atomic<bool>*>(lost)->store(true);
}

}  // namespace

void install_x_error_handlers() {
  XSetErrorHandler(report_x_error);
  XSetIOErrorHandler(connection_lost);
}

void set_x_error_listener(Display* display, void (*listener)()) {
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  r.listeners.emplace_back(display, listener);
}

Display* open_box_connection(const char* display_name, std::atomic<bool>& lost) {
  lost.store(false);
  Display* display = XOpenDisplay(display_name);
  if (display == nullptr) return nullptr;
  XSetIOErrorExitHandler(display, box_connection_lost, &lost);
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  r.box_connections.push_back(display);
  return display;
}

void close_box_connection(Display* display) {
  // Closed while still known as a box's, so that a loss met in the close
  // is a box's too.
  XCloseDisplay(display);
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  std::erase(r.box_connections, display);
  std::erase_if(r.listeners, [display](const auto& entry) { return entry.first == display; });
}

void end_run_display_lost(const char* display_string) {
  std::fprintf(stderr, "survey_entry: the connection to the display %s is lost\n",
               display_string);
  std::fflush(nullptr);
  _exit(exit_code::display_lost);
}

}  // namespace console::window
