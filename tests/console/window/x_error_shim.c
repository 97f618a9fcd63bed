/* Preloaded into the program by x_error_test.sh: before the first event is
 * read on each X connection of the process (the window's, the key
 * reader's, a box's), a request the server refuses is sent on it: a map of
 * a window that does not exist, which the server answers with BadWindow. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <pthread.h>

enum { most_connections = 16 };
static Display* refused[most_connections];
static int refused_count;
static pthread_mutex_t refused_lock = PTHREAD_MUTEX_INITIALIZER;

int XNextEvent(Display* display, XEvent* event) {
  static int (*next_event)(Display*, XEvent*);
  if (next_event == NULL) *(void**)&next_event = dlsym(RTLD_NEXT, "XNextEvent");
  int first = 1;
  pthread_mutex_lock(&refused_lock);
  for (int i = 0; i < refused_count; ++i) {
    if (refused[i] == display) first = 0;
  }
  if (first && refused_count < most_connections) refused[refused_count++] = display;
  pthread_mutex_unlock(&refused_lock);
  if (first) {
    XMapWindow(display, (Window)0x1fffffff);
    XFlush(display);
  }
  return next_event(display, event);
}
