// The line input, driven as the user drives it: it runs on a program thread
// of its own while the test presses keys as the key reader thread does.
#include "survey_entry/console/line_input.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/screen.h"
#include "support/unexpected_host.h"
#include "survey_entry/console/console_testing.h"

namespace console {
namespace {

using namespace std::chrono_literals;
using support::padded;
using support::row_text;

enum class Kind { text, single, dual };

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::text:
      return "text";
    case Kind::single:
      return "single";
    case Kind::dual:
      return "double";
  }
  return "";
}

class LineInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console_reset();
    set_sleep_divisor(50);
  }

  void TearDown() override {
    if (running_.valid()) {
      stop_flag.store(true);
      running_.wait();
    }
    set_sleep_divisor(1);
    console_reset();
  }

  // Starts the line input on its own thread, into the value of the kind.
  void start(Kind kind) {
    InputTarget target = &text_;
    if (kind == Kind::single) target = &single_;
    if (kind == Kind::dual) target = &double_;
    running_ = std::async(std::launch::async, [target] { input_values_from_keyboard(target); });
  }

  // One press and release; waits for room first, so that no key is lost.
  void press(Key key) {
    while (queued_key_count() >= 15) std::this_thread::sleep_for(50us);
    key_pressed(key);
    key_released(key);
  }
  void type(std::string_view bytes) {
    for (const char byte : bytes) press(Key::byte(static_cast<std::uint8_t>(byte)));
  }

  // Waits until every key sent so far has been handled: F1, which a line
  // does not use, is taken only once the keys before it are done.
  void settle() {
    press(Key::of(NamedKey::f1));
    while (queued_key_count() > 0) std::this_thread::sleep_for(50us);
  }

  // Waits for the line input to return; false when it does not.
  bool finished() {
    const bool done = running_.wait_for(5s) == std::future_status::ready;
    if (done) running_.get();
    return done;
  }

  // Types the keys and Enter into a new line input after the prompt "P:".
  void answer(Kind kind, std::string_view keys) {
    print_text("P:", 0);
    start(kind);
    type(keys);
    type("\r");
    ASSERT_TRUE(finished());
  }

  std::future<void> running_;
  Text text_ = "old";
  float single_ = 5.0f;
  double double_ = 5.0;
};

struct LineCase {
  const char* name;
  Kind kind;
  std::string keys;   // typed before Enter
  std::string shown;  // what the screen shows after the prompt
  std::string text;   // value of a text answer
  double number;      // value of a number answer
};

