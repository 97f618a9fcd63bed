#include "bench/x11_watch.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace {

// A window may go away between an event and the request that follows it
// (the program ended, the damage was freed with its window): such errors
// are expected here and only make the request fail.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

int shift_of(unsigned long mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1u) == 0) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

std::uint32_t channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const unsigned long value = (pixel & mask) >> shift_of(mask);
  const unsigned long top = mask >> shift_of(mask);
  return static_cast<std::uint32_t>(value * 255u / top);
}

int timeout_ms_until(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1;
  return static_cast<int>(std::min<long long>(ms, 1000));
}

}  // namespace

double milliseconds_between(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

WindowWatch::WindowWatch() {
  // An X server resets when its last client leaves and drops the
  // connections made meanwhile: try again for a while.
  for (int attempt = 0; attempt < 40 && display_ == nullptr; ++attempt) {
    if (attempt > 0) usleep(50000);
    display_ = XOpenDisplay(nullptr);
  }
  if (display_ == nullptr) throw std::runtime_error("cannot open the X display ($DISPLAY)");
  XSetErrorHandler(ignore_x_error);
  int error_base = 0;
  if (!XDamageQueryExtension(display_, &damage_event_base_, &error_base)) {
    XCloseDisplay(display_);
    throw std::runtime_error("the X server has no DAMAGE extension");
  }
  int major = 0;
  int minor = 0;
  int event_base = 0;
  if (!XTestQueryExtension(display_, &event_base, &error_base, &major, &minor)) {
    XCloseDisplay(display_);
    throw std::runtime_error("the X server has no XTEST extension");
  }
  root_ = DefaultRootWindow(display_);
  // Creation and mapping of every top-level window.
  XSelectInput(display_, root_, SubstructureNotifyMask);
  XSync(display_, False);
}

WindowWatch::~WindowWatch() {
  stop();
  XCloseDisplay(display_);
}

std::optional<Clock::time_point> WindowWatch::start(const std::string& path) {
  stop();
  forget_damage();
  window_ = 0;
  damage_ = 0;
  mapped_ = false;
  pending_damage_.reset();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string argument0 = path;
  char* argv[] = {argument0.data(), nullptr};
  const Clock::time_point started = Clock::now();
  const int error = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    pid_ = -1;
    return std::nullopt;
  }
  return started;
}

void WindowWatch::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::optional<Clock::time_point> WindowWatch::wait_exit(Clock::time_point deadline, int& status) {
  if (pid_ <= 0) return std::nullopt;
  // A process descriptor becomes readable the moment the process ends.
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd < 0) return std::nullopt;
  std::optional<Clock::time_point> ended;
  for (;;) {
    pollfd fd{pidfd, POLLIN, 0};
    const int ready = poll(&fd, 1, timeout_ms_until(deadline));
    if (ready > 0) {
      ended = Clock::now();
      break;
    }
    if (Clock::now() >= deadline) break;
  }
  close(pidfd);
  if (ended && waitpid(pid_, &status, 0) == pid_) {
    pid_ = -1;
    return ended;
  }
  return std::nullopt;
}

void WindowWatch::handle(const XEvent& event, Clock::time_point now, bool& damaged, bool& mapped) {
  if (event.type == CreateNotify) {
    const XCreateWindowEvent& created = event.xcreatewindow;
    if (window_ == 0 && created.parent == root_ && !created.override_redirect) {
      window_ = created.window;
      // Reported once when the damage becomes non-empty; cleared by each
      // subtract, so every notification is a new drawing.
      damage_ = XDamageCreate(display_, window_, XDamageReportNonEmpty);
      XFlush(display_);
    }
  } else if (event.type == MapNotify) {
    if (event.xmap.window == window_ && window_ != 0) {
      mapped_ = true;
      mapped = true;
    }
  } else if (event.type == DestroyNotify) {
    if (event.xdestroywindow.window == window_) {
      window_ = 0;
      damage_ = 0;
      mapped_ = false;
    }
  } else if (event.type == damage_event_base_ + XDamageNotify) {
    const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
    if (notify.drawable == window_ && window_ != 0) {
      XDamageSubtract(display_, damage_, None, None);
      XFlush(display_);
      if (!pending_damage_) pending_damage_ = now;
      damaged = true;
    }
  }
}

bool WindowWatch::wait_for_window(Clock::time_point deadline) {
  for (;;) {
    bool damaged = false;
    bool mapped = false;
    while (window_ == 0 && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      handle(event, Clock::now(), damaged, mapped);
    }
    if (window_ != 0) return true;
    if (Clock::now() >= deadline) return false;
    pollfd fd = {ConnectionNumber(display_), POLLIN, 0};
    poll(&fd, 1, timeout_ms_until(deadline));
  }
}

bool WindowWatch::wait_for_map(Clock::time_point deadline) {
  if (!wait_for_window(deadline)) return false;
  for (;;) {
    bool damaged = false;
    bool mapped = false;
    while (!mapped_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      handle(event, Clock::now(), damaged, mapped);
    }
    if (mapped_) return true;
    if (window_ == 0 || Clock::now() >= deadline) return false;
    pollfd fd = {ConnectionNumber(display_), POLLIN, 0};
    poll(&fd, 1, timeout_ms_until(deadline));
  }
}

