#include "survey_entry/console/window/window.h"

// GLEW must come before any other OpenGL header.
#include <GL/glew.h>
// The window library and GLX after it.
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/window/close_box.h"
#include "survey_entry/console/window/frame.h"
#include "survey_entry/console/window/x_errors.h"

namespace console::window {

namespace {

constexpr int window_width = frame_width;
constexpr int window_height = frame_height;
// The texture is a power of two in each direction, so that it works without
// the non-power-of-two extension; the frame fills its top-left corner.
constexpr int texture_width = 1024;
constexpr int texture_height = 512;

// How frames reach the window. A changed frame is shown by copying the rows
// it changes from the back buffer (GLX_MESA_copy_sub_buffer), which is then
// never swapped and so keeps the whole last frame; a whole frame (the first,
// after a reshape, an exposure or an X error) is shown by the display
// callback, as the state says:
//   swap    always by a swap: the renderer offers no partial copy.
//   repair  by one swap, after an X error on the window's connection: a swap
//           asks nothing of the back buffer, so were the copies to fail
//           each time, each failure would cost one frame, not a loop of
//           them. Then settle.
//   settle  the back buffer is not known to have the window's size (at the
//           start, after a reshape or a repair): by a swap, until a swap
//           finds the buffer settled at the last reshape's size
//           (settle_back_buffer). Then copy.
//   copy    by copies, the whole window or the changed rows: the back buffer
//           has the window's size and holds the whole frame.
// Changed frames are copied only in copy; in the other states they are
// shown whole, by the display callback.
enum class Presentation : std::uint8_t { swap, repair, settle, copy };

struct WindowState {
  const Font* font = nullptr;
  Display* display = nullptr;
  Window window = 0;
  int glut_window = 0;
  GLuint texture = 0;
  bool framebuffer_objects = false;

  // Wake-up of the loop: posted by the program thread (a changed screen,
  // through the screen's listener) and by the key reader thread (the end of
  // a pause), taken by the window thread. Posting and taking are both
  // exchanges: the take that finds a post (acquire) sees the screen as it
  // stood when the post was made (release), and a post made after a take
  // finds the flag clear and writes to wake_fd again.
  int wake_fd = -1;
  std::atomic<bool> wake_posted{false};

  // The frame shown (or about to be): its snapshot, blink phase and pixels.
  std::chrono::steady_clock::time_point start;
  ScreenSnapshot shown;
  bool shown_blinks = false;
  bool shown_phase = false;
  bool have_frame = false;
  // Pixel rows [upload_first, upload_end) of pixels differ from the texture.
  int upload_first = 0;
  int upload_end = 0;
  std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(frame_pixels);

