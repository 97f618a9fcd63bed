#include "survey_entry/console/window/message_box.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "survey_entry/console/window/x_errors.h"

namespace console::window {

namespace {

constexpr int margin = 14;
constexpr int button_min_width = 75;
constexpr int button_gap = 10;
constexpr int box_min_width = 240;

bool viewable(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

struct Button {
  BoxAnswer answer;
  const char* label;
  int x = 0, y = 0, width = 0, height = 0;

  bool contains(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
};

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string_view rest = text;
  for (;;) {
    const auto end = rest.find('\n');
    lines.emplace_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return lines;
}

// The title bytes are the system's 8-bit code page (Latin-1 in X); the
// extended window-manager name wants UTF-8.
std::string latin1_to_utf8(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

unsigned long colour(Display* display, unsigned short red, unsigned short green,
                     unsigned short blue, unsigned long fallback) {
  XColor c{};
  c.red = static_cast<unsigned short>(red * 257);
  c.green = static_cast<unsigned short>(green * 257);
  c.blue = static_cast<unsigned short>(blue * 257);
  c.flags = DoRed | DoGreen | DoBlue;
  if (XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &c) == 0) {
    return fallback;
  }
  return c.pixel;
}

class MessageBox {
 public:
  MessageBox(Display* display, Window owner, const std::string& title, const std::string& text,
             BoxButtons buttons)
      : display_(display), owner_(owner), lines_(split_lines(text)), kind_(buttons) {
    if (buttons == BoxButtons::yes_no) {
      buttons_ = {{BoxAnswer::yes, "Yes"}, {BoxAnswer::no, "No"}};
    } else {
      buttons_ = {{BoxAnswer::ok, "OK"}};
    }
    font_ = XLoadQueryFont(display_, "fixed");
    layout();
    create(title, text);
  }

  ~MessageBox() {
    if (gc_ != nullptr) XFreeGC(display_, gc_);
    if (font_ != nullptr) XFreeFont(display_, font_);
    if (window_ != 0) XDestroyWindow(display_, window_);
    XFlush(display_);
  }

  MessageBox(const MessageBox&) = delete;
  MessageBox& operator=(const MessageBox&) = delete;

  // Waits for the answer. A box that goes without one counts as dismissed
  // (No, or OK for an OK box): its window destroyed by another client, or
  // its connection lost (its client killed, as a window manager's
  // force-quit does).
  BoxAnswer run(const std::atomic<bool>& lost) {
    XGetInputFocus(display_, &previous_focus_, &previous_revert_);
    XMapRaised(display_, window_);
    wm_protocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
    for (;;) {
      // Events are taken only while the queue holds one, so that no call
      // waits inside Xlib on a connection that may be cut.
      while (!lost.load() && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (const auto answer = handle(event)) {
          restore_focus();
          return *answer;
        }
      }
      if (lost.load()) return unanswered();
      pollfd connection{ConnectionNumber(display_), POLLIN, 0};
      poll(&connection, 1, -1);
    }
  }

 private:
  BoxAnswer unanswered() const {
    return kind_ == BoxButtons::ok ? BoxAnswer::ok : BoxAnswer::no;
  }

  // The answer that an event gives, if any.
  std::optional<BoxAnswer> handle(XEvent& event) {
    switch (event.type) {
      case MapNotify:
        take_focus();
        break;
      case Expose:
        // Expose comes only to a viewable window: the focus that the
        // MapNotify could not give yet (a window manager maps the box's
        // frame after the box) is given now.
        take_focus();
        if (event.xexpose.count == 0) draw();
        break;
      case KeyPress:
        if (const auto answer = key(event.xkey)) return answer;
        break;
      case ButtonPress:
        if (event.xbutton.button == Button1) {
          armed_ = hit(event.xbutton.x, event.xbutton.y);
          if (armed_ >= 0) focus_ = armed_;
          draw();
        }
        break;
      case ButtonRelease:
        if (event.xbutton.button == Button1) {
          const int released = hit(event.xbutton.x, event.xbutton.y);
          const int was_armed = armed_;
          armed_ = -1;
          draw();
          if (released >= 0 && released == was_armed) {
            return buttons_[static_cast<std::size_t>(released)].answer;
          }
        }
        break;
      case ClientMessage:
        // The close box of a Yes/No box does nothing, as there is no
        // Cancel; that of an OK box is OK.
        if (event.xclient.message_type == wm_protocols_ &&
            static_cast<Atom>(event.xclient.data.l[0]) == wm_delete_window_ &&
            kind_ == BoxButtons::ok) {
          return BoxAnswer::ok;
        }
        break;
      case DestroyNotify:
        if (event.xdestroywindow.window == window_) {
          // Destroyed by another client: nothing is left to destroy.
          window_ = 0;
          return unanswered();
        }
        break;
      default:
        break;
    }
    return std::nullopt;
  }

  int text_width(const std::string& s) const {
    if (font_ == nullptr) return static_cast<int>(s.size()) * 6;
    return XTextWidth(font_, s.data(), static_cast<int>(s.size()));
  }
  int ascent() const { return font_ != nullptr ? font_->ascent : 11; }
  int descent() const { return font_ != nullptr ? font_->descent : 2; }
  int line_height() const { return ascent() + descent() + 3; }

  void layout() {
    int text_w = 0;
    for (const auto& line : lines_) text_w = std::max(text_w, text_width(line));
    const int button_h = line_height() + 10;
    int buttons_w = 0;
    for (auto& b : buttons_) {
      b.width = std::max(button_min_width, text_width(b.label) + 20);
      b.height = button_h;
      buttons_w += b.width;
    }
    buttons_w += button_gap * static_cast<int>(buttons_.size() - 1);
    width_ = std::max({box_min_width, text_w + 2 * margin, buttons_w + 2 * margin});
    const int text_h = static_cast<int>(lines_.size()) * line_height();
    height_ = margin + text_h + margin + button_h + margin;
    int x = (width_ - buttons_w) / 2;
    for (auto& b : buttons_) {
      b.x = x;
      b.y = height_ - margin - button_h;
      x += b.width + button_gap;
    }
  }

  void create(const std::string& title, const std::string& text) {
    const int screen = DefaultScreen(display_);
    const Window root = RootWindow(display_, screen);
    // Centred over the program window, or over the screen without one.
    int centre_x = DisplayWidth(display_, screen) / 2;
    int centre_y = DisplayHeight(display_, screen) / 2;
    XWindowAttributes owner_attributes;
    if (owner_ != 0 && XGetWindowAttributes(display_, owner_, &owner_attributes) != 0) {
      int root_x = 0, root_y = 0;
      Window child = 0;
      XTranslateCoordinates(display_, owner_, root, 0, 0, &root_x, &root_y, &child);
      centre_x = root_x + owner_attributes.width / 2;
      centre_y = root_y + owner_attributes.height / 2;
    }
    const int x = std::max(0, centre_x - width_ / 2);
    const int y = std::max(0, centre_y - height_ / 2);

    background_ = colour(display_, 0xF0, 0xF0, 0xF0, WhitePixel(display_, screen));
    face_ = colour(display_, 0xE1, 0xE1, 0xE1, WhitePixel(display_, screen));
    black_ = BlackPixel(display_, screen);
    window_ = XCreateSimpleWindow(display_, root, x, y, static_cast<unsigned>(width_),
                                  static_cast<unsigned>(height_), 1, black_, background_);
    XSelectInput(
        display_, window_,
        ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask);

    XStoreName(display_, window_, title.c_str());
    const std::string utf8_title = latin1_to_utf8(title);
    XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False),
                    XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8_title.data()),
                    static_cast<int>(utf8_title.size()));
    XClassHint class_hint{const_cast<char*>("survey_entry"), const_cast<char*>("survey_entry")};
    XSetClassHint(display_, window_, &class_hint);
    if (owner_ != 0) XSetTransientForHint(display_, window_, owner_);

    XSizeHints size_hints{};
    size_hints.flags = PPosition | PSize | PMinSize | PMaxSize;
    size_hints.x = x;
    size_hints.y = y;
    size_hints.width = size_hints.min_width = size_hints.max_width = width_;
    size_hints.height = size_hints.min_height = size_hints.max_height = height_;
    XSetWMNormalHints(display_, window_, &size_hints);
    XWMHints wm_hints{};
    wm_hints.flags = InputHint | StateHint;
    wm_hints.input = True;
    wm_hints.initial_state = NormalState;
    XSetWMHints(display_, window_, &wm_hints);

    wm_delete_window_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, window_, &wm_delete_window_, 1);
    const Atom type = XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False);
    const Atom dialog = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(display_, window_, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dialog), 1);
    const Atom states[] = {XInternAtom(display_, "_NET_WM_STATE_MODAL", False),
                           XInternAtom(display_, "_NET_WM_STATE_ABOVE", False)};
    XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(states), 2);

    XChangeProperty(display_, window_, XInternAtom(display_, "_SURVEY_BOX_TEXT", False), XA_STRING,
                    8, PropModeReplace, reinterpret_cast<const unsigned char*>(text.data()),
                    static_cast<int>(text.size()));
    std::vector<long> rectangles;
    for (const auto& b : buttons_)
      rectangles.insert(rectangles.end(), {b.x, b.y, b.width, b.height});
    XChangeProperty(display_, window_, XInternAtom(display_, "_SURVEY_BOX_BUTTONS", False),
                    XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(rectangles.data()),
                    static_cast<int>(rectangles.size()));

    gc_ = XCreateGC(display_, window_, 0, nullptr);
    if (font_ != nullptr) XSetFont(display_, gc_, font_->fid);
  }

  void draw() {
    XClearWindow(display_, window_);
    XSetForeground(display_, gc_, black_);
    int y = margin + ascent();
    for (const auto& line : lines_) {
      XDrawString(display_, window_, gc_, margin, y, line.data(), static_cast<int>(line.size()));
      y += line_height();
    }
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
      const Button& b = buttons_[i];
      const bool focused = static_cast<int>(i) == focus_;
      const bool pressed = static_cast<int>(i) == armed_;
      XSetForeground(display_, gc_, pressed ? background_ : face_);
      XFillRectangle(display_, window_, gc_, b.x, b.y, static_cast<unsigned>(b.width),
                     static_cast<unsigned>(b.height));
      XSetForeground(display_, gc_, black_);
      XSetLineAttributes(display_, gc_, focused ? 2u : 1u, LineSolid, CapButt, JoinMiter);
      XDrawRectangle(display_, window_, gc_, b.x, b.y, static_cast<unsigned>(b.width - 1),
                     static_cast<unsigned>(b.height - 1));
      XSetLineAttributes(display_, gc_, 1u, LineSolid, CapButt, JoinMiter);
      if (focused) {
        XSetLineAttributes(display_, gc_, 1u, LineOnOffDash, CapButt, JoinMiter);
        XDrawRectangle(display_, window_, gc_, b.x + 4, b.y + 4, static_cast<unsigned>(b.width - 9),
                       static_cast<unsigned>(b.height - 9));
        XSetLineAttributes(display_, gc_, 1u, LineSolid, CapButt, JoinMiter);
      }
      const std::string label = b.label;
      const int label_x = b.x + (b.width - text_width(label)) / 2;
      const int label_y = b.y + (b.height + ascent() - descent()) / 2;
      XDrawString(display_, window_, gc_, label_x, label_y, label.data(),
                  static_cast<int>(label.size()));
    }
    XFlush(display_);
  }

  int hit(int x, int y) const {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
      if (buttons_[i].contains(x, y)) return static_cast<int>(i);
    }
    return -1;
  }

  void move_focus(int step) {
    const int count = static_cast<int>(buttons_.size());
    focus_ = ((focus_ + step) % count + count) % count;
    draw();
  }

  std::optional<BoxAnswer> key(XKeyEvent& event) {
    char buffer[8];
    KeySym keysym = NoSymbol;
    XLookupString(&event, buffer, sizeof buffer, &keysym, nullptr);
    const bool shift = (event.state & ShiftMask) != 0;
    switch (keysym) {
      case XK_Return:
      case XK_KP_Enter:
      case XK_space:
        return buttons_[static_cast<std::size_t>(focus_)].answer;
      case XK_Tab:
        move_focus(shift ? -1 : 1);
        return std::nullopt;
      case XK_ISO_Left_Tab:
      case XK_Left:
      case XK_Up:
        move_focus(-1);
        return std::nullopt;
      case XK_Right:
      case XK_Down:
        move_focus(1);
        return std::nullopt;
      case XK_y:
      case XK_Y:
        if (kind_ == BoxButtons::yes_no) return BoxAnswer::yes;
        return std::nullopt;
      case XK_n:
      case XK_N:
        if (kind_ == BoxButtons::yes_no) return BoxAnswer::no;
        return std::nullopt;
      case XK_Escape:
        if (kind_ == BoxButtons::ok) return BoxAnswer::ok;
        return std::nullopt;
      default:
        return std::nullopt;
    }
  }

  // Takes the keyboard focus, once, as soon as the box is viewable: only a
  // viewable window may have it.
  void take_focus() {
    if (has_focus_ || !viewable(display_, window_)) return;
    XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
    has_focus_ = true;
  }

  // Gives the focus back where it was, when that place surely still exists
  // and can take it: the program window only while it is viewable (it may
  // have been iconified meanwhile).
  void restore_focus() {
    const Window previous = previous_focus_;
    if ((previous == owner_ && viewable(display_, owner_)) || previous == PointerRoot ||
        previous == None) {
      XSetInputFocus(display_, previous, previous_revert_, CurrentTime);
    }
  }

  Display* display_;
  Window owner_;
  std::vector<std::string> lines_;
  BoxButtons kind_;
  std::vector<Button> buttons_;
  XFontStruct* font_ = nullptr;
  GC gc_ = nullptr;
  Window window_ = 0;
  Atom wm_delete_window_ = 0;
  unsigned long background_ = 0, face_ = 0, black_ = 0;
  int width_ = 0, height_ = 0;
  int focus_ = 0;
  int armed_ = -1;
  bool has_focus_ = false;
  Window previous_focus_ = 0;
  int previous_revert_ = RevertToPointerRoot;
  Atom wm_protocols_ = 0;
};

}  // namespace

BoxAnswer show_message_box(const char* display_name, unsigned long owner, const std::string& title,
                           const std::string& text, BoxButtons buttons) {
  std::atomic<bool> lost{false};
  Display* display = open_box_connection(display_name, lost);
  if (display == nullptr) {
    std::fprintf(stderr, "survey_entry: %s\n%s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
    return buttons == BoxButtons::ok ? BoxAnswer::ok : BoxAnswer::no;
  }
  BoxAnswer answer;
  {
    MessageBox box(display, static_cast<Window>(owner), title, text, buttons);
    answer = box.run(lost);
  }
  // The requests still queued (the window's destruction) are sent before
  // the close, while an error they meet is still a box's.
  XSync(display, False);
  if (lost.load()) {
    // Cut with the whole display, the window's connection is gone too: the
    // run ends as for that loss, not as for a dismissed box.
    Display* probe = XOpenDisplay(display_name);
    if (probe == nullptr) end_run_display_lost(DisplayString(display));
    XCloseDisplay(probe);
  }
  close_box_connection(display);
  return answer;
}

}  // namespace console::window
