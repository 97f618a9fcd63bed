#!/usr/bin/env python3
"""The output file after the program is killed with SIGKILL in the middle of
a long radiation dialogue.

  crash_consistency_test.py PROGRAM

Every write reaches the file at once, so whatever the moment of the kill the
file holds the records of the answers, whole and in order, and at most the
record being written is cut. Half of the runs are killed at a random moment
while the keys arrive ("hot"); the others after a random number of keys,
once the program has written every record they complete ("settled"): then
the file holds exactly the records that the typed answers complete, and
none when the file name was not yet answered. CRASH_SEED repeats a sequence of runs, CRASH_RUNS
sets their number.
"""
import os
import signal
import subprocess
import sys
import time

# The modules beside this one, read without leaving compiled copies in the
# source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import radiation_script as rs  # noqa: E402


def check_kill(program, rng, index):
    run = rs.Run(program)
    try:
        run.start_dialogue()
        settled = index % 2 == 1
        typed = 0
        if settled:
            for typed in rs.type_chunks(rs.KEYS[:rng.randint(0, len(rs.KEYS))], rng):
                pass
            done = rs.answers_completed(typed)
            rs.settle(run, rs.file_after(done))
            os.kill(run.process.pid, signal.SIGKILL)
        else:
            # One keystroke after another in the background of the kill.
            typing = subprocess.Popen(rs.key_command(rs.KEYS), stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            time.sleep(rng.uniform(0.0, len(rs.KEYS) * rs.KEY_DELAY_MS / 1000.0))
            os.kill(run.process.pid, signal.SIGKILL)
            typing.kill()
            typing.wait()
            # A typist killed between a key's press and its release leaves the
            # key down in the X server, which then drops that key's next press
            # in the next run: let go of every key the script types.
            rs.xdotool("keyup", *sorted({rs.KEYSYMS.get(k, k) for k in rs.KEYS}))
        run.wait_exit()
        data = run.file()
        if settled:
            done = rs.answers_completed(typed)
            expected = rs.file_after(done)
            if data != expected:
                raise AssertionError("kill %d (settled, %d answers): file %r, expected %r" %
                                     (index, done, data, expected))
            return "settled, %d answers, %d records" % (done, rs.record_count(done))
        shape = rs.whole_record_count(data or b"")
        if shape is None:
            raise AssertionError("kill %d: the file is not whole records in order: %r" %
                                 (index, data))
        return "hot, %d records%s" % (shape[0], ", the next one cut" if shape[1] else "")
    finally:
        run.end()


check_kill.default_runs = 20

if __name__ == "__main__":
    sys.exit(rs.run_checks("crash_consistency_test", check_kill, sys.argv))
