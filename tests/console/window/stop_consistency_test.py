#!/usr/bin/env python3
"""The output file and the exit code after a stop in the middle of a long
radiation dialogue.

  stop_consistency_test.py PROGRAM

The run is ended, after a random number of keys, with a stop key
(Ctrl+Scroll Lock, Ctrl+Break, Alt+F4) or the window's close box (a
WM_DELETE_WINDOW message), taking turns. A stop takes effect at the end of
the statement in progress, so the file never holds a cut record, never more
records than the typed answers complete, and the exit code is 0. In half of
the runs the stop comes while keys are still being taken ("hot"); in the
others once the program has written every record the typed keys complete
("settled"), and then the file holds exactly the records of the typed
answers. In every third run the window is also resized to random sizes
between the chunks of keys, as a desktop resizes it while they come, which
changes none of this. CRASH_SEED repeats a sequence of runs, CRASH_RUNS
sets their number.
"""
import os
import sys

# The modules beside this one, read without leaving compiled copies in the
# source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import radiation_script as rs  # noqa: E402

STOPS = ["ctrl+Scroll_Lock", "ctrl+Pause", "alt+F4", "close-box"]


def check_stop(program, rng, index):
    how = STOPS[index % len(STOPS)]
    settled = (index // len(STOPS)) % 2 == 1
    resized = index % 3 == 0
    run = rs.Run(program)
    try:
        run.start_dialogue()
        typed = 0
        for typed in rs.type_chunks(rs.KEYS[:rng.randint(0, len(rs.KEYS))], rng):
            if resized and rng.random() < 0.5:
                rs.xdotool("windowsize", run.window, str(rng.randint(1, 1600)),
                           str(rng.randint(1, 1000)))
        if settled:
            done = rs.answers_completed(typed)
            rs.settle(run, rs.file_after(done))
        if how == "close-box":
            rs.screen_tool.send_close(run.window)
        else:
            rs.xdotool("key", how)
        code = run.wait_exit()
        label = "stop %d (%s, %s%s)" % (index, how, "settled" if settled else "hot",
                                        ", resized" if resized else "")
        if code != 0:
            raise AssertionError("%s: exit code %r" % (label, code))
        data = run.file()
        shape = rs.whole_record_count(data or b"")
        if shape is None:
            raise AssertionError("%s: the file is not whole records in order: %r" % (label, data))
        if shape[1]:
            raise AssertionError("%s: the file ends in a cut record: %r" % (label, data))
        done = rs.answers_completed(typed)
        if shape[0] > rs.record_count(done):
            raise AssertionError("%s: %d records after %d answers" % (label, shape[0], done))
        if settled and data != rs.file_after(done):
            raise AssertionError("%s: %d answers, file %r" % (label, done, data))
        return "%s, %s%s, %d answers, %d records" % (how, "settled" if settled else "hot",
                                                     ", resized" if resized else "", done,
                                                     shape[0])
    finally:
        run.end()


check_stop.default_runs = 12

if __name__ == "__main__":
    sys.exit(rs.run_checks("stop_consistency_test", check_stop, sys.argv))