TEST_F(LineInputTest, TypedLinesGiveTheirScreenAndValue) {
  const std::string bytes_27_1 = "\x1b\x01";
  const std::vector<LineCase> cases = {
      {"enter at once, text", Kind::text, "", "", "", 0},
      {"enter at once, single", Kind::single, "", "", "", 0},
      {"enter at once, double", Kind::dual, "", "", "", 0},
      {"backspace twice", Kind::text, "abc\b\b", "a", "a", 0},
      {"backspace on empty line", Kind::text, "\b\bx", "x", "x", 0},
      {"letter in a number", Kind::dual, "1x2", "12", "", 12},
      {"tab after abc", Kind::text, "abc\t", "abc     ", "abc     ", 0},
      {"tab after 8 bytes", Kind::text, "abcdefgh\t.", "abcdefgh        .", "abcdefgh        .", 0},
      {"tab in a number", Kind::dual, "12\t3", "123", "", 123},
      {"unquoted comma", Kind::text, "1,5", "15", "15", 0},
      {"quoted comma", Kind::text, "\"Vila Nova, Sul\"", "\"Vila Nova, Sul\"", "Vila Nova, Sul", 0},
      {"byte after closing quote", Kind::text, "\"ab\"c\"", "\"ab\"", "ab", 0},
      {"quote inside unquoted text", Kind::text, "a\"b\"", "a\"b\"", "a\"b\"", 0},
      {"line ends inside quotes", Kind::text, "\"ab,c", "\"ab,c", "ab,c", 0},
      {"only quotes", Kind::text, "\"\"", "\"\"", "", 0},
      {"quoted single", Kind::single, "\"25\"", "\"25\"", "", 25},
      {"comma inside quoted number", Kind::dual, "\"1,5", "\"15", "", 15},
      {"blanks kept in text", Kind::text, " a ", " a ", " a ", 0},
      {"esc and ctrl+a", Kind::text, bytes_27_1, bytes_27_1, bytes_27_1, 0},
      {"bell leaves the line", Kind::text, "a\ab", "ab", "ab", 0},
      {"ignored bytes", Kind::text,
       "a\n\x0b\x0c\x1c\x1d\x1e\x1f"
       "b",
       "ab", "ab", 0},
      {"D exponent, single", Kind::single, "1D3", "13", "", 13},
      {"D exponent, double", Kind::dual, "1D3", "1D3", "", 1000},
      {"refused key stores the line before it", Kind::single, "12x", "12", "", 12},
      {"ampersand form", Kind::dual, "&HFF", "&HFF", "", 255},
      {"plus and blank refused", Kind::dual, "+5 ", "5", "", 5},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    console_reset();
    text_ = "old";
    single_ = 5.0f;
    double_ = 5.0;
    answer(c.kind, c.keys);
    EXPECT_EQ(row_text(1), padded("P:" + c.shown));
    EXPECT_EQ(cursor_row(), 2);
    EXPECT_EQ(cursor_column(), 1);
    EXPECT_FALSE(cursor_visible());
    switch (c.kind) {
      case Kind::text:
        EXPECT_EQ(text_, c.text);
        break;
      case Kind::single:
        EXPECT_EQ(single_, static_cast<float>(c.number));
        break;
      case Kind::dual:
        EXPECT_EQ(double_, c.number);
        break;
    }
  }
}

TEST_F(LineInputTest, EveryPrefixOfANumberIsKept) {
  const std::string number = "-12.5E-3";
  for (std::size_t length = 1; length <= number.size(); ++length) {
    const std::string prefix = number.substr(0, length);
    SCOPED_TRACE(prefix);
    console_reset();
    answer(Kind::dual, prefix);
    EXPECT_EQ(row_text(1), padded("P:" + prefix));
    EXPECT_TRUE(std::isfinite(double_));
  }
  EXPECT_EQ(double_, -0.0125);
}

TEST_F(LineInputTest, NegativeZeroComesOnlyFromTheConversion) {
  answer(Kind::dual, "-0.0");
  EXPECT_EQ(double_, 0.0);
  EXPECT_TRUE(std::signbit(double_));
  console_reset();
  answer(Kind::dual, "-0");
  EXPECT_FALSE(std::signbit(double_));
}

TEST_F(LineInputTest, RefusedLetterLeavesTheScreenUnchanged) {
  print_text("Di=", 0);
  start(Kind::dual);
  type("12");
  settle();
  EXPECT_TRUE(cursor_visible());
  const ScreenCopy before = copy_screen();
  const std::uint64_t changes = screen_change_count();
  type("x");
  settle();
  EXPECT_GT(screen_change_count(), changes);  // it was echoed and redrawn
  EXPECT_EQ(copy_screen(), before);
  type("\r");
  ASSERT_TRUE(finished());
  EXPECT_EQ(double_, 12.0);
}

// Enter gives the cursor-visible flag back as it was at the start, on or off.
TEST_F(LineInputTest, EnterRestoresTheCursorFlagOfTheStart) {
  for (const bool visible_before : {false, true}) {
    SCOPED_TRACE(visible_before ? "shown before" : "hidden before");
    console_reset();
    set_cursor_visible(visible_before);
    print_text("Az=", 0);
    start(Kind::dual);
    type("1");
    settle();
    EXPECT_TRUE(cursor_visible());
    type("\r");
    ASSERT_TRUE(finished());
    EXPECT_EQ(cursor_visible(), visible_before);
  }
}

