// A message box without its window: the places of its text lines and
// buttons, and what its keys, its pointer and its close button do (the
// focused button, the button held down, the answer). The window side turns
// its events into these inputs and draws what the model holds; nothing here
// touches the window system, so it is tested alone.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace console::window {

enum class BoxButtons { yes_no, ok };
enum class BoxAnswer { yes, no, ok };

// The answer of a box that goes without one (dismissed from outside, or
// never shown): No, or OK for an OK box.
BoxAnswer dismissed_answer(BoxButtons buttons);

// The keys a box reacts to. back_tab is Shift+Tab; y and n are the letters
// in either case; every other key is `other`.
enum class BoxKey { enter, space, tab, back_tab, left, right, up, down, y, n, escape, other };

// The font the box is drawn in: the width of a text in pixels, and the
// font's ascent and descent.
struct BoxFontMetrics {
  std::function<int(std::string_view)> text_width;
  int ascent = 0;
  int descent = 0;
};

struct BoxRect {
  int x = 0, y = 0, width = 0, height = 0;

  bool contains(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
  bool operator==(const BoxRect&) const = default;
};

// A text line and where its baseline starts.
struct BoxTextLine {
  std::string text;
  int x = 0, baseline = 0;
};

struct BoxButton {
  BoxAnswer answer;
  std::string_view label;
  BoxRect rect;
  int label_x = 0, label_baseline = 0;  // the label, centred in the button
};

// The box's size and its parts, in the box's own pixels: the text lines
// (the text split at '\n') from the top left, under them the buttons (Yes
// and No, or OK) centred in a row at the bottom. The box is at least 240
// pixels wide and a button at least 75.
struct BoxLayout {
  int width = 0, height = 0;
  std::vector<BoxTextLine> lines;
  std::vector<BoxButton> buttons;
};

BoxLayout lay_out_box(std::string_view text, BoxButtons buttons, const BoxFontMetrics& metrics);

// What one input gave: the answer that ends the box, if any, and whether
// the box must be drawn again (its focus or its held button may have
// changed).
struct BoxOutcome {
  std::optional<BoxAnswer> answer;
  bool redraw = false;

  bool operator==(const BoxOutcome&) const = default;
};

// The rules of the buttons. The first button (Yes or OK) has the focus at
// first. Enter and Space answer with the focused button; Tab, Right and
// Down move the focus to the next button, Shift+Tab, Left and Up to the one
// before, round the row. Y and N answer Yes and No in a Yes/No box, Esc OK
// in an OK box. A press of the pointer's first button on a button holds it
// down and gives it the focus; the release answers with that button only
// when it comes on the same button (a press dragged off it, onto another
// button or outside, gives nothing).
class BoxModel {
 public:
  BoxModel(std::string_view text, BoxButtons buttons, const BoxFontMetrics& metrics);

  const BoxLayout& layout() const { return layout_; }
  // Index in layout().buttons of the focused button, and of the button held
  // down (none: -1).
  int focused() const { return focus_; }
  int held() const { return held_; }

  BoxOutcome key(BoxKey key);
  BoxOutcome press(int x, int y);
  BoxOutcome release(int x, int y);

  // The box's close button: nothing in a Yes/No box, as it has no Cancel;
  // OK in an OK box.
  std::optional<BoxAnswer> close_button() const;
  BoxAnswer dismissed() const { return dismissed_answer(kind_); }

 private:
  int button_at(int x, int y) const;
  BoxOutcome move_focus(int step);

  BoxButtons kind_;
  BoxLayout layout_;
  int focus_ = 0;
  int held_ = -1;
};

}  // namespace console::window
