#include "survey_entry/console/keyboard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/unexpected_host.h"
#include "survey_entry/console/console_testing.h"
#include "survey_entry/console/run_control.h"

namespace {

using console::Key;
using console::NamedKey;
using console::Text;

constexpr NamedKey lshift = NamedKey::left_shift;
constexpr NamedKey lctrl = NamedKey::left_ctrl;
constexpr NamedKey lalt = NamedKey::left_alt;

Text ext(int code) { return Text{'\0', static_cast<char>(code)}; }
Text one(int byte) { return Text(1, static_cast<char>(byte)); }
Key ch(int byte) { return Key::byte(static_cast<std::uint8_t>(byte)); }

// The first key found in the held-key set, or "nothing".
std::string nothing_held() {
  for (int byte = 0; byte <= 255; ++byte) {
    if (console::key_is_held(ch(byte))) return "character " + std::to_string(byte);
  }
  for (int named = 1; named <= static_cast<int>(NamedKey::scroll_lock); ++named) {
    if (console::key_is_held(Key::of(static_cast<NamedKey>(named)))) {
      return "named key " + std::to_string(named);
    }
  }
  return "nothing";
}

// The presses that ended a pause, as the window is told of them.
// Counts the ends of a pause that the keyboard reports up; the rest of the
// run host is never reached by these tests.
class PauseEndCounter final : public harness::UnexpectedHost {
 public:
  void pause_ended() override { ++ends; }
  int ends = 0;
};
PauseEndCounter pause_end_counter;
int& pause_ends = pause_end_counter.ends;

std::string hex(const Text& t) {
  std::string out;
  for (unsigned char c : t) {
    constexpr char digits[] = "0123456789abcdef";
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out.empty() ? "(empty)" : out;
}

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console::run_control_reset();
    console::keyboard_reset();
    console::set_sleep_divisor(10);
    pause_ends = 0;
    console::set_run_host(&pause_end_counter);
  }
  void TearDown() override {
    console::run_control_reset();
    console::keyboard_reset();
    console::set_sleep_divisor(1);
    console::set_run_host(nullptr);
  }

  // Holds the modifiers, presses and releases the key, lets the modifiers
  // go, and returns every key text that reached the queue.
  static std::vector<Text> chord(const std::vector<NamedKey>& modifiers, Key key) {
    for (NamedKey m : modifiers) console::key_pressed(Key::of(m));
    console::key_pressed(key);
    console::key_released(key);
    for (NamedKey m : modifiers) console::key_released(Key::of(m));
    std::vector<Text> taken;
    for (Text t = console::take_key(); !t.empty(); t = console::take_key()) taken.push_back(t);
    return taken;
  }
};

struct CharCase {
  std::vector<NamedKey> modifiers;
  int character;
  Text expected;  // empty: the press gives nothing
};