TEST_F(LineInputTest, BackspaceOnAnEmptyLineDoesNotRedraw) {
  print_text("Hi=", 0);
  start(Kind::single);
  settle();
  const std::uint64_t changes = screen_change_count();
  type("\b\b");
  settle();
  EXPECT_EQ(screen_change_count(), changes);
  type("\r");
  ASSERT_TRUE(finished());
}

// Records whether the cell in row 2, column 1 ever showed a comma.
// Looks at row 2 after each change of the screen, on the program thread
// (the line input's), as the window would show it.
class RowTwoWatcher final : public harness::UnexpectedHost {
 public:
  void screen_changed() override {
    if (screen_cell(2, 1).character == ',') comma_seen_below.store(true);
  }
  std::atomic<bool> comma_seen_below{false};
};

TEST_F(LineInputTest, AnswerEndingInColumn80AndARefusedKeyAfterIt) {
  print_text("Z =", 0);
  start(Kind::text);
  const std::string answer_bytes(77, 'x');
  type(answer_bytes);
  settle();
  EXPECT_EQ(cursor_column(), 80);
  EXPECT_TRUE(wrap_pending());
  const ScreenCopy before = copy_screen();

  RowTwoWatcher watcher;
  set_run_host(&watcher);
  type(",");
  settle();
  set_run_host(nullptr);
  EXPECT_TRUE(watcher.comma_seen_below.load());  // echoed at column 1 of the next row
  EXPECT_EQ(copy_screen(), before);
  EXPECT_EQ(cursor_row(), 1);
  EXPECT_EQ(cursor_column(), 80);
  EXPECT_TRUE(wrap_pending());

  type("\ay");  // the bell shows nothing; y still starts the next row
  settle();
  EXPECT_EQ(screen_cell(2, 1).character, 'y');
  EXPECT_EQ(cursor_row(), 2);
  EXPECT_EQ(cursor_column(), 2);
  type("\r");
  ASSERT_TRUE(finished());
  EXPECT_EQ(text_, answer_bytes + "y");
  EXPECT_EQ(cursor_row(), 3);
}

TEST_F(LineInputTest, EnterAfterAnAnswerInColumn80AddsNoEmptyRow) {
  print_text("Z =", 0);
  start(Kind::text);
  type(std::string(77, 'x'));
  type("\r");
  ASSERT_TRUE(finished());
  EXPECT_EQ(cursor_row(), 2);
  EXPECT_EQ(cursor_column(), 1);
  EXPECT_FALSE(wrap_pending());
}

TEST_F(LineInputTest, BackspaceUndoesAScroll) {
  set_text_colours(1, 3, 1, 7);
  clear_screen();
  for (int line = 1; line <= 23; ++line) print_text("line " + std::to_string(line), 1);
  print_text("Nome do Topografo  :", 0);  // row 24, 20 bytes
  start(Kind::text);
  type(std::string(60, 'n'));  // reaches column 80: no scroll yet
  settle();
  const ScreenCopy before = copy_screen();
  type("m");
  settle();
  EXPECT_EQ(row_text(1), padded("line 2"));  // scrolled
  EXPECT_EQ(screen_cell(24, 1).character, 'm');
  EXPECT_EQ(screen_cell(24, 2).attribute, attribute_of(1, 3));
  type("\b");
  settle();
  EXPECT_EQ(copy_screen(), before);
  EXPECT_EQ(row_text(1), padded("line 1"));
  type("\r");
  ASSERT_TRUE(finished());
  EXPECT_EQ(text_, std::string(60, 'n'));
}

