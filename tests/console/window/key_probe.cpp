// Opens a plain X window with the input focus, reads its keys through the
// X11 keyboard layer and prints every key text taken from the key queue as
// hex bytes, one line per key ("61", "00 3b"). Prints "ready" once keys are
// read, "close" when a stop key raises the close request, and "caps 1",
// "num 0" and the like when a lock state changes, and "held" with the
// held-key set ("held 61 n25": bytes in hex, named keys by number; "held
// none") whenever the set changes. Ends after the
// number of seconds given as its argument (default 120).
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/window/x11_keyboard.h"

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "key_probe: no display\n");
    return 1;
  }
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 200, 0, 0, 0);
  XSelectInput(display, window, StructureNotifyMask);
  XMapRaised(display, window);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify) break;
  }
  // No window manager runs under Xvfb: take the focus ourselves.
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
  XSync(display, False);

  if (!console::start_x11_keyboard(window, DisplayString(display))) return 1;
  std::printf("ready\n");
  std::fflush(stdout);

  bool close_told = false;
  bool caps = false;
  bool num = false;
  auto tell_lock = [](const char* name, console::NamedKey k, bool& shown) {
    const bool on = console::key_is_held(console::Key::of(k));
    if (on == shown) return;
    shown = on;
    std::printf("%s %d\n", name, on ? 1 : 0);
    std::fflush(stdout);
  };
  std::string held_shown = "held none";
  auto tell_held = [&held_shown] {
    std::string held = "held";
    char text[8];
    for (unsigned b = 0; b < 256; ++b) {
      if (!console::key_is_held(console::Key::byte(static_cast<std::uint8_t>(b)))) continue;
      std::snprintf(text, sizeof text, " %02x", b);
      held += text;
    }
    for (unsigned n = 1; n <= static_cast<unsigned>(console::NamedKey::scroll_lock); ++n) {
      if (!console::key_is_held(console::Key::of(static_cast<console::NamedKey>(n)))) continue;
      held += " n" + std::to_string(n);
    }
    if (held == "held") held = "held none";
    if (held == held_shown) return;
    held_shown = held;
    std::printf("%s\n", held.c_str());
    std::fflush(stdout);
  };
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    const console::Text key = console::take_key();
    if (!key.empty()) {
      for (std::size_t i = 0; i < key.size(); ++i) {
        std::printf(i == 0 ? "%02x" : " %02x", static_cast<unsigned char>(key[i]));
      }
      std::printf("\n");
      std::fflush(stdout);
    }
    tell_lock("caps", console::NamedKey::caps_lock, caps);
    tell_lock("num", console::NamedKey::num_lock, num);
    tell_held();
    if (!close_told && console::close_request.load()) {
      close_told = true;
      std::printf("close\n");
      std::fflush(stdout);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  XCloseDisplay(display);
  return 0;
}
