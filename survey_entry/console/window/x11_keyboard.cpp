#include "survey_entry/console/window/x11_keyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/window/key_compose.h"

namespace console {

namespace {

std::optional<Key> named(NamedKey k) { return Key::of(k); }
std::optional<Key> character(unsigned c) { return Key::byte(static_cast<std::uint8_t>(c)); }

// The key that a keysym stands for, as the console expects it from the
// window system. ctrl tells whether Ctrl was down at the press: Ctrl+Pause
// is Break, Ctrl+Backspace arrives as 127 and Ctrl+Enter as 10, as the
// Windows keyboard delivers them. Nothing for keys the console has no use
// for. The lock keys are not here: their states are followed instead.
std::optional<Key> key_for_keysym(KeySym sym, bool ctrl) {
  if (sym >= XK_F1 && sym <= XK_F12) {
    return named(static_cast<NamedKey>(static_cast<unsigned>(NamedKey::f1) + (sym - XK_F1)));
  }
  switch (sym) {
    case XK_Up:
    case XK_KP_Up:
      return named(NamedKey::up);
    case XK_Down:
    case XK_KP_Down:
      return named(NamedKey::down);
    case XK_Left:
    case XK_KP_Left:
      return named(NamedKey::left);
    case XK_Right:
    case XK_KP_Right:
      return named(NamedKey::right);
    case XK_Home:
    case XK_KP_Home:
      return named(NamedKey::home);
    case XK_End:
    case XK_KP_End:
      return named(NamedKey::end);
    case XK_Prior:
    case XK_KP_Prior:
      return named(NamedKey::page_up);
    case XK_Next:
    case XK_KP_Next:
      return named(NamedKey::page_down);
    case XK_Insert:
    case XK_KP_Insert:
      return named(NamedKey::insert);
    case XK_Delete:
    case XK_KP_Delete:
      return named(NamedKey::delete_key);
    case XK_Pause:
      return named(ctrl ? NamedKey::break_key : NamedKey::pause);
    case XK_Break:
      return named(NamedKey::break_key);
    case XK_Scroll_Lock:
      return named(NamedKey::scroll_lock);
    case XK_Shift_L:
      return named(NamedKey::left_shift);
    case XK_Shift_R:
      return named(NamedKey::right_shift);
    case XK_Control_L:
      return named(NamedKey::left_ctrl);
    case XK_Control_R:
      return named(NamedKey::right_ctrl);
    case XK_Alt_L:
    case XK_Meta_L:
      return named(NamedKey::left_alt);
    case XK_Alt_R:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:  // AltGr
    case XK_Mode_switch:
      return named(NamedKey::right_alt);

    case XK_BackSpace:
      return character(ctrl ? 127 : 8);
    case XK_Tab:
    case XK_ISO_Left_Tab:  // Shift+Tab
    case XK_KP_Tab:
      return character(9);
    case XK_Return:
    case XK_KP_Enter:
      return character(ctrl ? 10 : 13);
    case XK_Linefeed:
      return character(10);
    case XK_Escape:
      return character(27);
    case XK_KP_Space:
      return character(' ');
    case XK_KP_Decimal:
      return character('.');
    case XK_KP_Separator:
      return character(',');
    case XK_KP_Add:
      return character('+');
    case XK_KP_Subtract:
      return character('-');
    case XK_KP_Multiply:
      return character('*');
    case XK_KP_Divide:
      return character('/');
    case XK_KP_Equal:
      return character('=');
    default:
      break;
  }
  if (sym >= XK_KP_0 && sym <= XK_KP_9)
    return character('0' + static_cast<unsigned>(sym - XK_KP_0));
  // Latin-1 keysyms are their Latin-1 codes; Unicode keysyms of the same
  // range are the same characters.
  const bool unicode = (sym & 0xFF000000UL) == 0x01000000UL;
  const unsigned long code = unicode ? (sym & 0x00FFFFFFUL) : sym;
  if (const auto byte = printable_latin1_byte(static_cast<std::uint32_t>(code))) {
    return character(*byte);
  }
  return std::nullopt;
}

// Whether the key table takes a press now as an Alt or Ctrl combination
// (AltGr counts as the right Alt).
bool combination_held() {
  for (NamedKey k : {NamedKey::left_ctrl, NamedKey::right_ctrl, NamedKey::left_alt,
                     NamedKey::right_alt}) {
    if (key_is_held(Key::of(k))) return true;
  }
  return false;
}

class X11Keyboard {
 public:
  X11Keyboard(Display* display, Window window, std::string locale)
      : display_(display), window_(window), locale_(std::move(locale)) {}

