// The text screen and its print operations.
//
// Every field that the window thread reads lives in a relaxed atomic, so it
// may read while the program thread writes without a lock. A frame may show
// an operation half done; once the operation is complete, the change count
// is bumped (release) and the run host is told (screen_changed), which wakes
// the window thread to show the newer picture.

#include "survey_entry/console/text_screen.h"

#include <algorithm>
#include <cstddef>

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/text_screen_testing.h"

namespace console {

const std::array<Rgb, 16> palette = {{
    {0x00, 0x00, 0x00},  // black
    {0x00, 0x00, 0xAA},  // blue
    {0x00, 0xAA, 0x00},  // green
    {0x00, 0xAA, 0xAA},  // cyan
    {0xAA, 0x00, 0x00},  // red
    {0xAA, 0x00, 0xAA},  // magenta
    {0xAA, 0x55, 0x00},  // brown
    {0xAA, 0xAA, 0xAA},  // light grey
    {0x55, 0x55, 0x55},  // dark grey
    {0x55, 0x55, 0xFF},  // light blue
    {0x55, 0xFF, 0x55},  // light green
    {0x55, 0xFF, 0xFF},  // light cyan
    {0xFF, 0x55, 0x55},  // light red
    {0xFF, 0x55, 0xFF},  // light magenta
    {0xFF, 0xFF, 0x55},  // yellow
    {0xFF, 0xFF, 0xFF},  // white
}};

namespace {

constexpr std::size_t cell_count = ScreenCells().size();
constexpr std::uint8_t space_byte = 32;
constexpr std::uint32_t start_foreground = 7;
constexpr std::uint32_t start_background = 0;
constexpr int start_window_top = 1;
constexpr int start_window_bottom = 24;

constexpr std::uint16_t pack(std::uint8_t character, std::uint8_t attribute) {
  return static_cast<std::uint16_t>(character | (attribute << 8));
}
constexpr Cell unpack(std::uint16_t packed) {
  return Cell{static_cast<std::uint8_t>(packed & 0xFFu), static_cast<std::uint8_t>(packed >> 8)};
}

struct Screen {
  // Shared with the window thread.
  std::array<std::atomic<std::uint16_t>, cell_count> cells;
  std::atomic<int> cursor_row{1};
  std::atomic<int> cursor_column{1};
  std::atomic<bool> cursor_visible{false};
  std::atomic<bool> wrap_pending{false};
  std::atomic<std::uint32_t> foreground{start_foreground};
  std::atomic<std::uint32_t> background{start_background};
  std::atomic<std::uint64_t> change_count{0};

  // Program thread only.
  int window_top = start_window_top;
  int window_bottom = start_window_bottom;
  int batch_depth = 0;   // nesting of the operations now running
  bool changed = false;  // something visible changed since the last publish

  Screen() {
    for (auto& cell : cells) {
      cell.store(pack(space_byte, attribute_of(start_foreground, start_background)),
                 std::memory_order_relaxed);
    }
  }
};

Screen& screen() {
  static Screen instance;
  return instance;
}

constexpr auto relaxed = std::memory_order_relaxed;

// Tells the window thread about the changes made so far: one bump of the
// change count, then the run host.
void publish() {
  Screen& s = screen();
  if (!s.changed) return;
  s.changed = false;
  s.change_count.fetch_add(1, std::memory_order_release);
  run_host().screen_changed();
}

// Held by every public operation that may change the screen. Operations call
// each other (print_text calls line_end and clear_screen, print_zone_tab calls
// print_text), so only the outermost one publishes: one bump per operation,
// not one per byte.
class ChangeBatch {
 public:
  ChangeBatch() { ++screen().batch_depth; }
  ~ChangeBatch() {
    if (--screen().batch_depth == 0) publish();
  }
  ChangeBatch(const ChangeBatch&) = delete;
  ChangeBatch& operator=(const ChangeBatch&) = delete;
};

std::uint8_t current_attribute() {
  const Screen& s = screen();
  return attribute_of(s.foreground.load(relaxed), s.background.load(relaxed));
}

void put_cell(int row, int column, std::uint8_t character, std::uint8_t attribute) {
  Screen& s = screen();
  s.cells[cell_index(row, column)].store(pack(character, attribute), relaxed);
  s.changed = true;
}

void move_cursor(int row, int column) {
  Screen& s = screen();
  if (s.cursor_row.load(relaxed) != row) {
    s.cursor_row.store(row, relaxed);
    s.changed = true;
  }
  if (s.cursor_column.load(relaxed) != column) {
    s.cursor_column.store(column, relaxed);
    s.changed = true;
  }
}

void fill_row(int row, std::uint8_t attribute) {
  for (int column = 1; column <= screen_columns; ++column) {
    put_cell(row, column, space_byte, attribute);
  }
}

// The print rules of a glyph, a row end, the scroll and a pending wrap act
// on a target: the screen itself, or a copy of it (print_into). Both give
// the rules the cells, the cursor and the pending wrap; the text window and
// the colours are the screen's, those in force.
class OnScreen {
 public:
  Cell cell(int row, int column) const {
    return unpack(screen().cells[cell_index(row, column)].load(relaxed));
  }
  void set_cell(int row, int column, Cell cell) {
    put_cell(row, column, cell.character, cell.attribute);
  }
  int row() const { return screen().cursor_row.load(relaxed); }
  int column() const { return screen().cursor_column.load(relaxed); }
  void move_to(int row, int column) { move_cursor(row, column); }
  bool wrap_pending() const { return screen().wrap_pending.load(relaxed); }
  void set_wrap_pending(bool pending) { screen().wrap_pending.store(pending, relaxed); }
};

class OnCopy {
 public:
  explicit OnCopy(ScreenCopy& copy) : copy_(copy) {}
  Cell cell(int row, int column) const { return copy_.cells[cell_index(row, column)]; }
  void set_cell(int row, int column, Cell cell) { copy_.cells[cell_index(row, column)] = cell; }
  int row() const { return copy_.cursor_row; }
  int column() const { return copy_.cursor_column; }
  void move_to(int row, int column) {
    copy_.cursor_row = row;
    copy_.cursor_column = column;
  }
  bool wrap_pending() const { return copy_.wrap_pending; }
  void set_wrap_pending(bool pending) { copy_.wrap_pending = pending; }

