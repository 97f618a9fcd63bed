#include "survey_entry/console/window/close_box.h"

// Xlibint.h declares the wire-to-event hook; it also defines min and max,
// so it comes after every other header.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace console::window {

namespace {

using WireToEvent = Bool (*)(Display*, XEvent*, xEvent*);

struct CloseBox {
  Display* display = nullptr;
  Window window = 0;
  Atom wm_protocols = 0;
  Atom wm_delete_window = 0;
  void (*on_close)() = nullptr;
  WireToEvent original = nullptr;
};

CloseBox close_box;

// Runs for every ClientMessage that Xlib reads from the server: builds the
// event as Xlib would, and drops it when it is the close message.
Bool client_message_to_event(Display* display, XEvent* event, xEvent* wire) {
  const Bool keep = close_box.original(display, event, wire);
  if (keep && display == close_box.display && event->type == ClientMessage &&
      event->xclient.window == close_box.window &&
      event->xclient.message_type == close_box.wm_protocols && event->xclient.format == 32 &&
      static_cast<Atom>(event->xclient.data.l[0]) == close_box.wm_delete_window) {
    close_box.on_close();
    return False;
  }
  return keep;
}

}  // namespace

void intercept_close_box(Display* display, Window window, void (*on_close)()) {
  close_box.display = display;
  close_box.window = window;
  close_box.on_close = on_close;
  close_box.wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  close_box.wm_delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XLockDisplay(display);
  close_box.original = XESetWireToEvent(display, ClientMessage, client_message_to_event);
  XUnlockDisplay(display);
}

}  // namespace console::window