std::optional<Clock::time_point> WindowWatch::next_damage(Clock::time_point deadline) {
  for (;;) {
    if (pending_damage_) {
      const Clock::time_point at = *pending_damage_;
      pending_damage_.reset();
      return at;
    }
    bool damaged = false;
    bool mapped = false;
    while (!damaged && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      // The time an event is read is the time it is seen: events are read
      // one at a time, as soon as the connection has them.
      handle(event, Clock::now(), damaged, mapped);
    }
    if (pending_damage_) continue;
    if (Clock::now() >= deadline) return std::nullopt;
    pollfd fd = {ConnectionNumber(display_), POLLIN, 0};
    poll(&fd, 1, timeout_ms_until(deadline));
  }
}

void WindowWatch::forget_damage() {
  XSync(display_, False);
  bool damaged = false;
  bool mapped = false;
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    handle(event, Clock::now(), damaged, mapped);
  }
  if (damage_ != 0) XDamageSubtract(display_, damage_, None, None);
  XSync(display_, False);
  pending_damage_.reset();
}

bool WindowWatch::damage_arrived() {
  bool damaged = false;
  bool mapped = false;
  while (XEventsQueued(display_, QueuedAfterReading) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    handle(event, Clock::now(), damaged, mapped);
  }
  return pending_damage_.has_value();
}

std::optional<Clock::time_point> WindowWatch::frame_showing(const std::function<bool()>& shown,
                                                            Clock::time_point deadline) {
  for (;;) {
    const auto damaged = next_damage(deadline);
    if (!damaged) return std::nullopt;
    if (!shown()) continue;
    if (damage_arrived()) return next_damage(deadline);
    return damaged;
  }
}

Picture WindowWatch::picture(int x, int y, int width, int height) {
  Picture result;
  if (window_ == 0) return result;
  XImage* image = XGetImage(display_, window_, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return result;
  result.width = width;
  result.height = height;
  result.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const unsigned long value = XGetPixel(image, column, row);
      result.pixels.push_back((channel(value, image->red_mask) << 16) |
                              (channel(value, image->green_mask) << 8) |
                              channel(value, image->blue_mask));
    }
  }
  XDestroyImage(image);
  return result;
}

std::uint32_t WindowWatch::pixel(int x, int y) {
  const Picture one = picture(x, y, 1, 1);
  return one.empty() ? no_pixel : one.pixels[0];
}

bool WindowWatch::wait_for_pixel(int x, int y, std::uint32_t colour, Clock::time_point deadline) {
  for (;;) {
    if (pixel(x, y) == colour) return true;
    if (Clock::now() >= deadline) return false;
    next_damage(std::min(deadline, Clock::now() + std::chrono::milliseconds(50)));
  }
}

void WindowWatch::point_into_window() {
  if (window_ == 0) return;
  XWarpPointer(display_, None, window_, 0, 0, 0, 0, 320, 200);
  XSync(display_, False);
}

void WindowWatch::start_and_show(const std::string& path, int x, int y, std::uint32_t colour) {
  if (!start(path)) throw std::runtime_error("cannot start " + path);
  if (!wait_for_map(Clock::now() + std::chrono::seconds(10))) {
    throw std::runtime_error("no window from " + path);
  }
  point_into_window();
  if (!wait_for_pixel(x, y, colour, Clock::now() + std::chrono::seconds(10))) {
    throw std::runtime_error("the first picture of " + path + " never came");
  }
}

void WindowWatch::open_first_dialogue() {
  tap(XK_1);
  if (!wait_for_pixel(4, 4, colour_cyan, Clock::now() + std::chrono::seconds(10))) {
    throw std::runtime_error("key 1 did not open the dialogue");
  }
}

void WindowWatch::press(KeySym key) {
  XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), True, CurrentTime);
  XFlush(display_);
}

void WindowWatch::release(KeySym key) {
  XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), False, CurrentTime);
  XFlush(display_);
}

void WindowWatch::tap(KeySym key) {
  press(key);
  release(key);
}

void WindowWatch::send_close() {
  if (window_ == 0) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window_;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  // With no event mask the event goes to the client that made the window,
  // as a window manager's close message does.
  XSendEvent(display_, window_, False, NoEventMask, &event);
  XFlush(display_);
}

Spread spread_of(std::vector<double> values) {
  Spread result;
  if (values.empty()) return result;
  std::sort(values.begin(), values.end());
  const auto rank = [&](double fraction) {
    // Nearest rank: the smallest value with at least this fraction at or below it.
    const auto n = static_cast<double>(values.size());
    const auto index = static_cast<std::size_t>(std::max(1.0, std::ceil(fraction * n))) - 1;
    return values[std::min(index, values.size() - 1)];
  };
  result.median = rank(0.5);
  result.p90 = rank(0.9);
  result.minimum = values.front();
  result.maximum = values.back();
  return result;
}

}  // namespace bench