  // The partial copy (a cursor blink, one echoed key is drawn and copied as
  // the few rows it covers), when the renderer offers it, and how the next
  // frame is shown.
  PFNGLXCOPYSUBBUFFERMESAPROC copy_sub_buffer = nullptr;
  Presentation presentation = Presentation::swap;
  int window_width_now = window_width;
  int window_height_now = window_height;
  // Set by an X error on the window's connection (any thread, inside Xlib):
  // the window thread then repairs the picture (Presentation::repair).
  std::atomic<bool> repaint_requested{false};
  // Set when another client has destroyed the window (on the window
  // thread, inside Xlib): from then on nothing is drawn or copied to it.
  std::atomic<bool> window_gone{false};
};

WindowState& state() {
  static WindowState instance;
  return instance;
}

// The window cannot be opened: says why on stderr and ends the run with the
// start failure's code, showing no window.
[[noreturn]] void fail_to_open_v(const char* format, va_list arguments) {
  std::fputs("survey_entry: ", stderr);
  std::vfprintf(stderr, format, arguments);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  _exit(exit_code::no_display);
}

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail_to_open(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  fail_to_open_v(format, arguments);
}

// The close box only asks for the stop: the window stays open until the
// stop sequence ends the process.
void request_close() { close_request.store(true); }

// The window destroyed by another client is the window closed: the close
// request, as for the close box. The run ends as a stop ends it (after the
// answer, while an error box is up), and until then no frame is drawn to a
// window that is gone.
void window_destroyed() {
  state().window_gone.store(true, std::memory_order_relaxed);
  request_close();
}

bool window_gone() { return state().window_gone.load(std::memory_order_relaxed); }

std::uint64_t frame_counter_now() {
  const auto elapsed = std::chrono::steady_clock::now() - state().start;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return static_cast<std::uint64_t>(ms) / frame_period_ms;
}

void present_changed_rows();

// Builds a new frame when the screen, the cursor or (for a screen that
// blinks) the blink phase differ from the frame shown.
void refresh_frame() {
  WindowState& s = state();
  if (pause_flag.load() || window_gone()) return;
  const bool phase = blink_phase_of(frame_counter_now());
  ScreenSnapshot snapshot = take_screen_snapshot();
  const bool blinks = snapshot_blinks(snapshot);
  if (s.have_frame && snapshot == s.shown && (!blinks || phase == s.shown_phase)) return;
  RowSpan changed{1, screen_rows + 1};
  if (s.have_frame) {
    changed = update_frame(s.shown, s.shown_phase, snapshot, phase, *s.font, s.pixels);
  } else {
    compose_frame(snapshot, *s.font, phase, s.pixels);
  }
  // Widen the pixel rows still to be uploaded by those redrawn now.
  if (!changed.empty()) {
    const int first = (changed.first - 1) * glyph_height;
    const int end = (changed.end - 1) * glyph_height;
    const bool none_pending = s.upload_first >= s.upload_end;
    s.upload_first = none_pending ? first : std::min(s.upload_first, first);
    s.upload_end = none_pending ? end : std::max(s.upload_end, end);
  }
  s.shown = snapshot;
  s.shown_blinks = blinks;
  s.shown_phase = phase;
  s.have_frame = true;
  if (s.presentation == Presentation::copy) {
    present_changed_rows();
  } else {
    glutPostRedisplay();
  }
}

// How long the loop may sleep when nothing arrives: for ever, unless the
// frame blinks (until the next change of the blink phase). While a pause is
// on no frame is shown; the key that ends it wakes the loop.
int sleep_timeout_ms() {
  WindowState& s = state();
  if (pause_flag.load() || window_gone() || !s.shown_blinks) return -1;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - s.start)
                           .count();
  constexpr std::int64_t phase_ms = static_cast<std::int64_t>(blink_phase_bit) * frame_period_ms;
  const std::int64_t next_change = (elapsed / phase_ms + 1) * phase_ms;
  return static_cast<int>(next_change - elapsed) + 1;
}

void upload_changed_rows() {
  WindowState& s = state();
  glBindTexture(GL_TEXTURE_2D, s.texture);
  if (s.upload_first < s.upload_end) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, s.upload_first, frame_width, s.upload_end - s.upload_first,
                    GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                    s.pixels.data() + static_cast<std::size_t>(s.upload_first) * frame_width);
  }
}

// Draws the frame over the whole window (within the scissor box, if one is on).
void draw_frame_quad() {
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  constexpr float u = static_cast<float>(frame_width) / texture_width;
  constexpr float v = static_cast<float>(frame_height) / texture_height;
  // The whole window shows the frame, its top row at the top.
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-1.0f, 1.0f);
  glTexCoord2f(u, 0.0f);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(u, v);
  glVertex2f(1.0f, -1.0f);
  glTexCoord2f(0.0f, v);
  glVertex2f(-1.0f, -1.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

// Draws the part of the frame that falls in the window's pixel box (GL
// coordinates, from the bottom-left corner).
void draw_frame_within(int x, int y, int width, int height) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(x, y, width, height);
  draw_frame_quad();
  glDisable(GL_SCISSOR_TEST);
}

// Shows only the window rows that the changed frame rows cover.
void present_changed_rows() {
  WindowState& s = state();
  if (s.upload_first >= s.upload_end) return;
  const int height = s.window_height_now;
  // Frame rows [first, end) cover window rows [top, bottom) from the top,
  // widened by one for the scaling's rounding.
  const int top = std::max(0, s.upload_first * height / frame_height - 1);
  const int bottom = std::min(height, (s.upload_end * height + frame_height - 1) / frame_height + 1);
  upload_changed_rows();
  s.upload_first = s.upload_end = 0;
  draw_frame_within(0, height - bottom, s.window_width_now, bottom - top);
  s.copy_sub_buffer(s.display, s.window, 0, height - bottom, s.window_width_now, bottom - top);
  glFlush();
}

