#!/usr/bin/env python3
"""Acts on the X server of $DISPLAY for the window tests, as a client of
its own (libX11 through ctypes), where xdotool has no command for it.

  x_clients.py focus-pointer-root   sets the input focus to PointerRoot: the
                                    keys go to the window under the pointer,
                                    as with no window manager or one whose
                                    focus follows the pointer
  x_clients.py hold-slots           opens connections until the server
                                    refuses one, closes one of them again,
                                    prints how many it holds and holds them
                                    until it is ended: the server then takes
                                    exactly one more client
"""
import ctypes
import signal
import sys

POINTER_ROOT = 1
REVERT_TO_POINTER_ROOT = 1
CURRENT_TIME = 0

xlib = ctypes.CDLL("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
xlib.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]


def focus_pointer_root():
    display = xlib.XOpenDisplay(None)
    if not display:
        print("x_clients.py: cannot open the display", file=sys.stderr)
        return 1
    xlib.XSetInputFocus(display, POINTER_ROOT, REVERT_TO_POINTER_ROOT, CURRENT_TIME)
    xlib.XSync(display, 0)
    xlib.XCloseDisplay(display)
    return 0


def hold_slots():
    held = []
    while True:
        display = xlib.XOpenDisplay(None)
        if not display:
            break
        held.append(display)
    if not held:
        print("x_clients.py: cannot open the display", file=sys.stderr)
        return 1
    xlib.XCloseDisplay(held.pop())
    print(len(held), flush=True)
    while True:
        signal.pause()


def main(argv):
    commands = {"focus-pointer-root": focus_pointer_root, "hold-slots": hold_slots}
    if len(argv) != 2 or argv[1] not in commands:
        print(__doc__, file=sys.stderr)
        return 2
    return commands[argv[1]]()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
