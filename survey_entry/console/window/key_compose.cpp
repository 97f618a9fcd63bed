#include "survey_entry/console/window/key_compose.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdlib>

namespace console {

namespace {

// The keysyms libxkbcommon ignores as modifiers: Shift, Ctrl, Caps Lock,
// Alt, Meta, Super, Hyper, the ISO lock and level keys (AltGr among them),
// Mode_switch and Num Lock.
bool is_modifier_keysym(std::uint32_t sym) {
  return (sym >= XKB_KEY_Shift_L && sym <= XKB_KEY_Hyper_R) ||
         (sym >= XKB_KEY_ISO_Lock && sym <= XKB_KEY_ISO_Level5_Lock) ||
         sym == XKB_KEY_Mode_switch || sym == XKB_KEY_Num_Lock;
}

// The keys that start a sequence themselves: the dead keys and Compose.
bool is_dead_or_compose(std::uint32_t sym) {
  return (sym >= XKB_KEY_dead_grave && sym <= XKB_KEY_dead_longsolidusoverlay) ||
         sym == XKB_KEY_Multi_key;
}

// The code point of a UTF-8 text that is one character of U+0000..U+00FF,
// the only ones that can be a byte of the code page: one byte, or a lead
// byte 0xC2/0xC3 and one continuation byte.
std::optional<std::uint32_t> latin1_code_point(const char* text, int length) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  if (length == 1 && s[0] < 0x80) return s[0];
  if (length == 2 && (s[0] == 0xC2 || s[0] == 0xC3) && (s[1] & 0xC0) == 0x80) {
    return ((s[0] & 0x1Fu) << 6) | (s[1] & 0x3Fu);
  }
  return std::nullopt;
}

}  // namespace

std::string environment_locale() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

struct KeyComposer::Impl {
  xkb_context* context = nullptr;
  xkb_compose_table* table = nullptr;
  xkb_compose_state* state = nullptr;
  bool fell_back = false;

  ~Impl() {
    xkb_compose_state_unref(state);
    xkb_compose_table_unref(table);
    xkb_context_unref(context);
  }

  // The composed character as one byte of the code page, if it is one.
  std::optional<std::uint8_t> composed_byte() const {
    std::array<char, 16> text{};
    const int length = xkb_compose_state_get_utf8(state, text.data(), text.size());
    std::optional<std::uint32_t> code;
    if (length > 0) {
      code = latin1_code_point(text.data(), length);
    } else {
      const std::uint32_t sym = xkb_compose_state_get_one_sym(state);
      if (sym != XKB_KEY_NoSymbol) {
        const std::uint32_t c = xkb_keysym_to_utf32(sym);
        if (c != 0) code = c;
      }
    }
    if (!code) return std::nullopt;
    return printable_latin1_byte(*code);
  }
};

KeyComposer::KeyComposer(const std::string& locale) : impl_(std::make_unique<Impl>()) {
  impl_->context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
  if (impl_->context == nullptr) return;
  // A table that cannot be read is told once by the caller, not line by
  // line by the library.
  xkb_context_set_log_level(impl_->context, XKB_LOG_LEVEL_CRITICAL);
  impl_->table = xkb_compose_table_new_from_locale(impl_->context, locale.c_str(),
                                                   XKB_COMPOSE_COMPILE_NO_FLAGS);
  if (impl_->table == nullptr && locale != "C") {
    impl_->table =
        xkb_compose_table_new_from_locale(impl_->context, "C", XKB_COMPOSE_COMPILE_NO_FLAGS);
    impl_->fell_back = impl_->table != nullptr;
  }
  if (impl_->table != nullptr) {
    impl_->state = xkb_compose_state_new(impl_->table, XKB_COMPOSE_STATE_NO_FLAGS);
  }
}

KeyComposer::~KeyComposer() = default;

bool KeyComposer::has_table() const { return impl_->state != nullptr; }

bool KeyComposer::fell_back() const { return impl_->fell_back; }

bool KeyComposer::pending() const {
  return impl_->state != nullptr &&
         xkb_compose_state_get_status(impl_->state) == XKB_COMPOSE_COMPOSING;
}

void KeyComposer::reset() {
  if (impl_->state != nullptr) xkb_compose_state_reset(impl_->state);
}

ComposedPress KeyComposer::press(std::uint32_t keysym, std::optional<Key> alone,
                                 bool ctrl_or_alt, bool combination) {
  if (impl_->state == nullptr || keysym == XKB_KEY_NoSymbol || is_modifier_keysym(keysym)) {
    return ComposedPress::of(alone);
  }
  const bool own_key = alone && (alone->is_named() || alone->character < 0x20 ||
                                 alone->character == 0x7F);
  const bool fed = !ctrl_or_alt && (is_dead_or_compose(keysym) || (!combination && !own_key));
  if (!fed) {
    reset();
    return ComposedPress::of(alone);
  }
  if (xkb_compose_state_feed(impl_->state, keysym) == XKB_COMPOSE_FEED_IGNORED) {
    return ComposedPress::of(alone);
  }
  switch (xkb_compose_state_get_status(impl_->state)) {
    case XKB_COMPOSE_NOTHING:
      return ComposedPress::of(alone);
    case XKB_COMPOSE_COMPOSING:
      return ComposedPress::keyless();
    case XKB_COMPOSE_COMPOSED: {
      const std::optional<std::uint8_t> byte = impl_->composed_byte();
      reset();
      return byte ? ComposedPress::of(Key::byte(*byte)) : ComposedPress::keyless();
    }
    case XKB_COMPOSE_CANCELLED:
      reset();
      return ComposedPress::keyless();
  }
  return ComposedPress::of(alone);
}

}  // namespace console
