#!/usr/bin/env python3
"""Reads the program window from outside, for the window tests.

The window's pixels are taken with ImageMagick's import and compared with
the screen font (the PSF1 file the program reads) and the 16-colour palette.

  screen_tool.py text WID                 the 25 rows as text (cells decoded; a
                                          window of another size than 640x400 is
                                          sampled as with expect-frame scaled)
  screen_tool.py wait-row WID ROW TEXT [SECONDS]
                                          waits until row ROW starts with TEXT
                                          (any window size, as text)
  screen_tool.py expect-frame WID [scaled]
                                          stdin: 25 lines "ATTR|TEXT" (ATTR hex);
                                          every pixel must match (scaled: the
                                          window's size may differ from 640x400)
  screen_tool.py blink WID ROW COLUMN [SECONDS]
                                          samples that cell every few ms until the
                                          cursor (pixel row 14 a full line in a
                                          colour unlike row 13) has been seen drawn
                                          and not drawn twice over; fails after
                                          SECONDS (5)
  screen_tool.py close WID                sends the window manager's
                                          WM_DELETE_WINDOW to WID
"""
import ctypes
import gzip
import subprocess
import sys
import time

FONT = "/usr/share/consolefonts/default8x16.psf.gz"
PALETTE = [
    (0x00, 0x00, 0x00), (0x00, 0x00, 0xAA), (0x00, 0xAA, 0x00), (0x00, 0xAA, 0xAA),
    (0xAA, 0x00, 0x00), (0xAA, 0x00, 0xAA), (0xAA, 0x55, 0x00), (0xAA, 0xAA, 0xAA),
    (0x55, 0x55, 0x55), (0x55, 0x55, 0xFF), (0x55, 0xFF, 0x55), (0x55, 0xFF, 0xFF),
    (0xFF, 0x55, 0x55), (0xFF, 0x55, 0xFF), (0xFF, 0xFF, 0x55), (0xFF, 0xFF, 0xFF),
]
WIDTH, HEIGHT = 640, 400


def load_glyphs():
    data = gzip.open(FONT).read()
    assert data[0] == 0x36 and data[1] == 0x04 and data[3] == 16, "not a PSF1 8x16 font"
    return [data[4 + g * 16:4 + g * 16 + 16] for g in range(256)]


GLYPHS = load_glyphs()
# Bitmap -> character, preferring printable ASCII for glyphs that look alike.
BY_BITMAP = {}
for code in list(range(32, 127)) + list(range(0, 32)) + list(range(127, 256)):
    BY_BITMAP.setdefault(GLYPHS[code], code)


def window_size(wid):
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], check=True,
                              capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in geometry.split())
    return int(values["WIDTH"]), int(values["HEIGHT"])


def capture(wid, scaled=False):
    """The window's pixels as 640x400 RGB bytes. With scaled, a window of
    another size is sampled at the centre of each frame pixel."""
    width, height = window_size(wid) if scaled else (WIDTH, HEIGHT)
    raw = subprocess.run(["import", "-window", wid, "-depth", "8", "rgb:-"],
                         check=True, capture_output=True).stdout
    if len(raw) != width * height * 3:
        raise RuntimeError("window is not %dx%d (%d bytes)" % (width, height, len(raw)))
    if (width, height) == (WIDTH, HEIGHT):
        return raw
    out = bytearray(WIDTH * HEIGHT * 3)
    for y in range(HEIGHT):
        sy = int((y + 0.5) * height / HEIGHT)
        for x in range(WIDTH):
            i = (sy * width + int((x + 0.5) * width / WIDTH)) * 3
            o = (y * WIDTH + x) * 3
            out[o:o + 3] = raw[i:i + 3]
    return bytes(out)


def pixel(raw, x, y):
    i = (y * WIDTH + x) * 3
    return (raw[i], raw[i + 1], raw[i + 2])


def decode_cell(raw, row, column):
    """Returns the character of a cell (a blank cell gives a space)."""
    x0, y0 = (column - 1) * 8, (row - 1) * 16
    pixels = [[pixel(raw, x0 + x, y0 + y) for x in range(8)] for y in range(16)]
    colours = {p for line in pixels for p in line}
    if len(colours) == 1:
        return 32
    if len(colours) != 2:
        return ord("?")
    a, b = sorted(colours)
    for fg in (a, b):
        bitmap = bytes(sum(0x80 >> x for x in range(8) if line[x] == fg) for line in pixels)
        if bitmap in BY_BITMAP:
            return BY_BITMAP[bitmap]
    return ord("?")


def screen_text(raw):
    return ["".join(chr(decode_cell(raw, r, c)) for c in range(1, 81)) for r in range(1, 26)]


def expected_frame(rows):
    """rows: 25 (attribute, text) pairs; returns the RGB bytes of the frame."""
    out = bytearray(WIDTH * HEIGHT * 3)
    for r, (attribute, text) in enumerate(rows):
        text = text.ljust(80)[:80]
        fg, bg = PALETTE[attribute & 15], PALETTE[(attribute >> 4) & 7]
        for c, ch in enumerate(text):
            glyph = GLYPHS[ord(ch) & 0xFF]
            for y in range(16):
                for x in range(8):
                    colour = fg if glyph[y] & (0x80 >> x) else bg
                    i = ((r * 16 + y) * WIDTH + c * 8 + x) * 3
                    out[i:i + 3] = bytes(colour)
    return bytes(out)


