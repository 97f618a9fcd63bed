"""A long radiation dialogue (menu key "4") typed into the program window,
for the tests that end a run in its middle and then read the output file.

Each Run copies the program into a folder of its own (its relative files land
next to the executable), starts it under the test's Xvfb server and finds its
window. The script is typed with xdotool in chunks of random length, so that
a run can end in the middle of an answer as well as between answers.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import screen_tool  # noqa: E402  (the window tests' reader of the screen)

FILE_NAME = "out.txt"
# The line input takes each key as it comes; 15 ms between keystrokes
# leaves it the time, so the 15-key queue does not fill and no typed key is
# lost.
KEY_DELAY_MS = 15


def number_text(typed):
    """The number text of the script's values: whole numbers and short
    fractions, written with their sign position and one blank."""
    sign = "-" if typed.startswith("-") else " "
    digits = typed.lstrip("-")
    if digits.startswith("0."):
        digits = digits[1:]
    return sign + digits + " "


def make_script(points_per_station):
    """Returns (answers, records, completes): the answers in order, the
    records of the file, and for each record the number of answers after
    which it is in the file."""
    stations = len(points_per_station)
    answers = [FILE_NAME, "t%d" % stations, str(stations)]
    records = ["t%d,%s" % (stations, number_text(str(stations)))]
    completes = [len(answers)]
    for s, points in enumerate(points_per_station, 1):
        values = ["%d.5" % s, "-%d" % s, "0.25", "0", "1.5", str(points)]
        answers += ["e%d" % s] + values
        records.append(",".join(["e%d" % s] + [number_text(v) for v in values]))
        completes.append(len(answers))
        for k in range(1, points + 1):
            values = ["%d.125" % k, "98.765", str(s * 100 + k), "1.6"]
            answers += ["p%dx%d" % (s, k)] + values
            records.append(",".join(["p%dx%d" % (s, k)] + [number_text(v) for v in values]))
            completes.append(len(answers))
    answers += ["ana", "bruno"]
    records += ["ana", "bruno"]
    completes += [len(answers), len(answers)]
    return answers, [r.encode() + b"\r\n" for r in records], completes


ANSWERS, RECORDS, COMPLETES = make_script([2, 0, 3, 1, 1, 2])
KEYS = "".join(a + "\n" for a in ANSWERS)


def start_xvfb():
    # -noreset: a server that resets when its last client leaves drops the
    # connections made during the reset, and each run's program connects
    # while the previous run's clients (the killed program, xdotool) leave.
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                               "1024x768x24", "-nolisten", "tcp", "-noreset"],
                              pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(read_end)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return server


def xdotool(*args, check=True):
    return subprocess.run(["xdotool", *args], check=check, capture_output=True, text=True)


# The runs' folders go on a memory file system where there is one. The
# program syncs each record to the disk before it takes the next key, and
# on a disk busy with other work one sync can take most of a second, which
# would only make the runs slow. What these tests check of the file does not
# depend on the disk.
RUNS_PARENT = "/dev/shm" if os.access("/dev/shm", os.W_OK | os.X_OK) else None


class Run:
    """One program started in a folder of its own."""

    def __init__(self, program):
        self.folder = tempfile.mkdtemp(prefix="crash_run_", dir=RUNS_PARENT)
        binary = os.path.join(self.folder, "survey_entry")
        shutil.copy(program, binary)
        # What the program says on its standard error goes into the failure
        # messages.
        self.stderr_path = os.path.join(self.folder, "stderr")
        with open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen([binary], cwd="/", stdout=subprocess.DEVNULL,
                                            stderr=stderr)
        self.window = None
        deadline = time.monotonic() + 10
        while self.window is None and time.monotonic() < deadline:
            found = xdotool("search", "--pid", str(self.process.pid), "--name", "^Untitled$",
                            check=False).stdout.split()
            self.window = found[0] if found else None
            if self.window is None:
                time.sleep(0.05)
        if self.window is None:
            status = self.state()
            self.end()
            raise AssertionError("no window titled Untitled after 10 s (%s)" % status)
        # No window manager: focus the window and keep the pointer in it.
        xdotool("windowfocus", self.window, check=False)
        xdotool("mousemove", "--window", self.window, "320", "200")

    def wait_row(self, row, text, seconds=5.0):
        # A window that is not mapped yet cannot be captured: try again.
        deadline = time.monotonic() + seconds
        while True:
            try:
                shown = screen_tool.screen_text(screen_tool.capture(self.window))[row - 1]
            except (subprocess.CalledProcessError, RuntimeError) as error:
                shown = "(no capture: %s)" % error
            if shown.startswith(text):
                return
            if time.monotonic() > deadline:
                raise AssertionError("row %d shows %r, expected %r (%s)" %
                                     (row, shown.rstrip(), text, self.state()))
            time.sleep(0.05)

    def state(self):
        """The exit code of the program, or that it still runs, and what it
        wrote on its standard error."""
        code = self.process.poll()
        try:
            with open(self.stderr_path, "rb") as f:
                said = f.read().decode(errors="replace").strip()
        except OSError:
            said = ""
        return "%s; stderr %r" % ("still running" if code is None else "exit code %r" % code,
                                  said)

    def start_dialogue(self):
        self.wait_row(23, " CONSULTE")
        xdotool("key", "4")
        self.wait_row(3, "Nome do Ficheiro :")

    def file(self):
        """The output file's bytes, or None when there is none."""
        try:
            with open(os.path.join(self.folder, FILE_NAME), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def wait_exit(self, seconds=5.0):
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def end(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


KEYSYMS = {".": "period", "-": "minus", "\n": "Return"}


def key_command(keys):
    """An xdotool command that types keys (letters, digits, ".", "-" and
    newlines, which are Enter), one keystroke each."""
    return ["xdotool", "key", "--delay", str(KEY_DELAY_MS)] + [KEYSYMS.get(k, k) for k in keys]


def type_chunks(keys, rng):
    """Types keys in chunks of 1 to 12 bytes; yields the count typed after
    each chunk."""
    typed = 0
    while typed < len(keys):
        chunk = keys[typed:typed + rng.randint(1, 12)]
        subprocess.run(key_command(chunk), check=True, capture_output=True)
        typed += len(chunk)
        yield typed


def answers_completed(typed):
    """The number of answers whose Enter is among the first typed keys."""
    return KEYS[:typed].count("\n")


def records_of(answers):
    """The bytes of every record that the first answers complete."""
    return b"".join(r for r, c in zip(RECORDS, COMPLETES) if c <= answers)


def file_after(answers):
    """The output file after the first answers: none before the first answer
    (the file name) opens it, else the records those answers complete."""
    return records_of(answers) if answers >= 1 else None


def record_count(answers):
    """The number of records that the first answers complete."""
    return sum(1 for c in COMPLETES if c <= answers)


def whole_record_count(data):
    """(count, cut): the number of whole records that data starts with, and
    whether the start of the next record follows them; None when data is
    anything else."""
    position = count = 0
    for record in RECORDS:
        if data[position:position + len(record)] != record:
            break
        position += len(record)
        count += 1
    rest = data[position:]
    if count < len(RECORDS) and RECORDS[count].startswith(rest):
        return count, len(rest) > 0
    if not rest:
        return count, False
    return None


def settle(run, expected, seconds=10.0):
    """Waits until the program has taken the keys typed: until its file
    holds the expected bytes (None: no file), the records that the typed
    answers complete. Keys typed after the last of them complete no record,
    so whether they are taken yet changes nothing the tests read. Waiting
    for the file rather than for a fixed time keeps a slow machine from
    cutting the wait short; a program that writes anything else is seen
    when the test compares the file."""
    deadline = time.monotonic() + seconds
    while run.file() != expected and time.monotonic() < deadline:
        time.sleep(0.02)


def run_checks(name, check, argv):
    """Runs check(program, rng, index) for CRASH_RUNS runs (default_runs
    without it) under one Xvfb server and prints one line per run."""
    program = argv[1]
    seed = int(os.environ.get("CRASH_SEED", str(random.randrange(1 << 30))))
    runs = int(os.environ.get("CRASH_RUNS", "0")) or check.default_runs
    print("%s: seed %d, %d runs" % (name, seed, runs), flush=True)
    rng = random.Random(seed)
    server = start_xvfb()
    failures = 0
    try:
        for index in range(runs):
            try:
                print("  %2d: %s" % (index, check(program, rng, index)), flush=True)
            except AssertionError as error:
                failures += 1
                print("FAIL: %s" % error, flush=True)
    finally:
        server.terminate()
        server.wait()
    if failures:
        print("%s: %d of %d runs failed (CRASH_SEED=%d repeats them)" % (name, failures, runs, seed))
        return 1
    print("%s: ok" % name)
    return 0
