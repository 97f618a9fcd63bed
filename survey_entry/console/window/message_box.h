// The modal message boxes of the run: a small top-level X window of its own,
// on a display connection of its own that lives only while the box is up,
// placed over the program window and kept above it. The calling thread waits
// for the answer; the program window goes on being served meanwhile. The
// box's layout and the rules of its buttons are box_model's; this is its
// X window.
#pragma once

#include <string>

#include "survey_entry/console/window/box_model.h"

namespace console::window {

// Shows the box with this title (WM_NAME and _NET_WM_NAME) and text (lines
// split at '\n'), and waits for the answer. Yes/No: the keys Y and N, Enter
// or Space for the focused button (Yes at first), Tab, Shift+Tab and the
// arrow keys move the focus, or a click on a button. OK: Enter, Space, Esc,
// the close box or a click. The text is also kept in the property
// _SURVEY_BOX_TEXT and the button rectangles (x, y, width, height each, in
// the order Yes, No or OK) in _SURVEY_BOX_BUTTONS, for checks from outside.
// display_name names the program window's display (nullptr: $DISPLAY) and
// owner that window (0: none). When no box can be shown, the title and text
// go to the standard error and the answer is No (OK for an OK box); so it is
// for a box dismissed without an answer: its window destroyed by another
// client, or its own connection to the display cut. When the whole display
// is gone with it, the run ends as for the loss of the window's connection.
BoxAnswer show_message_box(const char* display_name, unsigned long owner, const std::string& title,
                           const std::string& text, BoxButtons buttons);

}  // namespace console::window
