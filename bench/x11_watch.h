// Watching a program's window from outside, for the window figures: starts
// the program, follows its top-level window from creation on, reports each
// XDamage notification of that window with the time it arrived, reads its
// pixels back and injects keys on the X server through XTest.
//
// What is timed is what a user sees: a frame counts when the X server has
// drawn it into the window, not when the program thinks it has drawn it.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

double milliseconds_between(Clock::time_point from, Clock::time_point to);

// Pixel colours as 0xRRGGBB.
constexpr std::uint32_t colour_green = 0x00AA00;  // the menu's background
constexpr std::uint32_t colour_cyan = 0x00AAAA;   // the dialogues' background
constexpr std::uint32_t colour_blue = 0x0000AA;
constexpr std::uint32_t no_pixel = 0xFFFFFFFFu;  // the window could not be read

// A rectangle of pixels, row by row.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  bool empty() const { return pixels.empty(); }
  std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

class WindowWatch {
 public:
  // Opens the display named by $DISPLAY; throws std::runtime_error when it
  // cannot be opened or lacks the DAMAGE or XTEST extension.
  WindowWatch();
  ~WindowWatch();
  WindowWatch(const WindowWatch&) = delete;
  WindowWatch& operator=(const WindowWatch&) = delete;

  // Starts path (no arguments) with the standard output and error sent to
  // /dev/null, and forgets any window watched before. Returns the time just
  // before the start, or nothing when the program could not be started.
  std::optional<Clock::time_point> start(const std::string& path);
  // Ends the started program (SIGKILL by its process id) and waits for it.
  void stop();
  // Waits until the started program ends by itself and returns the time its
  // end was seen (and its exit status in status); nothing on timeout, when
  // the program is still running.
  std::optional<Clock::time_point> wait_exit(Clock::time_point deadline, int& status);
  pid_t pid() const { return pid_; }

  // Waits until the started program's first top-level window exists
  // (damage is followed from its creation on). False on timeout.
  bool wait_for_window(Clock::time_point deadline);
  // Waits until that window is mapped. False on timeout.
  bool wait_for_map(Clock::time_point deadline);
  Window window() const { return window_; }

  // Waits for the window's next damage notification and returns the time it
  // was read off the connection; nothing on timeout. The damage is cleared,
  // so the next call waits for a new drawing.
  std::optional<Clock::time_point> next_damage(Clock::time_point deadline);
  // Clears the damage and drops the events read so far.
  void forget_damage();
  // Reads what the connection has already received and tells whether a
  // damage notification is among it (next_damage then returns it at once).
  bool damage_arrived();

  // Waits for the first frame after which shown() holds (it is asked after
  // each damage notification) and returns the time of that frame's
  // notification; nothing on timeout. When a further frame was drawn while
  // shown() read the pixels, that later frame is the one taken.
  std::optional<Clock::time_point> frame_showing(const std::function<bool()>& shown,
                                                 Clock::time_point deadline);

  // Reads pixels of the window; an empty picture (or no_pixel) when the
  // window cannot be read.
  Picture picture(int x, int y, int width, int height);
  std::uint32_t pixel(int x, int y);

  // Waits until the pixel has the colour (looking again after each damage
  // and at least every 50 ms). False on timeout.
  bool wait_for_pixel(int x, int y, std::uint32_t colour, Clock::time_point deadline);

  // Puts the pointer in the window: with no window manager, keys go to the
  // window under the pointer.
  void point_into_window();
  // Starts path, waits for its window to be mapped, puts the pointer in it
  // and waits until the pixel (x, y) shows colour, its first picture (10 s
  // for each). Throws std::runtime_error naming what did not come.
  void start_and_show(const std::string& path, int x, int y, std::uint32_t colour);
  // At the menu: taps "1" and waits (10 s) for the first dialogue's
  // background. Throws std::runtime_error when it does not come.
  void open_first_dialogue();
  // Injects a key press or release on the X server; keysym as in keysymdef.h.
  void press(KeySym key);
  void release(KeySym key);
  void tap(KeySym key);
  // Sends the window the window manager's close message (WM_DELETE_WINDOW),
  // as a click on its close box does.
  void send_close();

 private:
  void handle(const XEvent& event, Clock::time_point now, bool& damaged, bool& mapped);

  Display* display_ = nullptr;
  Window root_ = 0;
  int damage_event_base_ = 0;
  pid_t pid_ = -1;
  Window window_ = 0;
  Damage damage_ = 0;
  bool mapped_ = false;
  std::optional<Clock::time_point> pending_damage_;
};

// Median and 90th percentile of a set of figures (nearest rank).
struct Spread {
  double median = 0;
  double p90 = 0;
  double minimum = 0;
  double maximum = 0;
};
Spread spread_of(std::vector<double> values);

}  // namespace bench