 private:
  ScreenCopy& copy_;
};

// Moves the rows below the window top up by one and blanks the bottom row in
// the colours in force. Rows outside the window are not touched.
template <class Target>
void scroll_window(Target& target) {
  const Screen& s = screen();
  for (int row = s.window_top + 1; row <= s.window_bottom; ++row) {
    for (int column = 1; column <= screen_columns; ++column) {
      target.set_cell(row - 1, column, target.cell(row, column));
    }
  }
  const Cell blank{space_byte, current_attribute()};
  for (int column = 1; column <= screen_columns; ++column) {
    target.set_cell(s.window_bottom, column, blank);
  }
}

// Moves the cursor to column 1 of the next row; below the window's bottom
// row the window scrolls and the cursor stays on its bottom row.
template <class Target>
void end_row(Target& target) {
  const int bottom = screen().window_bottom;
  int row = target.row() + 1;
  if (row > bottom) {
    scroll_window(target);
    row = bottom;
  }
  target.move_to(row, 1);
}

// A pending wrap at the start of a print: a text with bytes ends the row
// first; an empty text with a line end only drops the wrap (the line end
// ends the row); an empty text without one leaves it pending.
template <class Target>
void start_print(Target& target, bool text_empty, bool line_end_wanted) {
  if (!target.wrap_pending()) return;
  if (!text_empty) {
    target.set_wrap_pending(false);
    end_row(target);
  } else if (line_end_wanted) {
    target.set_wrap_pending(false);
  }
}

// Writes one glyph at the cursor and advances it. Past column 80 the glyph
// either leaves a wrap pending (when it is the last byte of a print without
// line end) or ends the row at once. Returns true when it ended the row.
template <class Target>
bool put_glyph(Target& target, std::uint8_t byte, bool last_byte, bool line_end_wanted) {
  const int row = target.row();
  const int column = target.column();
  target.set_cell(row, column, Cell{byte, current_attribute()});
  if (column < screen_columns) {
    target.move_to(row, column + 1);
    return false;
  }
  if (last_byte && !line_end_wanted) {
    target.set_wrap_pending(true);
    return false;
  }
  end_row(target);
  return true;
}

// Byte 9: spaces up to the next column of the form 8k + 1, at least one.
bool put_tab(bool last_byte, bool line_end_wanted) {
  OnScreen target;
  bool ended_row = false;
  int column_before = 0;
  do {
    column_before = target.column();
    ended_row = put_glyph(target, space_byte, last_byte, line_end_wanted);
  } while (column_before % 8 != 0);
  return ended_row;
}

void cursor_right() {
  const Screen& s = screen();
  const int row = s.cursor_row.load(relaxed);
  const int column = s.cursor_column.load(relaxed);
  if (row < s.window_bottom) {
    if (column < screen_columns) {
      move_cursor(row, column + 1);
    } else {
      move_cursor(row + 1, 1);
    }
  } else if (column < screen_columns) {
    move_cursor(row, column + 1);
  }
}

void cursor_left() {
  const Screen& s = screen();
  const int row = s.cursor_row.load(relaxed);
  const int column = s.cursor_column.load(relaxed);
  if (column > 1) {
    move_cursor(row, column - 1);
  } else if (row > s.window_top && row <= s.window_bottom) {
    move_cursor(row - 1, screen_columns);
  }
}

void cursor_up() {
  const Screen& s = screen();
  const int row = s.cursor_row.load(relaxed);
  if (row > s.window_top && row <= s.window_bottom) {
    move_cursor(row - 1, s.cursor_column.load(relaxed));
  }
}

void cursor_down() {
  const Screen& s = screen();
  const int row = s.cursor_row.load(relaxed);
  if (row >= s.window_top && row < s.window_bottom) {
    move_cursor(row + 1, s.cursor_column.load(relaxed));
  }
}

// Byte 7. There is no sound device on this platform, so the bell is silent;
// what remains is the 250 ms hold of the routine. What was printed before the
// bell is shown first. A stop cuts the hold short: the run ends at the next
// test of the stop flag anyway.
void bell() {
  publish();
  wait_until([] { return stop_flag.load(std::memory_order_acquire); }, deadline_after_ms(250));
}

}  // namespace

Cell screen_cell(int row, int column) {
  if (row < 1 || row > screen_rows || column < 1 || column > screen_columns) return Cell{0, 0};
  return OnScreen().cell(row, column);
}

int cursor_row() { return screen().cursor_row.load(relaxed); }
int cursor_column() { return screen().cursor_column.load(relaxed); }
bool cursor_visible() { return screen().cursor_visible.load(relaxed); }
bool wrap_pending() { return screen().wrap_pending.load(relaxed); }
std::uint32_t foreground_colour() { return screen().foreground.load(relaxed); }
std::uint32_t background_colour() { return screen().background.load(relaxed); }
std::uint64_t screen_change_count() {
  return screen().change_count.load(std::memory_order_acquire);
}
int text_window_top() { return screen().window_top; }
int text_window_bottom() { return screen().window_bottom; }

void clear_screen() {
  if (error_pending()) return;
  ChangeBatch batch;
  Screen& s = screen();
  const std::uint8_t attribute = current_attribute();
  for (int row = 1; row <= screen_rows; ++row) fill_row(row, attribute);
  s.wrap_pending.store(false, relaxed);
  move_cursor(s.window_top, 1);
}

void set_text_colours(std::uint32_t foreground, std::uint32_t background, std::uint32_t border,
                      std::uint32_t presence_flags) {
  static_cast<void>(border);  // text mode has no border colour
  if (error_pending() || presence_flags == 0) return;
  const bool foreground_given = (presence_flags & 1u) != 0;
  const bool background_given = (presence_flags & 2u) != 0;
  if ((foreground_given && foreground > 31) || (background_given && background > 15)) {
    raise_runtime_error(error_code::illegal_function_call);
    return;
  }
  Screen& s = screen();
  if (foreground_given) s.foreground.store(foreground, relaxed);
  if (background_given) s.background.store(background & 7u, relaxed);
}

void set_screen_mode(std::uint32_t mode, std::uint32_t presence_flags) {
  if (error_pending() || (presence_flags & 1u) == 0) return;
  // Mode 0, 80 x 25 text, is the only mode there is and it is always current,
  // so selecting it changes nothing. Any other mode is refused.
  if (mode != 0) raise_runtime_error(error_code::illegal_function_call);
}

void wrap_before_item(const Text& item) {
  // The routine skips the rest of a printed line while an error is pending;
  // the fit check keeps still then as well.
  if (error_pending()) return;
  const Screen& s = screen();
  const int column = s.cursor_column.load(relaxed);
  if (s.wrap_pending.load(relaxed) || column == 1) return;
  if (static_cast<std::size_t>(column) + item.size() - 1 > screen_columns) line_end();
}

void print_text(const Text& text, int line_end_flag) {
  if (error_pending()) return;
  ChangeBatch batch;
  Screen& s = screen();
  OnScreen target;
  const bool line_end_wanted = line_end_flag != 0;
  start_print(target, text.empty(), line_end_wanted);
  bool row_ended_by_wrap = false;
  const std::size_t length = text.size();
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    const bool last_byte = i + 1 == length;
    row_ended_by_wrap = false;
    switch (byte) {
      case 7:
        bell();
        break;
      case 9:
        row_ended_by_wrap = put_tab(last_byte, line_end_wanted);
        break;
      case 10:
      case 13:
        line_end();
        break;
      case 11:
        move_cursor(s.window_top, 1);
        break;
      case 12:
        clear_screen();
        break;
      case 28:
        cursor_right();
        break;
      case 29:
        cursor_left();
        break;
      case 30:
        cursor_up();
        break;
      case 31:
        cursor_down();
        break;
      default:
        row_ended_by_wrap = put_glyph(target, byte, last_byte, line_end_wanted);
        break;
    }
  }
  // A glyph that wrapped as the last byte already gave the text its line end.
  if (line_end_wanted && !row_ended_by_wrap) line_end();
}