TEST_F(KeyboardTest, CharacterRowsInEachColumn) {
  const std::vector<CharCase> cases = {
      // Letters: plain and Shift as delivered, Ctrl 1 to 26, Alt by scan code.
      {{}, 'a', "a"},
      {{lshift}, 'A', "A"},
      {{}, 'A', "A"},  // Caps Lock applied by the window system
      {{lctrl}, 'a', one(1)},
      {{lctrl}, 1, one(1)},  // a window system that delivers the control byte
      {{lctrl, lshift}, 'Z', one(26)},
      {{lctrl}, 'm', one(13)},
      {{lctrl}, 'j', one(10)},
      {{lctrl}, 8, one(8)},  // Ctrl+H as the control byte
      {{lalt}, 'q', ext(16)},
      {{lalt}, 'Q', ext(16)},
      {{lalt}, 'p', ext(25)},
      {{lalt}, 'a', ext(30)},
      {{lalt}, 'l', ext(38)},
      {{lalt}, 'z', ext(44)},
      {{lalt}, 'M', ext(50)},
      // Digit row.
      {{}, '7', "7"},
      {{lshift}, '&', "&"},
      {{lctrl}, '1', ""},
      {{lctrl}, '2', ext(3)},
      {{lctrl}, '6', one(30)},
      {{lctrl}, '@', ext(3)},
      {{lctrl}, '^', one(30)},
      {{lctrl}, '!', ""},
      {{lctrl}, ')', ""},
      {{lalt}, '1', ext(120)},
      {{lalt}, '9', ext(128)},
      {{lalt}, '0', ext(129)},
      {{lalt}, '!', ext(120)},
      {{lalt}, '@', ext(121)},
      {{lalt}, ')', ext(129)},
      // Punctuation keys.
      {{lctrl}, '-', one(31)},
      {{lctrl}, '_', one(31)},
      {{lalt}, '_', ext(130)},
      {{lctrl}, '=', ""},
      {{lalt}, '+', ext(131)},
      {{lctrl}, '[', one(27)},
      {{lalt}, '{', ext(26)},
      {{lctrl}, '}', one(29)},
      {{lalt}, ']', ext(27)},
      {{lctrl}, '\\', one(28)},
      {{lalt}, '|', ext(43)},
      {{lctrl}, ';', ""},
      {{lalt}, ':', ext(39)},
      {{lctrl}, '"', ""},
      {{lalt}, '\'', ext(40)},
      {{lctrl}, '`', ""},
      {{lalt}, '~', ext(41)},
      {{lctrl}, ',', ""},
      {{lalt}, '<', ext(51)},
      {{lalt}, '.', ext(52)},
      {{lctrl}, '?', ""},
      {{lalt}, '/', ext(53)},
      // Space, Enter, Esc, Backspace, Tab.
      {{}, ' ', " "},
      {{lctrl}, ' ', " "},
      {{lalt}, ' ', ""},
      {{}, 13, one(13)},
      {{lshift}, 13, one(13)},
      {{lctrl}, 10, one(10)},  // Ctrl+Enter as the window system delivers it
      {{}, 27, one(27)},
      {{lctrl}, 27, one(27)},
      {{lalt}, 27, ""},
      {{}, 8, one(8)},
      {{lalt}, 8, ext(14)},
      {{}, 9, one(9)},
      {{lshift}, 9, ext(15)},
      {{lctrl}, 9, one(9)},
      {{lalt}, 9, ""},
      // 127 is Delete; with Ctrl it is Ctrl+Backspace.
      {{}, 127, ext(83)},
      {{lctrl}, 127, ext(147)},
      // Bytes without a row pass unchanged under any modifier.
      {{}, 0, one(0)},
      {{lalt}, 5, one(5)},
      {{}, 10, one(10)},
      {{lalt}, 28, one(28)},
      {{lalt}, 0xC8, one(0xC8)},
      {{lctrl}, 0x80, one(0x80)},
      {{lctrl, lalt}, 0xE9, one(0xE9)},
      {{lshift}, 0xFF, one(0xFF)},
      // Column priority: Alt over Ctrl over Shift; AltGr is Ctrl and Alt.
      {{lctrl, lalt}, '@', ext(121)},
      {{lctrl, lalt, lshift}, 'q', ext(16)},
      {{lctrl, lshift}, '9', ""},
      {{NamedKey::right_ctrl}, 'c', one(3)},
      {{NamedKey::right_alt}, 'w', ext(17)},
      {{NamedKey::right_shift}, 9, ext(15)},
  };
  for (const CharCase& c : cases) {
    std::vector<Text> expected;
    if (!c.expected.empty()) expected.push_back(c.expected);
    std::vector<Text> got;
    for (NamedKey m : c.modifiers) console::key_pressed(Key::of(m));
    console::key_pressed(ch(c.character));
    console::key_released(ch(c.character));
    for (NamedKey m : c.modifiers) console::key_released(Key::of(m));
    for (Text t = console::take_key(); !t.empty(); t = console::take_key()) got.push_back(t);
    ASSERT_EQ(got.size(), expected.size())
        << "character " << c.character << " with " << c.modifiers.size() << " modifiers";
    if (!got.empty()) {
      EXPECT_EQ(hex(got[0]), hex(expected[0]))
          << "character " << c.character << " with " << c.modifiers.size() << " modifiers";
    }
  }
}

struct NamedRow {
  NamedKey key;
  int plain, shift, ctrl, alt;
};

