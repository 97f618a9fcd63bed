// The program window: a freeglut window that shows the text screen scaled
// to its size (640 x 400 pixels at first, then whatever size it is given),
// served on the window thread (main()'s own) for the whole process.
#pragma once

#include "survey_entry/console/window/font.h"

namespace console::window {

// Initialises freeglut with the command line, checks that the double-buffered
// display mode with depth is possible, and opens the window "Untitled" where
// it is seen whole, showing the text screen as it stands. Ends the process
// with exit_code::no_display, showing no window, when there is no display or
// the mode is not possible. Returns the X window id of the window.
unsigned long open_program_window(int& argc, char** argv, const Font& font);

// The name of the display the window is on (for the message boxes).
const char* program_display_name();

// Wakes the window's loop so that it shows a changed screen at once: the
// screen's change listener on the program thread, and the key reader thread
// at the end of a pause (any thread, cheap when called often).
void wake_program_window();

// Serves the window on the calling thread, the window thread, until the
// process ends: draws each change of the screen, blinks, and turns the close
// box into the close request (the window stays open). The window destroyed
// by another client is the window closed: the close request too, and no
// frame is drawn from then on.
[[noreturn]] void serve_program_window();

// Whether the OpenGL context offers framebuffer objects (tested when the
// window opens).
bool framebuffer_objects_supported();

}  // namespace console::window
