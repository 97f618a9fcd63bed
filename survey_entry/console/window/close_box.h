// The close box of the program window. freeglut's own handling of the
// window manager's WM_DELETE_WINDOW destroys the window (and its main loop
// then returns), so the message is taken off freeglut's display connection
// before freeglut sees it and turned into a call of the caller's own.
#pragma once

#include <X11/Xlib.h>

namespace console::window {

// From now on every WM_DELETE_WINDOW for window read on display calls
// on_close (inside Xlib, with the display locked: it must not call Xlib) and
// is then dropped. Call once, on the window thread, which owns the display.
void intercept_close_box(Display* display, Window window, void (*on_close)());

}  // namespace console::window
