// Line input: one answer line typed at the cursor, echoed key by key and
// checked after every change. A key that makes the line invalid is removed
// again at once by redrawing the screen as it stood when the input began,
// with the rest of the answer printed after the prompt.
#include "survey_entry/console/line_input.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/number_answer.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/text_screen.h"

namespace console {
namespace {

// An answer holds at most this many bytes; further keys are dropped.
constexpr std::size_t max_answer_bytes = 255;

constexpr std::uint8_t key_bell = 7;
constexpr std::uint8_t key_backspace = 8;
constexpr std::uint8_t key_tab = 9;
constexpr std::uint8_t key_enter = 13;

// Splits the answer line at commas outside double quotes and yields its only
// field, quotes removed. False when the line is invalid for one value: a
// second field, or a byte after the closing quote.
bool single_field(std::string_view line, std::string& field) {
  enum class Quote { none, open, closed };
  Quote quote = Quote::none;
  bool field_start = true;
  field.clear();
  for (const char byte : line) {
    if (byte == ',' && quote != Quote::open) return false;  // a second field
    if (byte == '"' && field_start) {
      quote = Quote::open;
      field_start = false;
    } else if (byte == '"' && quote == Quote::open) {
      quote = Quote::closed;
    } else if (quote == Quote::closed) {
      return false;
    } else {
      field.push_back(byte);
      field_start = false;
    }
  }
  return true;
}

// The cell index of a row and column (both counted from 1) in a screen copy.
constexpr std::size_t cell_index(int row, int column) {
  return static_cast<std::size_t>((row - 1) * screen_columns + (column - 1));
}

// Ends the line in a screen copy, scrolling its text window as the screen's
// own line end does: the bottom row comes back blank in the given attribute.
void copy_line_end(ScreenCopy& screen, std::uint8_t attribute) {
  const int window_top = text_window_top();
  const int window_bottom = text_window_bottom();
  screen.cursor_column = 1;
  ++screen.cursor_row;
  if (screen.cursor_row <= window_bottom) return;
  for (int row = window_top; row < window_bottom; ++row) {
    for (int column = 1; column <= screen_columns; ++column) {
      screen.cells[cell_index(row, column)] = screen.cells[cell_index(row + 1, column)];
    }
  }
  for (int column = 1; column <= screen_columns; ++column) {
    screen.cells[cell_index(window_bottom, column)] = Cell{' ', attribute};
  }
  screen.cursor_row = window_bottom;
}

// Prints one glyph byte into a screen copy as print_text prints a text of
// that one byte without a line end: a pending wrap first ends the row, and a
// glyph written in column 80 leaves the wrap pending. An answer line holds
// only glyph bytes (7 to 13 and 28 to 31 never get into it).
void copy_print_glyph(ScreenCopy& screen, std::uint8_t byte, std::uint8_t attribute) {
  if (screen.wrap_pending) {
    screen.wrap_pending = false;
    copy_line_end(screen, attribute);
  }
  screen.cells[cell_index(screen.cursor_row, screen.cursor_column)] = Cell{byte, attribute};
  if (screen.cursor_column == screen_columns) {
    screen.wrap_pending = true;
  } else {
    ++screen.cursor_column;
  }
}

class LineInput {
 public:
  explicit LineInput(InputTarget target) : target_(target) { line_.reserve(max_answer_bytes + 1); }

  void run() {
    entry_ = copy_screen();
    const bool cursor_was_visible = cursor_visible();
    set_cursor_visible(true);
    clear_value();
    check();  // the empty line: the value becomes empty text or 0
    for (;;) {
      std::uint8_t key = 0;
      if (!wait_for_key(key)) return;  // stop request: no line end
      switch (key) {
        case key_bell:
          print_text(Text(1, static_cast<char>(key_bell)), 0);
          break;
        case 10:  // line feed, vertical tab, form feed and the cursor bytes do nothing here
        case 11:
        case 12:
        case 28:
        case 29:
        case 30:
        case 31:
          break;
        case key_tab:
          tab_spaces_ = static_cast<int>(8 - line_.size() % 8);
          break;
        case key_enter:
          print_text(Text(), 1);
          set_cursor_visible(cursor_was_visible);
          return;
        case key_backspace:
          remove_last_byte();
          break;
        default:
          type_byte(key);
          break;
      }
    }
  }

 private:
  // Waits for a key of one byte, taking pending Tab spaces first without a
  // wait. Two-byte keys and empty polls are dropped. False on a stop request.
  bool wait_for_key(std::uint8_t& key) {
    for (;;) {
      bool taken = false;
      if (tab_spaces_ > 0) {
        --tab_spaces_;
        key = ' ';
        taken = true;
      } else {
        wait_for_key_or_stop();
        const Text text = take_key();
        if (text.size() == 1) {
          key = static_cast<std::uint8_t>(text[0]);
          taken = true;
        }
      }
      if (stop_flag.load()) return false;
      if (taken) return true;
    }
  }

  void type_byte(std::uint8_t key) {
    if (line_.size() >= max_answer_bytes) return;  // dropped without echo
    line_.push_back(static_cast<char>(key));
    print_text(Text(1, static_cast<char>(key)), 0);
    if (!check()) remove_last_byte();
  }

  // Drops the last byte of the answer line and redraws the answer over the
  // screen as it stood at the start. Builds the picture in the work copy and
  // puts it on the visible screen in one step, so the display never shows
  // the answer half drawn; a scroll caused by the removed byte is undone.
  void remove_last_byte() {
    if (line_.empty()) return;
    line_.pop_back();
    work_ = entry_;
    const std::uint8_t attribute = attribute_of(foreground_colour(), background_colour());
    for (const char byte : line_) {
      copy_print_glyph(work_, static_cast<std::uint8_t>(byte), attribute);
    }
    restore_screen(work_);
    check();  // a prefix of an accepted line: it passes and stores its value
  }

  void clear_value() {
    if (auto* text = std::get_if<Text*>(&target_)) {
      (*text)->clear();
    } else if (auto* single = std::get_if<float*>(&target_)) {
      **single = 0.0f;
    } else {
      **std::get_if<double*>(&target_) = 0.0;
    }
  }

  // Checks the answer line and stores its value. False when it is invalid.
  bool check() {
    if (!single_field(line_, field_)) return false;
    if (auto* text = std::get_if<Text*>(&target_)) {
      **text = field_;
      return true;
    }
    if (auto* single = std::get_if<float*>(&target_)) return check_single_answer(field_, **single);
    return check_double_answer(field_, **std::get_if<double*>(&target_));
  }

  InputTarget target_;
  std::string line_;   // the answer line as it stands on the screen
  std::string field_;  // its field, quotes removed
  int tab_spaces_ = 0;
  ScreenCopy entry_{};
  ScreenCopy work_{};
};

}  // namespace

void input_values_from_keyboard(InputTarget target) {
  if (error_pending()) return;  // reads nothing; the check after the statement reports it
  try {
    LineInput input(target);
    input.run();
  } catch (const std::bad_alloc&) {
    // No memory for the answer or its value: the critical box ends the run.
    raise_runtime_error(critical_error_code(critical_place::line_input));
  }
}

}  // namespace console