TEST_F(KeyboardTest, NamedKeysInEachColumn) {
  const std::vector<NamedRow> rows = {
      {NamedKey::f1, 59, 84, 94, 104},          {NamedKey::f5, 63, 88, 98, 108},
      {NamedKey::f10, 68, 93, 103, 113},        {NamedKey::f11, 133, 133, 137, 139},
      {NamedKey::f12, 134, 134, 138, 140},      {NamedKey::home, 71, 71, 119, 151},
      {NamedKey::up, 72, 72, 141, 152},         {NamedKey::page_up, 73, 73, 132, 153},
      {NamedKey::left, 75, 75, 115, 155},       {NamedKey::right, 77, 77, 116, 157},
      {NamedKey::end, 79, 79, 117, 159},        {NamedKey::down, 80, 80, 145, 160},
      {NamedKey::page_down, 81, 81, 118, 161},  {NamedKey::insert, 82, 82, 146, 162},
      {NamedKey::delete_key, 83, 83, 147, 163},
  };
  for (const NamedRow& r : rows) {
    const int k = static_cast<int>(r.key);
    EXPECT_EQ(chord({}, Key::of(r.key)), std::vector<Text>{ext(r.plain)}) << "key " << k;
    EXPECT_EQ(chord({lshift}, Key::of(r.key)), std::vector<Text>{ext(r.shift)}) << "key " << k;
    EXPECT_EQ(chord({lctrl}, Key::of(r.key)), std::vector<Text>{ext(r.ctrl)}) << "key " << k;
    EXPECT_EQ(chord({lalt}, Key::of(r.key)), std::vector<Text>{ext(r.alt)}) << "key " << k;
  }
  // Modifiers and lock keys give no entry of their own.
  for (NamedKey k :
       {lshift, lctrl, lalt, NamedKey::right_shift, NamedKey::right_ctrl, NamedKey::right_alt,
        NamedKey::caps_lock, NamedKey::num_lock, NamedKey::scroll_lock}) {
    EXPECT_TRUE(chord({}, Key::of(k)).empty()) << "key " << static_cast<int>(k);
  }
}

TEST_F(KeyboardTest, SixteenthKeyIsLostAndQueueWraps) {
  for (int i = 0; i < 16; ++i) console::key_pressed(ch('a' + i));
  EXPECT_EQ(console::queued_key_count(), 15);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(console::take_key(), one('a' + i));
  EXPECT_EQ(console::take_key(), "");
  EXPECT_EQ(console::queued_key_count(), 0);
  // The indexes now stand mid-ring: keys keep coming out in order across
  // the wrap from the last slot to the first (of 256).
  for (int i = 0; i < 130; ++i) {
    console::key_pressed(ch('0' + i % 10));
    console::key_pressed(Key::of(NamedKey::f1));
    EXPECT_EQ(console::take_key(), one('0' + i % 10));
    EXPECT_EQ(console::take_key(), ext(59));
  }
}

// Presses letters, the n-th press of the test giving letter n % 26.
class Typist {
 public:
  void press(int count) {
    for (int i = 0; i < count; ++i) console::key_pressed(ch('a' + pressed_++ % 26));
  }
  int pressed() const { return pressed_; }

 private:
  int pressed_ = 0;
};

// Takes count keys and checks that they are the letters of the presses
// numbered from first on, in order.
void take_in_order(int first, int count) {
  for (int i = first; i < first + count; ++i) {
    ASSERT_EQ(console::take_key(), one('a' + i % 26)) << "key " << i;
  }
}

// While a wait on the disk is marked, and after it until the queue is back
// below 15 keys, the queue keeps up to 255 keys; then the 15-key rule holds
// again.
TEST_F(KeyboardTest, KeysTypedDuringADiskWaitAreKeptUpTo255) {
  Typist typist;
  {
    const console::DiskWait wait;
    typist.press(300);
    EXPECT_EQ(console::queued_key_count(), 255) << "the 256th key and those after it are lost";
  }
  // Catching up after the wait: keys typed meanwhile are kept too.
  take_in_order(0, 200);
  typist.press(10);  // presses 300 to 309
  EXPECT_EQ(console::queued_key_count(), 65);
  take_in_order(200, 55);
  take_in_order(300, 9);
  // Back below 15 keys: the ordinary rule again.
  typist.press(20);  // presses 310 to 329, of which 310 to 323 are kept
  EXPECT_EQ(console::queued_key_count(), 15);
  take_in_order(309, 15);
  EXPECT_EQ(console::take_key(), "");

  // A wait that began and ended before the keys typed during it reach the
  // queue (the pressing thread came late): they are still kept.
  typist.press(15);  // presses 330 to 344
  { const console::DiskWait wait; }
  typist.press(20);  // presses 345 to 364
  EXPECT_EQ(console::queued_key_count(), 35);
  take_in_order(330, 35);

  // Nested waits: the queue keeps keys until the outer one ends.
  {
    const console::DiskWait outer;
    { const console::DiskWait inner; }
    typist.press(40);  // presses 365 to 404
  }
  EXPECT_EQ(console::queued_key_count(), 40);
  take_in_order(365, 40);
  EXPECT_EQ(typist.pressed(), 405);
}

