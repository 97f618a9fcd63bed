// The two ways the program window is closed from outside: its close box
// (the window manager's WM_DELETE_WINDOW) and its destruction by another
// client (xdotool windowclose, xkill-like tools, a window manager that
// gives up on a window). freeglut's own handling of WM_DELETE_WINDOW
// destroys the window (and its main loop then returns), and its handling
// of the window's end is its own; so both events are taken off freeglut's
// display connection, as Xlib reads them and before freeglut sees them,
// and turned into calls of the caller's own.
#pragma once

#include <X11/Xlib.h>

namespace console::window {

// From now on, on display (read by the calling thread, which owns it):
//   every WM_DELETE_WINDOW for window calls on_close and is dropped;
//   the DestroyNotify of window (freeglut selects StructureNotifyMask on
//   its window, so the server sends it there) calls on_destroyed and is
//   dropped.
// Both are called inside Xlib, with the display locked: they must not call
// Xlib. Call once, on the window thread.
void intercept_window_close(Display* display, Window window, void (*on_close)(),
                            void (*on_destroyed)());

}  // namespace console::window
