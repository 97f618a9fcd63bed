// What becomes of the errors of every X connection of the process: the
// window's (freeglut's), the key reader's and each message box's. Xlib's
// own handlers print and call exit() from whichever thread met the error;
// these keep the run going instead, but where nothing can go on.
#pragma once

#include <X11/Xlib.h>

#include <atomic>

namespace console::window {

// Installs the process's handlers; call once, before the first connection
// is opened and before any other thread uses Xlib.
//   A protocol error (a request the server refused) is reported on the
//   standard error, once for each kind (its error code and request), and
//   the run goes on; the listener set for its connection is then called.
//   The loss of a connection ends the process at once with
//   exit_code::display_lost, saying that the connection to the display is
//   lost: nothing can be shown or typed any more. Every record written is
//   already in its file. A box's connection (open_box_connection) is only
//   marked lost instead.
void install_x_error_handlers();

// Calls listener after each protocol error reported on display, on the
// thread that met it, inside Xlib: it must not call Xlib.
void set_x_error_listener(Display* display, void (*listener)());

// Opens a connection of its own for a box, whose loss leaves the run going:
// from then on Xlib's calls on it return at once, and lost is set. nullptr
// when the display cannot be opened.
Display* open_box_connection(const char* display_name, std::atomic<bool>& lost);

// Closes a box's connection, lost or not.
void close_box_connection(Display* display);

// Ends the process as for the loss of the window's connection to the
// display named display_string.
[[noreturn]] void end_run_display_lost(const char* display_string);

}  // namespace console::window