  // Selects the events and reports the lock states of the moment.
  void open() {
    int opcode = 0, error_base = 0;
    int major = XkbMajorVersion, minor = XkbMinorVersion;
    have_xkb_ = XkbQueryExtension(display_, &opcode, &xkb_event_, &error_base, &major, &minor);
    if (have_xkb_) {
      Bool supported = False;
      XkbSetDetectableAutoRepeat(display_, True, &supported);
      detectable_repeat_ = supported;
      XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, XkbModifierLockMask,
                            XkbModifierLockMask);
      num_lock_mask_ = XkbKeysymToModifiers(display_, XK_Num_Lock);
      if (num_lock_mask_ == 0) num_lock_mask_ = Mod2Mask;
    }
    find_alt_masks();
    XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | FocusChangeMask);
    if (have_xkb_) {
      XkbStateRec state{};
      if (XkbGetState(display_, XkbUseCoreKbd, &state) == Success) locks_changed(state.locked_mods);
    }
    XSync(display_, False);
  }

  // Loads the compose table (on the key reader thread: the window does not
  // wait for it; keys pressed meanwhile wait in the connection's queue).
  void load_compose_table() {
    composer_ = std::make_unique<KeyComposer>(locale_);
    if (!composer_->has_table()) {
      std::fprintf(stderr,
                   "survey_entry: no compose table for the locale \"%s\"; dead keys give "
                   "nothing\n",
                   locale_.c_str());
    } else if (composer_->fell_back()) {
      std::fprintf(stderr,
                   "survey_entry: no compose table for the locale \"%s\"; the default one is "
                   "used\n",
                   locale_.c_str());
    }
  }

  [[noreturn]] void run() {
    load_compose_table();
    for (;;) {
      XEvent event;
      XNextEvent(display_, &event);
      switch (event.type) {
        case KeyPress:
          press(event.xkey);
          break;
        case KeyRelease:
          if (!detectable_repeat_ && is_repeat_release(event.xkey)) break;
          released(event.xkey);
          break;
        case MappingNotify:
          XRefreshKeyboardMapping(&event.xmapping);
          find_alt_masks();
          break;
        case FocusOut:
          // Keys released while they go to another window never come here:
          // let go of everything held, so no key stays stuck. Every detail
          // but one means the keys no longer come to this window (with the
          // focus following the pointer, NotifyPointer: the pointer has
          // left it); NotifyInferior is the focus moved into a child of it,
          // whose keys still come here.
          if (event.xfocus.detail != NotifyInferior) {
            for (unsigned code = 0; code < down_.size(); ++code) release(code);
            composer_->reset();
          }
          break;
        default:
          if (have_xkb_ && event.type == xkb_event_) {
            const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
            if (xkb.any.xkb_type == XkbStateNotify) locks_changed(xkb.state.locked_mods);
          }
          break;
      }
    }
  }

 private:
  void press(XKeyEvent& event) {
    // Whatever this window missed while the keys went elsewhere, the press
    // carries the modifiers that the server says are down.
    modifiers_down_at_press(modifiers_down(event.state));
    // The character as typed with Shift, Caps Lock and AltGr, but without
    // Ctrl and Alt: the console's key table applies those.
    const KeySym sym = keysym_of(event, ControlMask | Mod1Mask);
    const bool ctrl = (event.state & ControlMask) != 0;
    num_lock_pressed_ = false;
    if (event.keycode >= down_.size()) return;
    // A key held after a press that was a step of a compose sequence (a
    // dead key, Compose) repeats as presses too: they are not new steps.
    if (step_down_[event.keycode]) return;
    if (sym == XK_Num_Lock && ctrl) {
      // On the PC keyboard Ctrl+Num Lock is the Pause key, whichever way the
      // Num Lock state goes; X may turn the state off only at the release,
      // when Ctrl is up already. So the press itself is reported here, and
      // the state change to on that follows it is not reported again.
      num_lock_pressed_ = true;
      composer_->reset();  // a pause key: a pending sequence ends
      key_pressed(Key::of(NamedKey::num_lock));
      return;
    }
    const bool ctrl_or_alt = (event.state & (ControlMask | Mod1Mask)) != 0;
    const ComposedPress composed =
        composer_->press(static_cast<std::uint32_t>(sym), key_for_keysym(sym, ctrl), ctrl_or_alt,
                         ctrl_or_alt || combination_held());
    switch (composed.kind) {
      case ComposedPress::Kind::nothing:
        return;
      case ComposedPress::Kind::without_key: {
        const bool step = composer_->pending();
        // A press that ends a pause is swallowed whole: no sequence starts.
        if (key_pressed_without_key()) composer_->reset();
        if (step) step_down_[event.keycode] = true;
        return;
      }
      case ComposedPress::Kind::key:
        break;
    }
    // A repeat of a key still down comes as a press again; when it gives
    // another key than before (Shift or a sequence came between), the one
    // before is let go first, so that the held-key set keeps no key.
    const Key key = composed.key;
    const std::optional<Key>& before = down_[event.keycode];
    if (before && *before != key) release(event.keycode);
    down_[event.keycode] = key;
    key_pressed(key);
  }

