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

#include "survey_entry/console/window/box_model.h"
#include "survey_entry/console/window/x_errors.h"

namespace console::window {

namespace {

bool viewable(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

// The font's measures; without the font (the server has no "fixed"), those
// of its usual 6x13 form.
BoxFontMetrics metrics_of(const XFontStruct* font) {
  if (font == nullptr) {
    return {[](std::string_view s) { return static_cast<int>(s.size()) * 6; }, 11, 2};
  }
  return {[font](std::string_view s) {
            return XTextWidth(const_cast<XFontStruct*>(font), s.data(), static_cast<int>(s.size()));
          },
          font->ascent, font->descent};
}

// The box's key for a key press: its keysym as the keyboard's layout and
// Shift give it.
BoxKey box_key(XKeyEvent& event) {
  char buffer[8];
  KeySym keysym = NoSymbol;
  XLookupString(&event, buffer, sizeof buffer, &keysym, nullptr);
  const bool shift = (event.state & ShiftMask) != 0;
  switch (keysym) {
    case XK_Return:
    case XK_KP_Enter:
      return BoxKey::enter;
    case XK_space:
      return BoxKey::space;
    case XK_Tab:
      return shift ? BoxKey::back_tab : BoxKey::tab;
    case XK_ISO_Left_Tab:
      return BoxKey::back_tab;
    case XK_Left:
      return BoxKey::left;
    case XK_Up:
      return BoxKey::up;
    case XK_Right:
      return BoxKey::right;
    case XK_Down:
      return BoxKey::down;
    case XK_y:
    case XK_Y:
      return BoxKey::y;
    case XK_n:
    case XK_N:
      return BoxKey::n;
    case XK_Escape:
      return BoxKey::escape;
    default:
      return BoxKey::other;
  }
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

// The box's window on its own connection: it shows what the model holds
// and feeds the model its key and pointer events.
class MessageBox {
 public:
  MessageBox(Display* display, Window owner, const std::string& title, const std::string& text,
             BoxButtons buttons)
      : display_(display),
        owner_(owner),
        font_(XLoadQueryFont(display, "fixed")),
        model_(text, buttons, metrics_of(font_)) {
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
      if (lost.load()) return model_.dismissed();
      pollfd connection{ConnectionNumber(display_), POLLIN, 0};
      poll(&connection, 1, -1);
    }
  }

 private:
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
        return apply(model_.key(box_key(event.xkey)));
      case ButtonPress:
        if (event.xbutton.button == Button1) {
          return apply(model_.press(event.xbutton.x, event.xbutton.y));
        }
        break;
      case ButtonRelease:
        if (event.xbutton.button == Button1) {
          return apply(model_.release(event.xbutton.x, event.xbutton.y));
        }
        break;
      case ClientMessage:
        if (event.xclient.message_type == wm_protocols_ &&
            static_cast<Atom>(event.xclient.data.l[0]) == wm_delete_window_) {
          return model_.close_button();
        }
        break;
      case DestroyNotify:
        if (event.xdestroywindow.window == window_) {
          // Destroyed by another client: nothing is left to destroy.
          window_ = 0;
          return model_.dismissed();
        }
        break;
      default:
        break;
    }
    return std::nullopt;
  }

  std::optional<BoxAnswer> apply(const BoxOutcome& outcome) {
    if (outcome.redraw) draw();
    return outcome.answer;
  }

  void create(const std::string& title, const std::string& text) {
    const BoxLayout& layout = model_.layout();
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
    const int x = std::max(0, centre_x - layout.width / 2);
    const int y = std::max(0, centre_y - layout.height / 2);

    background_ = colour(display_, 0xF0, 0xF0, 0xF0, WhitePixel(display_, screen));
    face_ = colour(display_, 0xE1, 0xE1, 0xE1, WhitePixel(display_, screen));
    black_ = BlackPixel(display_, screen);
    window_ = XCreateSimpleWindow(display_, root, x, y, static_cast<unsigned>(layout.width),
                                  static_cast<unsigned>(layout.height), 1, black_, background_);
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
    size_hints.width = size_hints.min_width = size_hints.max_width = layout.width;
    size_hints.height = size_hints.min_height = size_hints.max_height = layout.height;
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
    for (const BoxButton& b : layout.buttons) {
      rectangles.insert(rectangles.end(), {b.rect.x, b.rect.y, b.rect.width, b.rect.height});
    }
    XChangeProperty(display_, window_, XInternAtom(display_, "_SURVEY_BOX_BUTTONS", False),
                    XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(rectangles.data()),
                    static_cast<int>(rectangles.size()));

    gc_ = XCreateGC(display_, window_, 0, nullptr);
    if (font_ != nullptr) XSetFont(display_, gc_, font_->fid);
  }

  // Draws the text and the buttons: the one held down in the lighter face,
  // the focused one with a thicker border and a dashed frame inside.
  void draw() {
    const BoxLayout& layout = model_.layout();
    XClearWindow(display_, window_);
    XSetForeground(display_, gc_, black_);
    for (const BoxTextLine& line : layout.lines) {
      XDrawString(display_, window_, gc_, line.x, line.baseline, line.text.data(),
                  static_cast<int>(line.text.size()));
    }
    for (std::size_t i = 0; i < layout.buttons.size(); ++i) {
      const BoxButton& b = layout.buttons[i];
      const BoxRect& r = b.rect;
      const bool focused = static_cast<int>(i) == model_.focused();
      const bool held = static_cast<int>(i) == model_.held();
      XSetForeground(display_, gc_, held ? background_ : face_);
      XFillRectangle(display_, window_, gc_, r.x, r.y, static_cast<unsigned>(r.width),
                     static_cast<unsigned>(r.height));
      XSetForeground(display_, gc_, black_);
      XSetLineAttributes(display_, gc_, focused ? 2u : 1u, LineSolid, CapButt, JoinMiter);
      XDrawRectangle(display_, window_, gc_, r.x, r.y, static_cast<unsigned>(r.width - 1),
                     static_cast<unsigned>(r.height - 1));
      XSetLineAttributes(display_, gc_, 1u, LineSolid, CapButt, JoinMiter);
      if (focused) {
        XSetLineAttributes(display_, gc_, 1u, LineOnOffDash, CapButt, JoinMiter);
        XDrawRectangle(display_, window_, gc_, r.x + 4, r.y + 4, static_cast<unsigned>(r.width - 9),
                       static_cast<unsigned>(r.height - 9));
        XSetLineAttributes(display_, gc_, 1u, LineSolid, CapButt, JoinMiter);
      }
      XDrawString(display_, window_, gc_, b.label_x, b.label_baseline, b.label.data(),
                  static_cast<int>(b.label.size()));
    }
    XFlush(display_);
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
  XFontStruct* font_;
  BoxModel model_;
  GC gc_ = nullptr;
  Window window_ = 0;
  Atom wm_delete_window_ = 0;
  unsigned long background_ = 0, face_ = 0, black_ = 0;
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
    return dismissed_answer(buttons);
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
