/* The yardstick for the window figures: the least a freeglut program of the
 * same shape does. A 640 x 400 double-buffered window with depth, titled
 * "Baseline", cleared to one colour. Keys are taken by the keyboard callback
 * and looked for every 10 ms by a timer, as the program's key reads poll; a
 * key seen there is echoed by redrawing the window in the other of two
 * colours. The first frame is green (0x00AA00), as the program's menu is, so
 * that the start figures look for the same pixel in both.
 *
 *   baseline_glut          runs until its window is closed or it is killed
 */
#include <GL/freeglut.h>

enum { poll_interval_ms = 10 };

static volatile int key_waiting = 0;
static int presses_echoed = 0;

static void display(void) {
  /* Green first, then blue and green by turns, one change per key echoed. */
  if (presses_echoed % 2 == 0) {
    glClearColor(0.0f, (float)0xAA / 255.0f, 0.0f, 1.0f);
  } else {
    glClearColor(0.0f, 0.0f, (float)0xAA / 255.0f, 1.0f);
  }
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glutSwapBuffers();
}

static void keyboard(unsigned char key, int x, int y) {
  (void)key;
  (void)x;
  (void)y;
  key_waiting = 1;
}

static void special(int key, int x, int y) {
  (void)key;
  (void)x;
  (void)y;
  key_waiting = 1;
}

static void poll_keys(int value) {
  (void)value;
  if (key_waiting) {
    key_waiting = 0;
    ++presses_echoed;
    glutPostRedisplay();
  }
  glutTimerFunc(poll_interval_ms, poll_keys, 0);
}

int main(int argc, char** argv) {
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH | GLUT_RGBA);
  glutInitWindowSize(640, 400);
  if (!glutGet(GLUT_DISPLAY_MODE_POSSIBLE)) return 1;
  glutCreateWindow("Baseline");
  glutDisplayFunc(display);
  glutKeyboardFunc(keyboard);
  glutSpecialFunc(special);
  glutTimerFunc(poll_interval_ms, poll_keys, 0);
  glutMainLoop();
  return 0;
}
