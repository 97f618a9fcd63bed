// Random key streams through the line input. After each line the screen must
// show exactly the screen of the start with the accepted line printed after
// the prompt and one line end, and the value must be the value of that line,
// as a small model of the answer rules computes it.
//
// Input: byte 0 chooses the value (text, single, double), byte 1 where the
// prompt ends (bit 7: on the bottom row, so that the echo scrolls; the rest:
// its length, 0 to 80). The rest are keys: 0xFF then n is the named key n,
// 0xFE then b is the byte b, any other byte is itself. Each Enter (13) ends
// one line input; the stream after it goes to the next one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "survey_entry/console/console_testing.h"

namespace {

using console::Key;
using console::NamedKey;
using console::Text;

enum class Kind { text, single, dual };

constexpr std::size_t max_answer = 255;
constexpr int queue_room = 15;

// The key the key reader thread would report, and what the line input gets
// from it.
struct StreamKey {
  Key key;
  bool two_byte;  // arrives as a two-byte key text
};

std::vector<StreamKey> decode(const std::uint8_t* data, std::size_t size) {
  constexpr int named_first = static_cast<int>(NamedKey::f1);
  constexpr int named_count = static_cast<int>(NamedKey::delete_key) - named_first + 1;
  std::vector<StreamKey> keys;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 1 < size) {
      const auto named = static_cast<NamedKey>(named_first + data[++i] % named_count);
      keys.push_back({Key::of(named), true});
    } else if (data[i] == 0xFE && i + 1 < size) {
      keys.push_back({Key::byte(data[++i]), data[i] == 127});
    } else {
      keys.push_back({Key::byte(data[i]), data[i] == 127});  // 127 is the Delete key
    }
  }
  return keys;
}

// The field of a one-value line by the answer rules, or false when the
// line is refused.
bool model_field(std::string_view line, std::string& field) {
  if (!line.empty() && line.front() == '"') {
    const std::size_t close = line.find('"', 1);
    if (close == std::string_view::npos) {
      field.assign(line.substr(1));
      return true;
    }
    field.assign(line.substr(1, close - 1));
    return close + 1 == line.size();
  }
  field.assign(line);
  return line.find(',') == std::string_view::npos;
}

bool model_accepts(Kind kind, std::string_view line) {
  std::string field;
  if (!model_field(line, field)) return false;
  float single = 0;
  double dual = 0;
  if (kind == Kind::single) return console::check_single_answer(field, single);
  if (kind == Kind::dual) return console::check_double_answer(field, dual);
  return true;
}

// The model's result for one line input: the accepted line, and whether a
// bell was the last thing printed (after the last echo or redraw). A bell is
// printed like any text, so with a wrap pending it first ends the row.
struct ModelLine {
  std::string line;
  bool bell_last = false;
};

ModelLine model_line(Kind kind, const std::vector<StreamKey>& keys) {
  ModelLine m;
  std::string& line = m.line;
  auto type = [&](char byte) {
    if (line.size() >= max_answer) return;  // dropped without echo
    m.bell_last = false;
    line.push_back(byte);
    if (!model_accepts(kind, line)) line.pop_back();
  };
  for (const StreamKey& k : keys) {
    if (k.two_byte) continue;
    const std::uint8_t byte = k.key.character;
    if (byte == 7) {
      m.bell_last = true;
    } else if (byte == 10 || byte == 11 || byte == 12 || (byte >= 28 && byte <= 31)) {
      continue;
    } else if (byte == 9) {
      const std::size_t spaces = 8 - line.size() % 8;
      for (std::size_t s = 0; s < spaces; ++s) type(' ');
    } else if (byte == 8) {
      if (line.empty()) continue;  // no redraw
      m.bell_last = false;
      line.pop_back();
    } else {
      type(static_cast<char>(byte));
    }
  }
  return m;
}

void press(Key key) {
  while (console::queued_key_count() >= queue_room) std::this_thread::yield();
  console::key_pressed(key);
  console::key_released(key);
}

// Reports the failed condition and aborts, so that the fuzzer keeps the input.
#define CHECK(condition)                                                                    \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "fuzz_line_input:%d: %s does not hold\n", __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

// One line input with these keys and Enter. Short lines go into the queue
// beforehand and run on this thread; longer ones are fed by a thread of
// their own, as the key reader thread feeds them.
void run_line(Kind kind, const std::vector<StreamKey>& keys) {
  Text text = "old";
  float single = 5;
  double dual = 5;
  console::InputTarget target = &text;
  if (kind == Kind::single) target = &single;
  if (kind == Kind::dual) target = &dual;

  const console::ScreenCopy entry = console::copy_screen();
  auto feed = [&keys] {
    for (const StreamKey& k : keys) press(k.key);
    press(Key::byte(13));
  };
  if (keys.size() < queue_room) {
    feed();
    console::input_values_from_keyboard(target);
  } else {
    std::thread feeder(feed);
    console::input_values_from_keyboard(target);
    feeder.join();
  }
  CHECK(console::queued_key_count() == 0);
  CHECK(!console::cursor_visible());

  const ModelLine model = model_line(kind, keys);
  const std::string& line = model.line;
  std::string field;
  CHECK(model_field(line, field));
  if (kind == Kind::text) {
    CHECK(text == field);
  } else if (kind == Kind::single) {
    float expected = 0;
    CHECK(console::check_single_answer(field, expected));
    CHECK(std::memcmp(&expected, &single, sizeof single) == 0);
  } else {
    double expected = 0;
    CHECK(console::check_double_answer(field, expected));
    CHECK(std::memcmp(&expected, &dual, sizeof dual) == 0);
  }

  // The screen: the start, the accepted line echoed after it (and a last
  // bell), one line end.
  const console::ScreenCopy actual = console::copy_screen();
  console::restore_screen(entry);
  for (const char byte : line) console::print_text(Text(1, byte), 0);
  if (model.bell_last) console::print_text("\a", 0);
  console::print_text(Text(), 1);
  CHECK(console::copy_screen() == actual);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  console::console_reset();
  console::set_sleep_divisor(1000000);  // every console sleep becomes 0
  const auto kind = static_cast<Kind>(data[0] % 3);
  const bool bottom_row = (data[1] & 0x80) != 0;
  const int prompt_length = (data[1] & 0x7F) % 81;
  console::set_text_colours(data[0] / 3 % 16, data[0] / 48 % 8, 0, 3);
  console::clear_screen();
  for (int row = 1; bottom_row && row < 24; ++row) {
    console::print_text("row " + std::to_string(row), 1);
  }
  console::print_text(std::string(static_cast<std::size_t>(prompt_length), 'p'), 0);

  const std::vector<StreamKey> keys = decode(data + 2, size - 2);
  std::vector<StreamKey> line;
  for (const StreamKey& k : keys) {
    if (!k.two_byte && k.key.character == 13) {
      run_line(kind, line);
      line.clear();
    } else {
      line.push_back(k);
    }
  }
  run_line(kind, line);
  return 0;
}
