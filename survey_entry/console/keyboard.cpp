#include "survey_entry/console/keyboard.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <thread>

#include "survey_entry/console/keyboard_testing.h"
#include "survey_entry/console/run_control.h"

namespace console {

namespace {

// ---------------------------------------------------------------------------
// Key table

enum class Kind : std::uint8_t { nothing, byte, ext };

struct Translation {
  Kind kind = Kind::nothing;
  std::uint8_t value = 0;
};

constexpr Translation nothing() { return {}; }
constexpr Translation byte(int b) { return {Kind::byte, static_cast<std::uint8_t>(b)}; }
constexpr Translation ext(int code) { return {Kind::ext, static_cast<std::uint8_t>(code)}; }

// One row: the key's scan code and its plain, Shift, Ctrl and Alt columns.
struct Row {
  bool present = false;
  std::uint8_t scan = 0;
  Translation plain, shift, ctrl, alt;
};

constexpr std::size_t named_key_count = static_cast<std::size_t>(NamedKey::scroll_lock) + 1;

constexpr std::size_t index_of(NamedKey k) { return static_cast<std::size_t>(k); }

// A character row: plain and Shift give the character as delivered (the
// window system has applied Shift and Caps Lock already).
constexpr void set_char(std::array<Row, 256>& rows, char c, int scan, Translation ctrl,
                        Translation alt) {
  const auto b = static_cast<unsigned char>(c);
  rows[b] = Row{true, static_cast<std::uint8_t>(scan), byte(b), byte(b), ctrl, alt};
}

// Both characters of one key cap, with the same Ctrl and Alt translations.
constexpr void set_pair(std::array<Row, 256>& rows, char lower, char upper, int scan,
                        Translation ctrl, Translation alt) {
  set_char(rows, lower, scan, ctrl, alt);
  set_char(rows, upper, scan, ctrl, alt);
}

constexpr std::array<Row, 256> make_character_rows() {
  std::array<Row, 256> rows{};

  // Letters: the Alt code is the letter key's scan code.
  const char* const letter_rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
  constexpr int first_scan[] = {16, 30, 44};
  for (int r = 0; r < 3; ++r) {
    for (int i = 0; letter_rows[r][i] != '\0'; ++i) {
      const char upper = letter_rows[r][i];
      const char lower = static_cast<char>(upper - 'A' + 'a');
      const int scan = first_scan[r] + i;
      set_pair(rows, lower, upper, scan, byte(upper - 'A' + 1), ext(scan));
    }
  }

  // The digit row: a digit and the sign over it share scan, Ctrl and Alt
  // codes (Ctrl+2 and Ctrl+@ give ext 3, Ctrl+6 and Ctrl+^ give 30).
  constexpr char digits[] = "1234567890";
  constexpr char signs[] = "!@#$%^&*()";
  for (int i = 0; i < 10; ++i) {
    Translation ctrl = nothing();
    if (digits[i] == '2') ctrl = ext(3);
    if (digits[i] == '6') ctrl = byte(30);
    set_pair(rows, digits[i], signs[i], 2 + i, ctrl, ext(120 + i));
  }

  set_pair(rows, '-', '_', 12, byte(31), ext(130));
  set_pair(rows, '=', '+', 13, nothing(), ext(131));
  set_pair(rows, '[', '{', 26, byte(27), ext(26));
  set_pair(rows, ']', '}', 27, byte(29), ext(27));
  set_pair(rows, '\\', '|', 43, byte(28), ext(43));
  set_pair(rows, ';', ':', 39, nothing(), ext(39));
  set_pair(rows, '\'', '"', 40, nothing(), ext(40));
  set_pair(rows, '`', '~', 41, nothing(), ext(41));
  set_pair(rows, ',', '<', 51, nothing(), ext(51));
  set_pair(rows, '.', '>', 52, nothing(), ext(52));
  set_pair(rows, '/', '?', 53, nothing(), ext(53));

  set_char(rows, ' ', 57, byte(32), nothing());
  set_char(rows, '\r', 28, byte(10), nothing());
  set_char(rows, '\x1b', 1, byte(27), nothing());
  // With Ctrl held, 8 and 9 have become the letters h and i before the table
  // is consulted, so their Ctrl columns are never reached.
  set_char(rows, '\b', 14, nothing(), ext(14));
  set_char(rows, '\t', 15, nothing(), nothing());
  rows['\t'].shift = ext(15);

  return rows;
}

constexpr std::array<Row, named_key_count> make_named_rows() {
  std::array<Row, named_key_count> rows{};
  auto set = [&rows](NamedKey k, int plain, int shift, int ctrl, int alt) {
    rows[index_of(k)] =
        Row{true, static_cast<std::uint8_t>(plain), ext(plain), ext(shift), ext(ctrl), ext(alt)};
  };
  for (int i = 0; i < 10; ++i) {
    set(static_cast<NamedKey>(index_of(NamedKey::f1) + static_cast<std::size_t>(i)), 59 + i, 84 + i,
        94 + i, 104 + i);
  }
  set(NamedKey::f11, 133, 133, 137, 139);
  set(NamedKey::f12, 134, 134, 138, 140);
  set(NamedKey::home, 71, 71, 119, 151);
  set(NamedKey::up, 72, 72, 141, 152);
  set(NamedKey::page_up, 73, 73, 132, 153);
  set(NamedKey::left, 75, 75, 115, 155);
  set(NamedKey::right, 77, 77, 116, 157);
  set(NamedKey::end, 79, 79, 117, 159);
  set(NamedKey::down, 80, 80, 145, 160);
  set(NamedKey::page_down, 81, 81, 118, 161);
  set(NamedKey::insert, 82, 82, 146, 162);
  set(NamedKey::delete_key, 83, 83, 147, 163);
  return rows;
}

constexpr std::array<Row, 256> character_rows = make_character_rows();
constexpr std::array<Row, named_key_count> named_rows = make_named_rows();

// ---------------------------------------------------------------------------
// Held-key set: one flag per character byte and per named key. Each flag is
// an atomic of its own, so that any thread may test it (key_is_held) while
// the key reader thread updates it.

constexpr std::size_t held_count = 256 + named_key_count;
std::array<std::atomic<bool>, held_count> held{};

constexpr std::size_t held_index(Key k) {
  return k.is_named() ? 256 + index_of(k.named) : k.character;
}

bool is_held(NamedKey k) { return held[held_index(Key::of(k))].load(std::memory_order_acquire); }
bool shift_held() { return is_held(NamedKey::left_shift) || is_held(NamedKey::right_shift); }
bool ctrl_held() { return is_held(NamedKey::left_ctrl) || is_held(NamedKey::right_ctrl); }
bool alt_held() { return is_held(NamedKey::left_alt) || is_held(NamedKey::right_alt); }

void set_held(Key k, bool down) { held[held_index(k)].store(down, std::memory_order_release); }

// Presses and releases come from the key reader thread (and, for the lock
// states of the moment, from the window thread at start, before the key
// reader thread runs); tests press from several threads at once. This guard
// keeps one press or release from overlapping another; the program thread
// never takes it. A press is handled in constant time, so a waiter spins
// only for a moment.
std::atomic_flag event_guard = ATOMIC_FLAG_INIT;

class EventGuard {
 public:
  EventGuard() {
    while (event_guard.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~EventGuard() { event_guard.clear(std::memory_order_release); }
  EventGuard(const EventGuard&) = delete;
  EventGuard& operator=(const EventGuard&) = delete;
};

// ---------------------------------------------------------------------------
// Key queue: a ring of 256 slots of two bytes; head is written by the
// program thread only, tail by the pressing thread only (under the event
// guard). Both are single bytes, so they wrap from the last slot to the
// first by themselves, and tail - head is the number of keys waiting. A
// slot is filled before tail moves past it (release), and read before head
// moves past it (release), so each thread sees the other's slot bytes
// complete. Each thread loads its own index relaxed (nobody else writes it)
// and the other's with acquire.
//
// A press is queued while fewer than 15 keys wait, so the queue holds at
// most 15 and a key pressed while 15 wait is lost. While the program thread
// waits on the disk, and after such a wait until it has taken the queue back
// below 15 keys, a press is queued while fewer than 255 wait: the whole
// ring but one slot, since a full ring would have tail equal to head, which
// reads as empty.

struct Slot {
  std::uint8_t character = 0;
  std::uint8_t scan = 0;
};

std::array<Slot, 256> slots{};
std::atomic<std::uint8_t> head{0};
std::atomic<std::uint8_t> tail{0};

constexpr unsigned ordinary_keys = 15;
constexpr unsigned most_keys = 255;

// The waits on the disk: the number open now, and the number begun since
// the start. The program thread marks them (the stop thread's close-all
// does too, after the program thread has stopped for good). They carry no
// data, only a decision of the pressing thread; the one order that matters
// is that a press that sees a wait ended sees that it began: the count
// begun is raised before the count open, whose lowering is a release that
// the pressing thread's acquire load of it pairs with.
std::atomic<unsigned> disk_waits_open{0};
std::atomic<unsigned> disk_waits_begun{0};

// The pressing thread's own (under the event guard): the count of waits
// begun that it last saw, and whether the queue keeps keys beyond 15: from
// the first press after a wait began until a press that finds fewer than 15
// keys waiting and no wait open. The pressing thread decides this alone,
// from its own tail and a head that can only have moved on since it loaded
// it: the count it sees is never below the true one, so the keeping ends
// only when the queue is truly below 15, and a key typed while the program
// catches up after a wait is never refused below the bound of 255.
unsigned disk_waits_seen = 0;
bool keeping_beyond_ordinary = false;

void queue_entry(std::uint8_t character, std::uint8_t scan) {
  const std::uint8_t t = tail.load(std::memory_order_relaxed);
  const unsigned waiting = static_cast<std::uint8_t>(t - head.load(std::memory_order_acquire));
  const bool in_wait = disk_waits_open.load(std::memory_order_acquire) != 0;
  const unsigned begun = disk_waits_begun.load(std::memory_order_relaxed);
  if (begun != disk_waits_seen) {
    disk_waits_seen = begun;
    keeping_beyond_ordinary = true;
  } else if (waiting < ordinary_keys && !in_wait) {
    keeping_beyond_ordinary = false;
  }
  const unsigned bound = keeping_beyond_ordinary || in_wait ? most_keys : ordinary_keys;
  if (waiting >= bound) return;  // full: the key is lost
  slots[t] = Slot{character, scan};
  tail.store(static_cast<std::uint8_t>(t + 1), std::memory_order_release);
  // Beside the queue, never around it: the key is published before the
  // program thread's wait is woken to take it.
  wake_waiters();
}

// Whether take_key gives up the processor before it looks at the queue.
std::atomic<bool> take_yields{true};

bool key_waiting() {
  return head.load(std::memory_order_relaxed) != tail.load(std::memory_order_acquire);
}

// The adjustments of a character as the key reader thread reports it, made
// before the key is handled: with Ctrl held, 10 becomes Enter (13) and the
// control bytes 1 to 26 become the letters they were typed as, so that the
// Ctrl column of the table gives the control byte back; 127 (Ctrl+Backspace)
// becomes Delete.
Key adjust(Key key, bool ctrl, bool shift) {
  if (key.is_named()) return key;
  std::uint8_t c = key.character;
  if (ctrl) {
    if (c == 10) {
      c = 13;
    } else if (c >= 1 && c <= 26) {
      c = static_cast<std::uint8_t>(c + (shift ? 64 : 96));
    }
  }
  if (c == 127) return Key::of(NamedKey::delete_key);
  return Key::byte(c);
}

bool is_modifier_or_lock(NamedKey k) {
  return is_modifier(k) || k == NamedKey::caps_lock || k == NamedKey::num_lock ||
         k == NamedKey::scroll_lock;
}

// The press that ends a pause is swallowed: whether this one did.
bool ends_pause() {
  if (!pause_flag.load(std::memory_order_acquire)) return false;
  pause_flag.store(false, std::memory_order_release);
  run_host().pause_ended();
  return true;
}

void translate_and_queue(Key key) {
  if (key.is_named() && is_modifier_or_lock(key.named)) return;
  const Row& row = key.is_named() ? named_rows[index_of(key.named)] : character_rows[key.character];
  if (!row.present) {
    // Character bytes without a row pass unchanged; a named key without a
    // row (none, Pause and Break are handled before) gives nothing.
    if (!key.is_named()) queue_entry(key.character, 0);
    return;
  }
  const Translation& tr = alt_held()     ? row.alt
                          : ctrl_held()  ? row.ctrl
                          : shift_held() ? row.shift
                                         : row.plain;
  switch (tr.kind) {
    case Kind::nothing:
      return;
    case Kind::ext:
      queue_entry(0, tr.value);
      return;
    case Kind::byte:
      queue_entry(tr.value, row.scan);
      return;
  }
}

}  // namespace

void key_pressed(Key raw) {
  EventGuard guard;
  const Key key = adjust(raw, ctrl_held(), shift_held());
  set_held(key, true);

  // Stop keys: Break, Ctrl+Scroll Lock, Alt+F4.
  if (key.named == NamedKey::break_key || (key.named == NamedKey::scroll_lock && ctrl_held()) ||
      (key.named == NamedKey::f4 && alt_held())) {
    close_request.store(true, std::memory_order_release);
    return;
  }
  // Pause keys: Pause, Ctrl+Num Lock. The pause flag is set before the
  // event flag, so a check that sees the event sees the pause too.
  if (key.named == NamedKey::pause || (key.named == NamedKey::num_lock && ctrl_held())) {
    pause_flag.store(true, std::memory_order_release);
    event_pending.store(true, std::memory_order_release);
    return;
  }
  if (ends_pause()) return;
  // Alt+Enter would step the full-screen forms, which this console does not
  // have; it is never delivered.
  if (!key.is_named() && key.character == 13 && alt_held()) return;

  translate_and_queue(key);
}

bool key_pressed_without_key() {
  EventGuard guard;
  return ends_pause();
}

void modifiers_down_at_press(ModifiersDown down) {
  EventGuard guard;
  // One modifier: both keys let go while it is up; the left one taken as
  // held when it is down and neither is.
  auto follow = [](NamedKey left, NamedKey right, bool is_down) {
    if (!is_down) {
      set_held(Key::of(left), false);
      set_held(Key::of(right), false);
    } else if (!is_held(left) && !is_held(right)) {
      set_held(Key::of(left), true);
    }
  };
  follow(NamedKey::left_shift, NamedKey::right_shift, down.shift);
  follow(NamedKey::left_ctrl, NamedKey::right_ctrl, down.ctrl);
  if (!down.alt) set_held(Key::of(NamedKey::left_alt), false);
  if (!down.alt && !down.altgr) set_held(Key::of(NamedKey::right_alt), false);
  if (down.altgr && !is_held(NamedKey::right_alt)) set_held(Key::of(NamedKey::right_alt), true);
  if (down.alt && !alt_held()) set_held(Key::of(NamedKey::left_alt), true);
}

void key_released(Key raw) {
  EventGuard guard;
  // The press may have been adjusted under modifiers that are no longer
  // held; take out every form it can have been stored under.
  set_held(adjust(raw, false, false), false);
  set_held(adjust(raw, true, false), false);
  set_held(adjust(raw, true, true), false);
}

bool key_is_held(Key key) { return held[held_index(key)].load(std::memory_order_acquire); }

void set_take_yields(bool yields) { take_yields.store(yields, std::memory_order_relaxed); }

Text take_key() {
  if (error_pending()) return Text{};
  if (take_yields.load(std::memory_order_relaxed)) std::this_thread::yield();
  const std::uint8_t h = head.load(std::memory_order_relaxed);
  if (h == tail.load(std::memory_order_acquire)) return Text{};
  const Slot slot = slots[h];
  head.store(static_cast<std::uint8_t>(h + 1), std::memory_order_release);
  if (slot.character != 0 || slot.scan == 0) return Text(1, static_cast<char>(slot.character));
  return Text{'\0', static_cast<char>(slot.scan)};
}

Text read_keys(int count, int /*file_number*/, int source_flag) {
  if (error_pending()) return Text{};
  // Reading from a file is not a form this program uses; nothing to read
  // for a count below one either.
  if (source_flag != 0 || count <= 0) return Text{};
  Text result(static_cast<std::size_t>(count), '\0');
  std::size_t n = 0;
  for (;;) {
    const Text key = take_key();
    if (!key.empty()) result[n++] = key[0];
    if (stop_flag.load(std::memory_order_acquire)) return result;
    if (n == result.size()) return result;
    statement_boundary_check(0);
    // Until a key comes, or a request that the next check must see (a
    // pause, a stop, an error).
    wait_for_user([] {
      return key_waiting() || stop_flag.load(std::memory_order_acquire) ||
             event_pending.load(std::memory_order_acquire);
    });
  }
}

void wait_for_key_or_stop() {
  wait_for_user([] { return key_waiting() || stop_flag.load(std::memory_order_acquire); });
}

DiskWait::DiskWait() {
  // Begun before open, each a release: a press that sees this wait open,
  // or ended, sees that it began.
  disk_waits_begun.fetch_add(1, std::memory_order_release);
  disk_waits_open.fetch_add(1, std::memory_order_release);
}

DiskWait::~DiskWait() { disk_waits_open.fetch_sub(1, std::memory_order_release); }

int queued_key_count() {
  const std::uint8_t h = head.load(std::memory_order_acquire);
  const std::uint8_t t = tail.load(std::memory_order_acquire);
  return static_cast<std::uint8_t>(t - h);
}

void keyboard_reset() {
  EventGuard guard;
  // Relaxed, unlike a press: the guard's release hands these stores to the
  // next press, and between runs no other thread tests a key.
  for (auto& flag : held) flag.store(false, std::memory_order_relaxed);
  slots.fill(Slot{});
  // A wait marked before the reset does not make the next press keep keys
  // beyond 15.
  disk_waits_seen = disk_waits_begun.load(std::memory_order_relaxed);
  keeping_beyond_ordinary = false;
  head.store(0, std::memory_order_release);
  tail.store(0, std::memory_order_release);
}

}  // namespace console