TEST_F(KeyboardTest, PauseSwallowsTheNextPress) {
  struct Case {
    const char* name;
    std::vector<NamedKey> pause_chord;
    Key ending_press;
  };
  const std::vector<Case> cases = {
      {"Pause then a letter", {}, ch('4')},
      {"Pause then Shift alone", {}, Key::of(lshift)},
      {"Pause then Caps Lock on", {}, Key::of(NamedKey::caps_lock)},
      {"Ctrl+Num Lock then F1", {lctrl}, Key::of(NamedKey::f1)},
  };
  for (const Case& c : cases) {
    console::keyboard_reset();
    console::run_control_reset();
    pause_ends = 0;
    for (NamedKey m : c.pause_chord) console::key_pressed(Key::of(m));
    console::key_pressed(Key::of(c.pause_chord.empty() ? NamedKey::pause : NamedKey::num_lock));
    for (NamedKey m : c.pause_chord) console::key_released(Key::of(m));
    EXPECT_TRUE(console::pause_flag.load()) << c.name;
    EXPECT_TRUE(console::event_pending.load()) << c.name;
    EXPECT_EQ(console::queued_key_count(), 0) << c.name;

    // A release does not end the pause; a repeat of the pause key keeps it.
    console::key_released(ch('x'));
    console::key_pressed(Key::of(NamedKey::pause));
    EXPECT_TRUE(console::pause_flag.load()) << c.name;
    EXPECT_EQ(pause_ends, 0) << c.name;

    console::key_pressed(c.ending_press);
    console::key_released(c.ending_press);
    EXPECT_FALSE(console::pause_flag.load()) << c.name;
    EXPECT_EQ(pause_ends, 1) << c.name;
    EXPECT_EQ(console::queued_key_count(), 0) << c.name;
    console::key_pressed(ch('5'));
    EXPECT_EQ(console::take_key(), "5") << c.name;
    EXPECT_EQ(pause_ends, 1) << c.name;
    EXPECT_FALSE(console::close_request.load()) << c.name;
  }
}

TEST_F(KeyboardTest, APressWithoutKeyOnlyEndsAPause) {
  // Outside a pause: nothing queued, nothing held, no pause, no stop.
  EXPECT_FALSE(console::key_pressed_without_key());
  EXPECT_EQ(console::queued_key_count(), 0);
  EXPECT_FALSE(console::pause_flag.load());
  EXPECT_FALSE(console::close_request.load());
  // With Ctrl held it is still no stop key and no pause key.
  console::key_pressed(Key::of(lctrl));
  EXPECT_FALSE(console::key_pressed_without_key());
  console::key_released(Key::of(lctrl));
  EXPECT_FALSE(console::close_request.load());
  EXPECT_FALSE(console::pause_flag.load());

  // In a pause: it ends the pause and is swallowed; the next key is a key.
  console::key_pressed(Key::of(NamedKey::pause));
  console::key_released(Key::of(NamedKey::pause));
  ASSERT_TRUE(console::pause_flag.load());
  EXPECT_EQ(pause_ends, 0);
  EXPECT_TRUE(console::key_pressed_without_key());
  EXPECT_FALSE(console::pause_flag.load());
  EXPECT_EQ(pause_ends, 1);
  EXPECT_FALSE(console::key_pressed_without_key());
  EXPECT_EQ(pause_ends, 1);
  EXPECT_EQ(console::queued_key_count(), 0);
  console::key_pressed(ch(0xE3));
  console::key_released(ch(0xE3));
  EXPECT_EQ(console::take_key(), one(0xE3));
  EXPECT_EQ(nothing_held(), "nothing");
}

