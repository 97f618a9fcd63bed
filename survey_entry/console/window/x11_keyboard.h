// Keys from the X server, read on a connection of their own by the key
// reader thread.
//
// The window library does not report every key the console needs (Pause,
// Break, Scroll Lock, Caps Lock, Shift+Tab), reports some with other codes
// and reports releases between auto-repeats. This layer selects the key
// events of the program's window on a second Xlib connection and turns each
// into console::key_pressed / console::key_released: a character byte in
// Latin-1 (the window system's 8-bit code page) or a named key. The Caps
// Lock and Num Lock states are followed through Xkb and reported as presses
// (state on) and releases (state off) of those keys. Dead keys and Compose
// sequences are composed with the compose table of the user's locale
// (key_compose.h): a composed character is reported as the press of the key
// that ended the sequence; the presses before it report no key.
//
// Keys may go to another window between two presses here (the focus taken
// elsewhere, or following the pointer out of the window): every key held
// is let go when the focus leaves, and each press first brings Shift, Ctrl
// and Alt (AltGr as the right Alt) in line with the modifiers that the
// server says are down at that press.
#pragma once

namespace console {

// Starts reading the keys of window (an X Window id) on a thread of its own,
// the key reader thread, over a connection of its own to display_name, the display the window was
// opened on (not $DISPLAY as such: a -display argument names another one).
// The lock states of the moment are reported on the calling thread before
// the key reader thread starts. When the display cannot be opened (the
// server refuses one more client), says so on stderr and returns false,
// starting nothing. Call once, after the window exists.
bool start_x11_keyboard(unsigned long window, const char* display_name);

}  // namespace console