// Whether a ConfigureNotify of the window with a size other than the last
// reshape's waits in Xlib's queue, after what the server has sent is read.
// Events come in the order the server sends them, so every resize made
// before the server answered the renderer's last question for the size is
// in the queue by now, or has been handled.
bool resize_pending() {
  WindowState& s = state();
  struct Probe {
    Window window;
    int width;
    int height;
    bool found;
  } probe{s.window, s.window_width_now, s.window_height_now, false};
  XEvent event;
  XCheckIfEvent(
      s.display, &event,
      [](Display*, XEvent* queued, XPointer argument) -> Bool {
        auto& p = *reinterpret_cast<Probe*>(argument);
        if (queued->type == ConfigureNotify && queued->xconfigure.window == p.window &&
            (queued->xconfigure.width != p.width || queued->xconfigure.height != p.height)) {
          p.found = true;
        }
        return False;  // none is taken from the queue
      },
      reinterpret_cast<XPointer>(&probe));
  return probe.found;
}

// The work-around for the software renderer's back buffer (Mesa's drisw),
// with the frame drawn in it: true when the buffer has settled at the size
// of the last reshape and holds the whole frame, so that copies of any part
// of the window lie inside it; false when the frame was shown by a swap.
//
// The renderer sizes its back buffer only at the first draw after a swap,
// by asking the server for the window's size at that moment. A copy of a
// rectangle that reaches outside the buffer makes it put an image outside
// its own, which the server refuses; and while the window is being resized
// the size it got may be newer than the last reshape, whose ConfigureNotify
// still waits in the queue. So: swap (which shows the buffer whole at any
// size), make the sizing draw at once (glFlush), then look in the queue. A
// resize waiting there means the reshape still to come draws again: show
// this frame by a swap. Else the buffer has the last reshape's size; but
// the sizing draw may still be placed for the old size (the renderer takes
// the new one only for the draws after it), so the frame is drawn once more.
bool settle_back_buffer() {
  glutSwapBuffers();
  draw_frame_quad();
  glFlush();
  if (resize_pending()) {
    glutSwapBuffers();
    return false;
  }
  draw_frame_quad();
  return true;
}

// The whole window: on the first frame, after a reshape, an exposure or an
// X error, shown as the presentation state says.
void display_callback() {
  WindowState& s = state();
  if (window_gone()) return;
  upload_changed_rows();
  s.upload_first = s.upload_end = 0;
  // The frame covers the whole window, so nothing needs clearing first.
  draw_frame_quad();
  switch (s.presentation) {
    case Presentation::swap:
      glutSwapBuffers();
      return;
    case Presentation::repair:
      glutSwapBuffers();
      s.presentation = Presentation::settle;
      return;
    case Presentation::settle:
      if (!settle_back_buffer()) return;
      s.presentation = Presentation::copy;
      break;
    case Presentation::copy:
      break;
  }
  s.copy_sub_buffer(s.display, s.window, 0, 0, s.window_width_now, s.window_height_now);
  glFlush();
}

// A new size: the back buffer must settle at it before copies go on. A
// repair still to be shown stays first.
void reshape_callback(int width, int height) {
  WindowState& s = state();
  s.window_width_now = width;
  s.window_height_now = height;
  if (s.presentation == Presentation::copy) s.presentation = Presentation::settle;
  glViewport(0, 0, width, height);
  glutPostRedisplay();
}

// After an X error on the window's connection, whatever request failed: the
// next frame is drawn whole and shown by a swap.
void repair_picture() {
  WindowState& s = state();
  if (s.presentation != Presentation::swap) s.presentation = Presentation::repair;
  glutPostRedisplay();
}

// An X error on the window's connection (inside Xlib, on the thread that met
// it): whatever request failed, the next frame repairs the picture.
void repaint_after_x_error() {
  state().repaint_requested.store(true, std::memory_order_relaxed);
  wake_program_window();
}

void create_texture() {
  WindowState& s = state();
  glGenTextures(1, &s.texture);
  glBindTexture(GL_TEXTURE_2D, s.texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texture_width, texture_height, 0, GL_BGRA,
               GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
}

void drain_wake_fd() {
  std::uint64_t count = 0;
  while (read(state().wake_fd, &count, sizeof count) > 0) {
  }
}

}  // namespace