def cursor_drawn(pixel_at):
    """pixel_at(x, y) within one cell: the cursor is pixel row 14 drawn as
    one full line in a colour unlike the pixel above it."""
    line = {pixel_at(x, 14) for x in range(8)}
    return len(line) == 1 and pixel_at(0, 13) not in line


def libx11():
    """libX11, with the types of the calls these tools make."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XGetImage.restype = ctypes.c_void_p
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XGetPixel.restype = ctypes.c_ulong
    x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
    x11.XDestroyImage.argtypes = [ctypes.c_void_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    return x11


def open_display(x11):
    """A connection to $DISPLAY."""
    display = x11.XOpenDisplay(None)
    if not display:
        raise RuntimeError("cannot open the display")
    return display


class CellReader:
    """Reads one cell of a window straight from the X server, a few
    milliseconds a read. Spawning a capture per sample takes hundreds of
    milliseconds under load, and samples spaced near the blink's whole
    period would all land in the same phase; reads this quick cannot."""

    def __init__(self, wid, row, column):
        self.x11 = libx11()
        self.display = open_display(self.x11)
        self.wid, self.x, self.y = int(wid, 0), (column - 1) * 8, (row - 1) * 16

    def close(self):
        self.x11.XCloseDisplay(self.display)

    def cursor(self):
        all_planes, z_pixmap = 0xFFFFFFFF, 2
        image = self.x11.XGetImage(self.display, self.wid, self.x, self.y, 8, 16, all_planes,
                                   z_pixmap)
        if not image:
            raise RuntimeError("cannot read the window")
        try:
            return cursor_drawn(lambda x, y: self.x11.XGetPixel(image, x, y))
        finally:
            self.x11.XDestroyImage(image)


def watch_blink(wid, row, column, seconds):
    """Samples the cell until the cursor has changed phase three times (seen
    drawn and not drawn twice over); False when seconds pass first."""
    reader = CellReader(wid, row, column)
    try:
        return blinks(reader, seconds)
    finally:
        reader.close()


def blinks(reader, seconds):
    start = time.monotonic()
    samples, last, changes, longest_gap, previous = 0, None, 0, 0.0, start
    while changes < 3:
        drawn = reader.cursor()
        now = time.monotonic()
        samples += 1
        longest_gap = max(longest_gap, now - previous)
        previous = now
        if last is not None and drawn != last:
            changes += 1
        last = drawn
        if now - start > seconds:
            print("%d phase changes in %.1f s: %d samples, longest gap between samples %d ms, "
                  "the cursor %s" % (changes, seconds, samples, longest_gap * 1000,
                                     "drawn" if last else "not drawn"))
            return False
        time.sleep(0.005)
    return True


def send_close(wid):
    x11 = libx11()

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 24)]

    display = open_display(x11)
    event = ClientMessage()
    event.type = 33  # ClientMessage
    event.window = int(wid, 0)
    event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.data[1] = 0  # CurrentTime
    # With no event mask the event goes to the client that made the window,
    # as a window manager's close message does.
    if not x11.XSendEvent(display, event.window, 0, 0, ctypes.byref(event)):
        raise RuntimeError("XSendEvent failed")
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def main(argv):
    command, wid = argv[1], argv[2]
    if command == "text":
        print("\n".join(screen_text(capture(wid, True))))
        return 0
    if command == "wait-row":
        row, text = int(argv[3]), argv[4]
        deadline = time.monotonic() + (float(argv[5]) if len(argv) > 5 else 5.0)
        while True:
            try:
                shown = screen_text(capture(wid, True))[row - 1]
            except (RuntimeError, subprocess.CalledProcessError):
                shown = ""  # the window changed its size or was not mapped yet
            if shown.startswith(text):
                return 0
            if time.monotonic() > deadline:
                print("row %d shows %r, expected %r" % (row, shown.rstrip(), text))
                return 1
            time.sleep(0.05)
    if command == "expect-frame":
        rows = []
        for line in sys.stdin.read().split("\n")[:25]:
            attribute, _, text = line.partition("|")
            rows.append((int(attribute, 16), text))
        if len(rows) != 25:
            print("expected 25 rows, got %d" % len(rows))
            return 2
        scaled = len(argv) > 3 and argv[3] == "scaled"
        expected, shown = expected_frame(rows), capture(wid, scaled)
        bad = sorted({(p // 3 // WIDTH // 16 + 1, p // 3 % WIDTH // 8 + 1)
                      for p in range(0, len(expected), 3) if expected[p:p + 3] != shown[p:p + 3]})
        if bad:
            print("%d cells differ, first: %s" % (len(bad), bad[:10]))
            print("\n".join(screen_text(shown)))
            return 1
        return 0
    if command == "blink":
        row, column = int(argv[3]), int(argv[4])
        seconds = float(argv[5]) if len(argv) > 5 else 5.0
        return 0 if watch_blink(wid, row, column, seconds) else 1
    if command == "close":
        send_close(wid)
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