TEST_F(KeyboardTest, StopKeysRaiseTheCloseRequest) {
  struct Case {
    std::vector<NamedKey> modifiers;
    NamedKey key;
    bool stops;
    Text entry;  // what reaches the queue when it does not stop
  };
  const std::vector<Case> cases = {
      {{}, NamedKey::break_key, true, ""},
      {{lctrl}, NamedKey::break_key, true, ""},
      {{lctrl}, NamedKey::scroll_lock, true, ""},
      {{NamedKey::right_ctrl}, NamedKey::scroll_lock, true, ""},
      {{lalt}, NamedKey::f4, true, ""},
      {{NamedKey::right_alt}, NamedKey::f4, true, ""},
      {{}, NamedKey::scroll_lock, false, ""},
      {{}, NamedKey::f4, false, ext(62)},
      {{lctrl}, NamedKey::f4, false, ext(97)},
      {{lshift}, NamedKey::f4, false, ext(87)},
  };
  for (const Case& c : cases) {
    console::keyboard_reset();
    console::run_control_reset();
    const std::vector<Text> got = [&] {
      for (NamedKey m : c.modifiers) console::key_pressed(Key::of(m));
      console::key_pressed(Key::of(c.key));
      for (NamedKey m : c.modifiers) console::key_released(Key::of(m));
      std::vector<Text> taken;
      for (Text t = console::take_key(); !t.empty(); t = console::take_key()) taken.push_back(t);
      return taken;
    }();
    const int k = static_cast<int>(c.key);
    EXPECT_EQ(console::close_request.load(), c.stops) << "key " << k;
    EXPECT_EQ(got, c.entry.empty() ? std::vector<Text>{} : std::vector<Text>{c.entry})
        << "key " << k;
    EXPECT_FALSE(console::pause_flag.load()) << "key " << k;
  }
}

TEST_F(KeyboardTest, AltEnterIsNeverDelivered) {
  EXPECT_TRUE(chord({lalt}, ch(13)).empty());
  EXPECT_TRUE(chord({lctrl, lalt}, ch(10)).empty());  // Ctrl+Enter delivered as 10
  EXPECT_TRUE(chord({NamedKey::right_alt}, ch(13)).empty());
  EXPECT_EQ(chord({}, ch(13)), std::vector<Text>{one(13)});
}

TEST_F(KeyboardTest, TwoByteTextsAndTheMenuRead) {
  console::key_pressed(Key::of(NamedKey::left));
  console::key_pressed(ch('x'));
  const Text left = console::take_key();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0], '\0');
  EXPECT_EQ(left[1], static_cast<char>(75));
  EXPECT_EQ(console::take_key(), "x");
  EXPECT_EQ(console::take_key(), "");

  // The menu read keeps the first byte: an extended key is the byte 0, a
  // character key is itself, each taken at once when typed ahead.
  const std::vector<std::pair<std::vector<NamedKey>, Key>> presses = {
      {{}, Key::of(NamedKey::f1)},
      {{lalt}, ch('1')},
      {{}, ch(0)},
  };
  for (const auto& [mods, key] : presses) {
    EXPECT_EQ(chord(mods, key).size(), 1u);
    for (NamedKey m : mods) console::key_pressed(Key::of(m));
    console::key_pressed(key);
    for (NamedKey m : mods) console::key_released(Key::of(m));
    EXPECT_EQ(console::read_keys(1, 0, 0), one(0));
  }
  console::key_pressed(ch('4'));
  console::key_pressed(ch('5'));
  EXPECT_EQ(console::read_keys(1, 0, 0), "4");
  EXPECT_EQ(console::read_keys(1, 0, 0), "5");
  EXPECT_EQ(console::queued_key_count(), 0);
}

TEST_F(KeyboardTest, ReadKeysWaitsThroughAPause) {
  console::key_pressed(Key::of(NamedKey::pause));
  std::thread typist([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    console::key_pressed(ch('4'));  // ends the pause, not delivered
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    console::key_pressed(ch('5'));
  });
  const Text got = console::read_keys(1, 0, 0);
  typist.join();
  EXPECT_EQ(got, "5");
  EXPECT_FALSE(console::pause_flag.load());
}