unsigned long open_program_window(int& argc, char** argv, const Font& font) {
  WindowState& s = state();
  s.font = &font;
  s.start = std::chrono::steady_clock::now();

  // freeglut reports a display it cannot open (or one without GLX) through
  // its error function, which ends the run with the start failure's code.
  glutInitErrorFunc(fail_to_open_v);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
  glutInitWindowSize(window_width, window_height);
  if (glutGet(GLUT_DISPLAY_MODE_POSSIBLE) == 0) {
    fail_to_open("the double-buffered display mode with depth is not available");
  }
  // freeglut would let the window system choose the place; put the window in
  // the middle of the screen, or at its top-left corner when it is smaller.
  const int screen_width = glutGet(GLUT_SCREEN_WIDTH);
  const int screen_height = glutGet(GLUT_SCREEN_HEIGHT);
  glutInitWindowPosition(screen_width > window_width ? (screen_width - window_width) / 2 : 0,
                         screen_height > window_height ? (screen_height - window_height) / 2 : 0);
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);

  s.glut_window = glutCreateWindow("Untitled");
  s.display = glXGetCurrentDisplay();
  s.window = static_cast<Window>(glXGetCurrentDrawable());
  if (s.display == nullptr || s.window == 0) fail_to_open("the window has no OpenGL context");

  const GLenum glew_status = glewInit();
  if (glew_status == GLEW_OK) {
    s.framebuffer_objects = GLEW_ARB_framebuffer_object || GLEW_EXT_framebuffer_object;
  } else {
    // The frame is drawn with OpenGL 1.1 alone, so the window still works.
    std::fprintf(stderr, "survey_entry: GLEW: %s\n",
                 reinterpret_cast<const char*>(glewGetErrorString(glew_status)));
  }

  create_texture();
  const char* glx_extensions =
      glXQueryExtensionsString(s.display, DefaultScreen(s.display));
  if (glx_extensions != nullptr && std::strstr(glx_extensions, "GLX_MESA_copy_sub_buffer")) {
    s.copy_sub_buffer = reinterpret_cast<PFNGLXCOPYSUBBUFFERMESAPROC>(
        glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
  }
  if (s.copy_sub_buffer != nullptr) s.presentation = Presentation::settle;
  s.wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (s.wake_fd < 0) fail_to_open("eventfd: %s", std::strerror(errno));
  intercept_window_close(s.display, s.window, request_close, window_destroyed);
  set_x_error_listener(s.display, repaint_after_x_error);
  glutDisplayFunc(display_callback);
  glutReshapeFunc(reshape_callback);
  // The first frame is built by serve_program_window, once the program
  // thread has had the time to draw its first screen.
  return s.window;
}

void wake_program_window() {
  WindowState& s = state();
  if (s.wake_fd < 0) return;
  if (!s.wake_posted.exchange(true, std::memory_order_release)) {
    const std::uint64_t one = 1;
    // A full counter (never reached) means a wake-up is pending anyway.
    [[maybe_unused]] const ssize_t written = write(s.wake_fd, &one, sizeof one);
  }
}

const char* program_display_name() {
  return state().display != nullptr ? DisplayString(state().display) : nullptr;
}

bool framebuffer_objects_supported() { return state().framebuffer_objects; }

void serve_program_window() {
  WindowState& s = state();
  const int x_fd = ConnectionNumber(s.display);
  // The first textured draw makes Mesa's software renderer set up its
  // shader compiler and build its shaders, tens of milliseconds. Paid here,
  // on one pixel of the back buffer that the first frame covers again, it
  // runs while the program thread draws its first screen, so that the
  // first frame shown already holds that screen rather than an empty one.
  draw_frame_within(0, 0, 1, 1);
  for (;;) {
    // Take the wake-up before reading the screen: a change after this
    // point posts a new one, so none is lost.
    s.wake_posted.exchange(false, std::memory_order_acquire);
    drain_wake_fd();
    // What the server has sent is read before a frame is drawn (the queue
    // is empty here: the last pass took every event), so that the window's
    // destruction, once the server has sent it, stops the frames first.
    XEventsQueued(s.display, QueuedAfterReading);
    if (s.repaint_requested.exchange(false, std::memory_order_relaxed)) repair_picture();
    refresh_frame();
    glutMainLoopEvent();
    XFlush(s.display);
    // A post seen here is taken at the top of the loop.
    if (XEventsQueued(s.display, QueuedAlready) > 0 ||
        s.wake_posted.load(std::memory_order_relaxed)) {
      continue;
    }
    pollfd fds[2] = {{x_fd, POLLIN, 0}, {s.wake_fd, POLLIN, 0}};
    poll(fds, 2, sleep_timeout_ms());
  }
}

}  // namespace console::window