void line_end() {
  ChangeBatch batch;
  OnScreen target;
  end_row(target);
}

void print_zone_tab() {
  // Without this guard the loop below would never end: print_text does
  // nothing while an error is pending, so the cursor would not move.
  if (error_pending()) return;
  ChangeBatch batch;
  Screen& s = screen();
  if (s.wrap_pending.load(relaxed)) {
    line_end();
    s.wrap_pending.store(false, relaxed);
    return;
  }
  static const Text space(1, ' ');
  for (;;) {
    print_text(space, 0);
    const int column = s.cursor_column.load(relaxed);
    if (column == 1) return;
    if ((column - 1) % 14 == 0 && column <= 67) return;
    if (column >= screen_columns) return;
  }
}

Text tab_to_column(std::int32_t column) {
  if (error_pending()) return Text();
  if (column < -32768 || column > 32767) {
    raise_runtime_error(error_code::out_of_memory);
    return Text();
  }
  int target = column;
  if (target > screen_columns) target %= screen_columns;
  if (target < 1) target = 1;
  const int current = screen().cursor_column.load(relaxed);
  if (current > target) {
    Text text(1, '\r');
    text.append(static_cast<std::size_t>(target - 1), ' ');
    return text;
  }
  return Text(static_cast<std::size_t>(target - current), ' ');
}

