/* Preloaded into the program by x_error_test.sh: requests the server
 * refuses, sent on the program's X connections. X_ERROR_SHIM_MODE says
 * which:
 *   map (or unset)    before the first event is read on each X connection
 *                     of the process (the window's, the key reader's, a
 *                     box's), a map of a window that does not exist, which
 *                     the server answers with BadWindow
 *   copy-after:PATH   the first copy of the back buffer to the window
 *                     (glXCopySubBufferMESA) made once the file PATH exists
 *                     does not reach the window: a drawing into a window
 *                     that does not exist is sent instead, which the server
 *                     answers with BadDrawable, as it refuses a copy; the
 *                     file is then removed
 *   copy-every        every such copy is refused so
 * With X_ERROR_SHIM_COPY_LOG=PATH each copy asked for, refused or not,
 * appends one byte to the file PATH. */
#define _GNU_SOURCE
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const Window missing_window = (Window)0x1fffffff;

static const char* mode(void) {
  const char* value = getenv("X_ERROR_SHIM_MODE");
  return value != NULL && *value != '\0' ? value : "map";
}

enum { most_connections = 16 };
static Display* refused[most_connections];
static int refused_count;
static pthread_mutex_t refused_lock = PTHREAD_MUTEX_INITIALIZER;

int XNextEvent(Display* display, XEvent* event) {
  static int (*next_event)(Display*, XEvent*);
  if (next_event == NULL) *(void**)&next_event = dlsym(RTLD_NEXT, "XNextEvent");
  if (strcmp(mode(), "map") == 0) {
    int first = 1;
    pthread_mutex_lock(&refused_lock);
    for (int i = 0; i < refused_count; ++i) {
      if (refused[i] == display) first = 0;
    }
    if (first && refused_count < most_connections) refused[refused_count++] = display;
    pthread_mutex_unlock(&refused_lock);
    if (first) {
      XMapWindow(display, missing_window);
      XFlush(display);
    }
  }
  return next_event(display, event);
}

typedef void (*CopySubBuffer)(Display*, GLXDrawable, int, int, int, int);
static CopySubBuffer real_copy;

/* Whether this copy is to be refused. */
static int refuse_copy(void) {
  const char* m = mode();
  if (strcmp(m, "copy-every") == 0) return 1;
  const char prefix[] = "copy-after:";
  if (strncmp(m, prefix, sizeof prefix - 1) != 0) return 0;
  static int done;
  if (done) return 0;
  const char* path = m + sizeof prefix - 1;
  if (access(path, F_OK) != 0) return 0;
  done = 1;
  unlink(path);
  return 1;
}

static void copy_sub_buffer(Display* display, GLXDrawable drawable, int x, int y, int width,
                            int height) {
  const char* log = getenv("X_ERROR_SHIM_COPY_LOG");
  if (log != NULL && *log != '\0') {
    const int fd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
      (void)!write(fd, ".", 1);
      close(fd);
    }
  }
  if (refuse_copy()) {
    XFillRectangle(display, missing_window, DefaultGC(display, DefaultScreen(display)), x, y,
                   (unsigned)width, (unsigned)height);
    XFlush(display);
    return;
  }
  real_copy(display, drawable, x, y, width, height);
}

/* The program finds the copy through glXGetProcAddress: it gets the one
 * above, which calls the library's. */
static __GLXextFuncPtr proc_address(const char* real_name, const GLubyte* name) {
  __GLXextFuncPtr (*real)(const GLubyte*) = NULL;
  *(void**)&real = dlsym(RTLD_NEXT, real_name);
  __GLXextFuncPtr found = real(name);
  if (found != NULL && strcmp((const char*)name, "glXCopySubBufferMESA") == 0) {
    real_copy = (CopySubBuffer)found;
    return (__GLXextFuncPtr)copy_sub_buffer;
  }
  return found;
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte* name) {
  return proc_address("glXGetProcAddress", name);
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
  return proc_address("glXGetProcAddressARB", name);
}