// A redraw whose answer still runs past the bottom row scrolls the redrawn
// picture too: the new bottom row holds the rest of the answer on blanks in
// the colours in force, as the echo's own scroll left it.
TEST_F(LineInputTest, RedrawThatScrollsShowsTheScrolledScreen) {
  struct RedrawCase {
    const char* name;
    std::string keys;  // typed once the answer has scrolled the screen
  };
  const std::vector<RedrawCase> cases = {
      {"refused key", ","},
      {"backspace", "o\b"},
  };
  for (const RedrawCase& c : cases) {
    SCOPED_TRACE(c.name);
    console_reset();
    set_text_colours(14, 1, 1, 7);
    clear_screen();
    for (int line = 1; line <= 23; ++line) print_text("line " + std::to_string(line), 1);
    print_text("Nome do Observador :", 0);  // row 24, 20 bytes
    start(Kind::text);
    type(std::string(60, 'n') + "m");  // "m" goes to column 1 of a new bottom row
    settle();
    const ScreenCopy scrolled = copy_screen();
    ASSERT_EQ(row_text(24), padded("m"));
    type(c.keys);
    settle();
    EXPECT_EQ(row_text(24), padded("m"));
    EXPECT_EQ(copy_screen(), scrolled);
    type("\r");
    ASSERT_TRUE(finished());
    EXPECT_EQ(text_, std::string(60, 'n') + "m");
  }
}

TEST_F(LineInputTest, Byte256IsDropped) {
  struct LimitCase {
    Kind kind;
    std::string full;      // 255 bytes, every one accepted
    std::string after_bs;  // typed after one Backspace
    std::string text;
    double number;
  };
  const std::string zeros = "0." + std::string(253, '0');
  const std::vector<LimitCase> cases = {
      {Kind::text, std::string(252, 'a') + "\t", "c", std::string(252, 'a') + "  c", 0},
      {Kind::dual, zeros, "1", "", 1e-253},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(kind_name(c.kind));
    console_reset();
    print_text("P:", 0);
    start(c.kind);
    type(c.full);
    settle();
    const ScreenCopy full = copy_screen();
    type("1b\t");  // each dropped, without echo
    settle();
    EXPECT_EQ(copy_screen(), full);
    type("\b" + c.after_bs + "\r");
    ASSERT_TRUE(finished());
    // 2 + 255 bytes: three full rows and 17 on the fourth.
    EXPECT_EQ(screen_cell(4, 17).character, static_cast<std::uint8_t>(c.after_bs.back()));
    EXPECT_EQ(screen_cell(4, 18).character, ' ');
    EXPECT_EQ(cursor_row(), 5);
    if (c.kind == Kind::text) {
      EXPECT_EQ(text_.size(), 255u);
      EXPECT_EQ(text_, c.text);
    } else {
      EXPECT_EQ(double_, c.number);
    }
  }
}

// What a line "a" (text) or "1" (number) becomes after one more byte.
std::string expected_after(Kind kind, std::uint8_t byte) {
  const std::string start = kind == Kind::text ? "a" : "1";
  switch (byte) {
    case 7:
    case 10:
    case 11:
    case 12:
    case 28:
    case 29:
    case 30:
    case 31:
    case 127:  // reaches the line as the two-byte Delete key
      return start;
    case 8:
      return "";
    case 9:
      return kind == Kind::text ? start + std::string(7, ' ') : start;
    default:
      break;
  }
  const std::string_view number_bytes = kind == Kind::single ? "0123456789.Ee" : "0123456789.EeDd";
  const bool kept = kind == Kind::text
                        ? byte != ','
                        : number_bytes.find(static_cast<char>(byte)) != std::string_view::npos;
  return kept ? start + static_cast<char>(byte) : start;
}

TEST_F(LineInputTest, EveryByteIsKeptOrRefused) {
  for (const Kind kind : {Kind::text, Kind::single, Kind::dual}) {
    for (int value = 0; value <= 255; ++value) {
      const auto byte = static_cast<std::uint8_t>(value);
      if (byte == 13) continue;  // Enter: ends every line of this test
      SCOPED_TRACE(std::string(kind_name(kind)) + " byte " + std::to_string(value));
      console_reset();
      text_.clear();
      const std::string before = kind == Kind::text ? "a" : "1";
      answer(kind, before + static_cast<char>(byte));
      const std::string shown = expected_after(kind, byte);
      EXPECT_EQ(row_text(1), padded("P:" + shown));
      if (kind == Kind::text) {
        EXPECT_EQ(text_, shown);
        continue;
      }
      // The value of the number lines whose value is fixed: "", "1", "1." and "1d".
      double expected = 0;
      if (shown == "1" || shown == "1.") {
        expected = 1;
      } else if (shown.size() == 2 && shown[1] >= '0' && shown[1] <= '9') {
        expected = 10 + (shown[1] - '0');
      } else if (!shown.empty()) {
        continue;  // an exponent letter without digits: left to the conversion
      }
      EXPECT_EQ(kind == Kind::single ? double{single_} : double_, expected);
    }
  }
}