void set_cursor_visible(bool visible) {
  ChangeBatch batch;
  Screen& s = screen();
  if (s.cursor_visible.exchange(visible, relaxed) != visible) s.changed = true;
}

void set_text_window(int top, int bottom) {
  if (top < 1 || bottom > screen_rows || top > bottom) {
    raise_runtime_error(error_code::illegal_function_call);
    return;
  }
  ChangeBatch batch;
  Screen& s = screen();
  s.window_top = top;
  s.window_bottom = bottom;
  s.wrap_pending.store(false, relaxed);
  move_cursor(top, 1);
}

ScreenCopy copy_screen() {
  const Screen& s = screen();
  ScreenCopy copy{};
  for (std::size_t i = 0; i < copy.cells.size(); ++i)
    copy.cells[i] = unpack(s.cells[i].load(relaxed));
  copy.cursor_row = s.cursor_row.load(relaxed);
  copy.cursor_column = s.cursor_column.load(relaxed);
  copy.wrap_pending = s.wrap_pending.load(relaxed);
  return copy;
}

void restore_screen(const ScreenCopy& copy) {
  ChangeBatch batch;
  Screen& s = screen();
  for (std::size_t i = 0; i < copy.cells.size(); ++i) {
    s.cells[i].store(pack(copy.cells[i].character, copy.cells[i].attribute), relaxed);
  }
  s.changed = true;
  // The copy is a plain struct; keep the cursor on the screen whatever it holds.
  const int row = std::clamp(copy.cursor_row, 1, screen_rows);
  const int column = std::clamp(copy.cursor_column, 1, screen_columns);
  s.wrap_pending.store(copy.wrap_pending && column == screen_columns, relaxed);
  move_cursor(row, column);
}

void print_into(ScreenCopy& copy, const Text& glyphs) {
  OnCopy target(copy);
  start_print(target, glyphs.empty(), false);
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    put_glyph(target, static_cast<std::uint8_t>(glyphs[i]), i + 1 == glyphs.size(), false);
  }
}

void text_screen_reset() {
  ChangeBatch batch;
  Screen& s = screen();
  s.foreground.store(start_foreground, relaxed);
  s.background.store(start_background, relaxed);
  s.window_top = start_window_top;
  s.window_bottom = start_window_bottom;
  const std::uint8_t attribute = attribute_of(start_foreground, start_background);
  for (int row = 1; row <= screen_rows; ++row) fill_row(row, attribute);
  s.wrap_pending.store(false, relaxed);
  if (s.cursor_visible.exchange(false, relaxed)) s.changed = true;
  move_cursor(1, 1);
}

}  // namespace console