TEST_F(KeyboardTest, ReadsReturnAtOnceOnErrorOrStop) {
  console::key_pressed(ch('4'));
  console::raise_runtime_error(52);
  EXPECT_EQ(console::take_key(), "");
  EXPECT_EQ(console::read_keys(1, 0, 0), "");
  EXPECT_EQ(console::queued_key_count(), 1);  // nothing was taken

  console::run_control_reset();
  console::keyboard_reset();
  console::stop_flag.store(true);
  const Text got = console::read_keys(1, 0, 0);  // empty queue: returns, does not wait
  EXPECT_EQ(got.size(), 1u);
  EXPECT_EQ(console::queued_key_count(), 0);
}

TEST_F(KeyboardTest, HeldKeySetFollowsPressesAndReleases) {
  const Key caps = Key::of(NamedKey::caps_lock);
  console::key_pressed(caps);
  EXPECT_TRUE(console::key_is_held(caps));
  console::key_released(caps);
  EXPECT_FALSE(console::key_is_held(caps));

  // A Ctrl+letter press stored under its letter is taken out again even
  // when Ctrl goes up first and the release comes as the control byte.
  console::key_pressed(Key::of(lctrl));
  console::key_pressed(ch(1));
  EXPECT_TRUE(console::key_is_held(ch('a')));
  EXPECT_EQ(console::take_key(), one(1));
  console::key_released(Key::of(lctrl));
  console::key_released(ch(1));
  EXPECT_FALSE(console::key_is_held(ch('a')));
  EXPECT_FALSE(console::key_is_held(Key::of(lctrl)));
  // Shift no longer held: the next letter takes the plain column.
  console::key_pressed(Key::of(lshift));
  console::key_released(Key::of(lshift));
  EXPECT_EQ(chord({}, ch('\t')), std::vector<Text>{one(9)});
}

// Whatever the modifiers turned a press into, its release takes it out of
// the held-key set, also when the modifiers went up before the key did.
TEST_F(KeyboardTest, ReleaseTakesOutTheFormThePressWasHeldUnder) {
  struct HeldCase {
    std::vector<NamedKey> modifiers;
    Key delivered;  // as the window system reports press and release
    Key held;       // what the press put in the held-key set
  };
  const std::vector<HeldCase> cases = {
      {{}, ch('q'), ch('q')},
      {{lctrl}, ch(1), ch('a')},
      {{lctrl, lshift}, ch(1), ch('A')},
      {{NamedKey::right_ctrl, NamedKey::right_shift}, ch(26), ch('Z')},
      {{lctrl}, ch(10), ch(13)},
      {{lctrl, lshift}, ch(10), ch(13)},
      {{}, ch(127), Key::of(NamedKey::delete_key)},
  };
  for (const bool modifiers_first : {false, true}) {
    for (const HeldCase& c : cases) {
      SCOPED_TRACE("character " + std::to_string(c.delivered.character) + " with " +
                   std::to_string(c.modifiers.size()) + " modifiers" +
                   (modifiers_first ? ", modifiers released first" : ""));
      console::keyboard_reset();
      for (NamedKey m : c.modifiers) console::key_pressed(Key::of(m));
      console::key_pressed(c.delivered);
      EXPECT_TRUE(console::key_is_held(c.held));
      if (!modifiers_first) console::key_released(c.delivered);
      for (NamedKey m : c.modifiers) console::key_released(Key::of(m));
      if (modifiers_first) console::key_released(c.delivered);
      EXPECT_EQ(nothing_held(), "nothing");
    }
  }
}

