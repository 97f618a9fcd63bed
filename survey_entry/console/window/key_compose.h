// Dead keys and compose sequences: the step between the keysym a press
// reads and the key the console gets.
//
// The composing is libxkbcommon's (its compose API, the one current
// toolkits use, with no input-method server): the compose table of the
// user's locale, as the desktop composes with it (XCOMPOSEFILE and
// ~/.XCompose first, then the locale's system table; a locale without a
// table falls back to the default one, that of "C"). The composer is fed
// the keysym of each press, as the X11 key layer reads it (with Shift, Caps
// Lock and AltGr, without Ctrl and Alt), and says what the press delivers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "survey_entry/console/keyboard.h"

namespace console {

// The byte of a character (a Unicode code point) as it reaches the console,
// in the window system's 8-bit code page, Latin-1: a printable character of
// its range (0x20 to 0x7E, 0xA0 to 0xFF) is its own byte; nothing for any
// other, which no key delivers.
constexpr std::optional<std::uint8_t> printable_latin1_byte(std::uint32_t code_point) {
  if ((code_point >= 0x20 && code_point <= 0x7E) || (code_point >= 0xA0 && code_point <= 0xFF)) {
    return static_cast<std::uint8_t>(code_point);
  }
  return std::nullopt;
}

// The locale whose compose table the user's desktop takes: the first of
// LC_ALL, LC_CTYPE and LANG that is set and not empty, else "C".
std::string environment_locale();

// What one press delivers once composing is applied.
struct ComposedPress {
  enum class Kind : std::uint8_t {
    key,          // the key in `key`: the press's own key or a composed character
    without_key,  // a step of a sequence or its end without a byte: no key, yet a press
    nothing,      // a press that gives nothing at all (a key with no byte, as without composing)
  };
  Kind kind = Kind::nothing;
  Key key{};

  static ComposedPress of(std::optional<Key> k) {
    return k ? ComposedPress{Kind::key, *k} : ComposedPress{};
  }
  static ComposedPress keyless() { return ComposedPress{Kind::without_key, Key{}}; }
  // key is Key{} unless kind is Kind::key, so the members compare whole.
  bool operator==(const ComposedPress&) const = default;
};

class KeyComposer {
 public:
  // Loads the compose table of locale; when it has none (or its table cannot
  // be read), the default table. Without any table, nothing is composed:
  // dead keys give nothing and every other key gives its own key.
  explicit KeyComposer(const std::string& locale);
  ~KeyComposer();
  KeyComposer(const KeyComposer&) = delete;
  KeyComposer& operator=(const KeyComposer&) = delete;

  bool has_table() const;
  // Whether the table used is not the locale's own but the default one.
  bool fell_back() const;

  // One press. keysym: as read with Shift, Caps Lock and AltGr, without Ctrl
  // and Alt (X11 keysym codes, which are libxkbcommon's); alone: the key the
  // press gives by itself (nothing for a dead key or a keysym without a
  // byte); ctrl_or_alt: Ctrl or Alt is down in the event; combination: the
  // key table takes the press as an Alt or Ctrl combination (Ctrl, Alt or
  // AltGr held).
  //
  // Modifier and lock keys give their key and leave a sequence pending.
  // Ctrl and Alt combinations, the named keys (F1, arrows, Pause, Break,
  // ...) and Enter, Backspace, Tab and Esc give their key, as without
  // composing, and cancel a pending sequence; so do AltGr combinations but
  // those of a dead key or the Compose key, which the table takes. Every
  // other press is fed to the table: outside a sequence it gives its own
  // key; a step of a sequence and a press that cancels one give no key; the
  // last press of a sequence gives the composed character when its code is
  // one byte of the window system's code page (32..126, 160..255), and no
  // key otherwise.
  ComposedPress press(std::uint32_t keysym, std::optional<Key> alone, bool ctrl_or_alt,
                      bool combination);

  // Whether a sequence is under way.
  bool pending() const;
  // Drops a pending sequence.
  void reset();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace console
