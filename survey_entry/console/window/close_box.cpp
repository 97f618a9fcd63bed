#include "survey_entry/console/window/close_box.h"

// Xlibint.h declares the wire-to-event hook; it also defines min and max,
// so it comes after every other header.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace console::window {

namespace {

using WireToEvent = Bool (*)(Display*, XEvent*, xEvent*);

struct WindowClose {
  Display* display = nullptr;
  Window window = 0;
  Atom wm_protocols = 0;
  Atom wm_delete_window = 0;
  void (*on_close)() = nullptr;
  void (*on_destroyed)() = nullptr;
  WireToEvent original_client_message = nullptr;
  WireToEvent original_destroy_notify = nullptr;
};

WindowClose window_close;

// Runs for every ClientMessage that Xlib reads from the server: builds the
// event as Xlib would, and drops it when it is the close message.
Bool client_message_to_event(Display* display, XEvent* event, xEvent* wire) {
  const Bool keep = window_close.original_client_message(display, event, wire);
  if (keep && display == window_close.display && event->type == ClientMessage &&
      event->xclient.window == window_close.window &&
      event->xclient.message_type == window_close.wm_protocols && event->xclient.format == 32 &&
      static_cast<Atom>(event->xclient.data.l[0]) == window_close.wm_delete_window) {
    window_close.on_close();
    return False;
  }
  return keep;
}

// Runs for every DestroyNotify that Xlib reads: the window's own is seen
// here, in the order of the window's other events, before any frame that
// the loop would draw after reading it.
Bool destroy_notify_to_event(Display* display, XEvent* event, xEvent* wire) {
  const Bool keep = window_close.original_destroy_notify(display, event, wire);
  if (keep && display == window_close.display && event->type == DestroyNotify &&
      event->xdestroywindow.window == window_close.window) {
    window_close.on_destroyed();
    return False;
  }
  return keep;
}

}  // namespace

void intercept_window_close(Display* display, Window window, void (*on_close)(),
                            void (*on_destroyed)()) {
  window_close.display = display;
  window_close.window = window;
  window_close.on_close = on_close;
  window_close.on_destroyed = on_destroyed;
  window_close.wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  window_close.wm_delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XLockDisplay(display);
  window_close.original_client_message =
      XESetWireToEvent(display, ClientMessage, client_message_to_event);
  window_close.original_destroy_notify =
      XESetWireToEvent(display, DestroyNotify, destroy_notify_to_event);
  XUnlockDisplay(display);
}

}  // namespace console::window