TEST_F(LineInputTest, TwoByteKeysAreDropped) {
  std::vector<std::vector<Key>> presses;  // modifiers first, then the key
  const std::vector<Key> modifiers = {Key::of(NamedKey::none), Key::of(NamedKey::left_shift),
                                      Key::of(NamedKey::left_ctrl), Key::of(NamedKey::left_alt)};
  for (int named = static_cast<int>(NamedKey::f1); named <= static_cast<int>(NamedKey::delete_key);
       ++named) {
    for (const Key modifier : modifiers) {
      const Key key = Key::of(static_cast<NamedKey>(named));
      if (key.named == NamedKey::f4 && modifier.named == NamedKey::left_alt) continue;  // stop
      presses.push_back({modifier, key});
    }
  }
  const Key alt = Key::of(NamedKey::left_alt);
  for (int c = 33; c <= 126; ++c) presses.push_back({alt, Key::byte(static_cast<std::uint8_t>(c))});
  presses.push_back({alt, Key::byte(8)});
  presses.push_back({Key::of(NamedKey::left_ctrl), Key::byte('2')});    // ext 3
  presses.push_back({Key::of(NamedKey::left_shift), Key::byte('\t')});  // ext 15

  for (const Kind kind : {Kind::text, Kind::dual}) {
    SCOPED_TRACE(kind_name(kind));
    console_reset();
    print_text("P:", 0);
    start(kind);
    type("7");
    settle();
    const ScreenCopy before = copy_screen();
    for (const auto& keys : presses) {
      if (keys[0].is_named()) key_pressed(keys[0]);
      press(keys[1]);
      if (keys[0].is_named()) key_released(keys[0]);
    }
    settle();
    EXPECT_EQ(copy_screen(), before);
    type("\r");
    ASSERT_TRUE(finished());
    EXPECT_EQ(row_text(1), padded("P:7"));
    if (kind == Kind::text) {
      EXPECT_EQ(text_, "7");
    } else {
      EXPECT_EQ(double_, 7.0);
    }
  }
}

TEST_F(LineInputTest, StopReturnsWithTheTypedTextAndNoLineEnd) {
  print_text("Nome do Trabalho :", 0);
  start(Kind::text);
  type("ab,c");
  settle();
  stop_flag.store(true);
  ASSERT_TRUE(finished());
  EXPECT_EQ(text_, "abc");
  EXPECT_EQ(cursor_row(), 1);
  EXPECT_EQ(cursor_column(), 19 + 3);
  EXPECT_TRUE(cursor_visible());  // left on: the run ends at once
  type("d");
  EXPECT_EQ(queued_key_count(), 1);  // nothing reads after the stop
}

TEST_F(LineInputTest, PendingErrorReadsNothing) {
  print_text("P:", 0);
  const ScreenCopy before = copy_screen();
  type("12");
  raise_runtime_error(error_code::bad_file_name_or_number);
  start(Kind::text);
  ASSERT_TRUE(finished());
  EXPECT_EQ(text_, "old");
  EXPECT_EQ(queued_key_count(), 2);
  EXPECT_FALSE(cursor_visible());
  EXPECT_EQ(copy_screen(), before);
}

TEST_F(LineInputTest, KeysTypedAheadAreTakenInOrder) {
  print_text("P:", 0);
  type("3.25\r");
  input_values_from_keyboard(&single_);
  EXPECT_EQ(single_, 3.25f);
  EXPECT_EQ(row_text(1), padded("P:3.25"));
}

}  // namespace
}  // namespace console