  // A release event. A modifier taken as held at a press (pressed while
  // the keys went to another window) has no press here: its release is
  // known by the key's keysym.
  void released(const XKeyEvent& event) {
    if (event.keycode < down_.size() && !down_[event.keycode]) {
      const std::optional<Key> key = key_for_keysym(keysym_of(event, 0), false);
      if (key && is_modifier(key->named)) key_released(*key);
    }
    release(event.keycode);
  }

  // The keysym of a key event, looked up under its modifiers less those of
  // without.
  static KeySym keysym_of(XKeyEvent event, unsigned without) {
    event.state &= ~without;
    KeySym sym = NoSymbol;
    std::array<char, 16> text{};
    XLookupString(&event, text.data(), static_cast<int>(text.size()), &sym, nullptr);
    return sym;
  }

  void release(unsigned keycode) {
    if (keycode < step_down_.size()) step_down_[keycode] = false;
    if (keycode >= down_.size() || !down_[keycode]) return;
    const Key key = *down_[keycode];
    down_[keycode].reset();
    key_released(key);
  }

  // Without detectable auto-repeat, X reports each repeat as a release and
  // a press with the same time stamp; the release is not a real one.
  bool is_repeat_release(const XKeyEvent& event) {
    if (XEventsQueued(display_, QueuedAfterReading) == 0) return false;
    XEvent next;
    XPeekEvent(display_, &next);
    return next.type == KeyPress && next.xkey.keycode == event.keycode &&
           next.xkey.time == event.time;
  }

  // The modifier masks of Alt and of AltGr in the keyboard map of the
  // moment. Alt without a mask of its own is taken as Mod1; AltGr may have
  // none (modifiers_down then leaves the right Alt as the presses made it).
  void find_alt_masks() {
    alt_mask_ = 0;
    altgr_mask_ = 0;
    if (have_xkb_) {
      for (KeySym sym : {XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R}) {
        alt_mask_ |= XkbKeysymToModifiers(display_, sym);
      }
      for (KeySym sym : {XK_ISO_Level3_Shift, XK_Mode_switch}) {
        altgr_mask_ |= XkbKeysymToModifiers(display_, sym);
      }
    }
    if (alt_mask_ == 0) alt_mask_ = Mod1Mask;
  }

  ModifiersDown modifiers_down(unsigned state) const {
    ModifiersDown down;
    down.shift = (state & ShiftMask) != 0;
    down.ctrl = (state & ControlMask) != 0;
    down.alt = (state & alt_mask_) != 0;
    down.altgr = altgr_mask_ != 0 ? (state & altgr_mask_) != 0
                                  : key_is_held(Key::of(NamedKey::right_alt));
    return down;
  }

  void locks_changed(unsigned locked) {
    lock_changed(NamedKey::caps_lock, (locked & LockMask) != 0, caps_on_);
    lock_changed(NamedKey::num_lock, (locked & num_lock_mask_) != 0, num_on_);
  }

  // A lock turned on is a press of its key, turned off a release.
  void lock_changed(NamedKey key, bool on, bool& was_on) {
    if (on == was_on) return;
    was_on = on;
    if (key == NamedKey::num_lock && num_lock_pressed_) {
      // Already reported as a press at the key itself.
      num_lock_pressed_ = false;
      if (on) return;
    }
    if (on) {
      key_pressed(Key::of(key));
    } else {
      key_released(Key::of(key));
    }
  }

  Display* display_;
  Window window_;
  bool have_xkb_ = false;
  int xkb_event_ = 0;
  bool detectable_repeat_ = false;
  unsigned num_lock_mask_ = Mod2Mask;
  unsigned alt_mask_ = Mod1Mask;
  unsigned altgr_mask_ = 0;
  bool caps_on_ = false;
  bool num_on_ = false;
  bool num_lock_pressed_ = false;  // a Ctrl+Num Lock press not yet followed by its change
  std::array<std::optional<Key>, 256> down_{};  // the key each keycode pressed
  // The keycodes down after a press that was a step of a pending sequence.
  std::array<bool, 256> step_down_{};
  std::string locale_;                   // whose compose table is used
  std::unique_ptr<KeyComposer> composer_;  // used on the key reader thread only
};

}  // namespace

bool start_x11_keyboard(unsigned long window, const char* display_name) {
  Display* display = XOpenDisplay(display_name);
  if (display == nullptr) {
    std::fprintf(stderr, "survey_entry: cannot open the display %s for the keyboard\n",
                 XDisplayName(display_name));
    return false;
  }
  // The reader lives for the whole run, as its thread does.
  static X11Keyboard* keyboard = nullptr;
  keyboard = new X11Keyboard(display, static_cast<Window>(window), environment_locale());
  keyboard->open();
  std::thread([reader = keyboard] { reader->run(); }).detach();
  return true;
}

}  // namespace console
