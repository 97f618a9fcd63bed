// The keyboard: the key queue (at most 15 keys, 255 while the program waits
// on the disk), the held-key set, the key table that turns a press into a
// key text, the pause and stop keys, and the key reads of the program
// thread.
//
// The key reader thread calls key_pressed/key_released; the program thread
// takes keys. No lock: each writes only its own queue index.
#pragma once

#include <cstdint>

#include "survey_entry/console/text.h"

namespace console {

enum class NamedKey : std::uint8_t {
  none,
  f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12,
  up, down, left, right,
  home, end, page_up, page_down, insert, delete_key,
  pause, break_key,
  left_shift, right_shift, left_ctrl, right_ctrl, left_alt, right_alt,
  caps_lock, num_lock, scroll_lock,
};

// Whether the named key is one of the modifiers: left or right Shift, Ctrl
// or Alt.
constexpr bool is_modifier(NamedKey k) {
  switch (k) {
    case NamedKey::left_shift:
    case NamedKey::right_shift:
    case NamedKey::left_ctrl:
    case NamedKey::right_ctrl:
    case NamedKey::left_alt:
    case NamedKey::right_alt:
      return true;
    default:
      return false;
  }
}

// A key as the key reader thread reports it: a character byte (in the window
// system's 8-bit code page, with the modifiers of the moment) or a named key.
struct Key {
  std::uint8_t character = 0;
  NamedKey named = NamedKey::none;

  bool operator==(const Key&) const = default;

  static constexpr Key byte(std::uint8_t b) { return Key{b, NamedKey::none}; }
  static constexpr Key of(NamedKey k) { return Key{0, k}; }
  constexpr bool is_named() const { return named != NamedKey::none; }
};

void key_pressed(Key key);
void key_released(Key key);
// A press that delivers no key (a dead key, a step of a compose sequence,
// the press that cancels one): nothing for the queue, the held-key set or
// the stop keys, but a press while a pause is on ends the pause and is
// swallowed, as any press is. Returns whether it ended a pause.
bool key_pressed_without_key();

// The modifiers that the window system says are down at a press, given
// just before the press is reported: presses and releases may have gone to
// another window meanwhile (the focus followed the pointer out and back).
// Each of Shift, Ctrl and Alt in the held-key set that is up is let go; one
// that is down but missing from the set is taken as held (its left key),
// with nothing else a press does: no stop or pause key, no end of a pause,
// no entry. altgr is the modifier of AltGr, which is the right Alt: the
// right Alt stays held while alt or altgr is down, and altgr down holds it.
struct ModifiersDown {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool altgr = false;
};
void modifiers_down_at_press(ModifiersDown down);

// Empty when the queue is empty, else the oldest key text (1 or 2 bytes).
// Gives up the processor once before it looks at the queue.
Text take_key();
// Waits for count keys and returns the first byte of each.
Text read_keys(int count, int file_number, int source_flag);

// Sleeps until a key is queued or the stop flag is set (program thread): the
// wait of the line input and of the end prompt before each take.
void wait_for_key_or_stop();

// Marks a wait on the disk (the output file's open, writes, syncs and
// close) for as long as it lives: from the start of such a wait until the
// program has taken the queue back below 15 keys, the queue keeps up to 255
// keys instead of 15, so that keys typed ahead of a slow disk are not lost.
// Any thread; marks may nest and overlap.
class DiskWait {
 public:
  DiskWait();
  ~DiskWait();
  DiskWait(const DiskWait&) = delete;
  DiskWait& operator=(const DiskWait&) = delete;
};

// Whether the key is in the held-key set (Caps Lock and Num Lock count as
// held while their state is on). Any thread; a snapshot.
bool key_is_held(Key key);

}  // namespace console
