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
  // wait. Two-byte keys and empty takes are dropped. False on a stop request.
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
  // puts it on the visible screen in one step, so the window thread never
  // shows the answer half drawn; a scroll caused by the removed byte is
  // undone.
  void remove_last_byte() {
    if (line_.empty()) return;
    line_.pop_back();
    work_ = entry_;
    // The answer holds glyph bytes only (the keys 7 to 13 and 28 to 31 never
    // get into it). Its echo printed it byte by byte; printed whole into the
    // copy it gives the same picture, a glyph in column 80 and a scroll alike.
    print_into(work_, line_);
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