// Before each press the window side gives the modifiers that the window
// system says are down; presses and releases that went to another window
// meanwhile are made good, and that is never a press of its own.
TEST_F(KeyboardTest, ModifiersFollowTheWindowSystemAtAPress) {
  constexpr NamedKey rshift = NamedKey::right_shift;
  constexpr NamedKey rctrl = NamedKey::right_ctrl;
  constexpr NamedKey ralt = NamedKey::right_alt;
  using Down = console::ModifiersDown;
  struct Case {
    const char* name;
    std::vector<NamedKey> pressed;  // held before, by presses seen here
    Down down;
    std::vector<NamedKey> held;  // the modifiers held after
    Key key;                     // then pressed
    Text expected;
  };
  const Down none{};
  const Down shift{.shift = true};
  const Down ctrl{.ctrl = true};
  const Down alt{.alt = true};
  const Down altgr{.altgr = true};
  const std::vector<Case> cases = {
      {"Ctrl released elsewhere", {lctrl}, none, {}, ch('a'), one('a')},
      {"right Ctrl released elsewhere", {rctrl}, none, {}, ch('a'), one('a')},
      {"Ctrl pressed elsewhere", {}, ctrl, {lctrl}, ch('a'), one(1)},
      {"right Ctrl still down", {rctrl}, ctrl, {rctrl}, ch('a'), one(1)},
      {"Shift released elsewhere", {lshift, rshift}, none, {}, ch('\t'), one(9)},
      {"Shift pressed elsewhere", {}, shift, {lshift}, ch('\t'), ext(15)},
      {"Alt released elsewhere", {lalt}, none, {}, ch('q'), one('q')},
      {"Alt pressed elsewhere", {}, alt, {lalt}, ch('q'), ext(16)},
      {"right Alt down as Alt", {ralt}, alt, {ralt}, ch('q'), ext(16)},
      {"AltGr down: its modifier keeps the right Alt", {ralt}, altgr, {ralt}, ch('q'), ext(16)},
      {"AltGr released elsewhere", {ralt}, none, {}, ch('q'), one('q')},
      {"AltGr pressed elsewhere", {}, altgr, {ralt}, ch('q'), ext(16)},
      {"left Alt up, AltGr down", {lalt, ralt}, altgr, {ralt}, ch('q'), ext(16)},
      {"Ctrl and Alt pressed elsewhere", {}, {.ctrl = true, .alt = true}, {lctrl, lalt}, ch('q'),
       ext(16)},
      {"as seen here", {lshift, lctrl}, {.shift = true, .ctrl = true}, {lshift, lctrl}, ch('q'),
       one(17)},
  };
  auto modifiers_held = [] {
    std::vector<NamedKey> held;
    for (NamedKey m : {lshift, rshift, lctrl, rctrl, lalt, ralt}) {
      if (console::key_is_held(Key::of(m))) held.push_back(m);
    }
    return held;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    console::keyboard_reset();
    console::run_control_reset();
    pause_ends = 0;
    for (NamedKey m : c.pressed) console::key_pressed(Key::of(m));
    // No press: a pause stays on, nothing is queued, no stop.
    console::pause_flag.store(true);
    console::modifiers_down_at_press(c.down);
    EXPECT_EQ(modifiers_held(), c.held);
    EXPECT_TRUE(console::pause_flag.load());
    EXPECT_EQ(pause_ends, 0);
    EXPECT_EQ(console::queued_key_count(), 0);
    EXPECT_FALSE(console::close_request.load());
    console::pause_flag.store(false);
    console::key_pressed(c.key);
    console::key_released(c.key);
    EXPECT_EQ(console::take_key(), c.expected);
    // A modifier taken as held goes with its release, as one pressed here.
    for (NamedKey m : c.held) console::key_released(Key::of(m));
    EXPECT_EQ(nothing_held(), "nothing");
  }
  // Alt pressed while another window had the keys, F4 pressed here: the
  // stop key.
  console::keyboard_reset();
  console::run_control_reset();
  console::modifiers_down_at_press(alt);
  EXPECT_FALSE(console::close_request.load());
  console::key_pressed(Key::of(NamedKey::f4));
  EXPECT_TRUE(console::close_request.load());
  EXPECT_EQ(console::queued_key_count(), 0);
}

TEST_F(KeyboardTest, WindowThreadAndProgramThreadShareTheQueue) {
  constexpr int total = 3000;
  std::thread window([] {
    for (int i = 0; i < total; ++i) {
      while (console::queued_key_count() >= 15) std::this_thread::yield();
      console::key_pressed(ch('a' + i % 26));
      console::key_released(ch('a' + i % 26));
    }
  });
  int received = 0;
  bool in_order = true;
  while (received < total) {
    const Text t = console::take_key();
    if (t.empty()) continue;
    in_order = in_order && t == one('a' + received % 26);
    ++received;
  }
  window.join();
  EXPECT_TRUE(in_order);
  EXPECT_EQ(console::take_key(), "");
}

}  // namespace
