#!/bin/bash
# The program under strace through a short orientation dialogue whose file
# name is typed with "\" ("dados\obra.txt", a folder made beforehand): in the
# trace of the program thread, the open of "dados/obra.txt" is followed by
# the fsync of its folder, and every record (its writes up to CR LF) by the
# fdatasync of the file, each before the thread does anything else. Then a
# run whose file name is a symbolic link to a missing file in another
# folder: the open that creates the link's target is followed by the fsync
# of the target's folder.
#
# "Anything else" is every other call of the traced set: the eventfd write
# that tells the window of a screen change (the next prompt's echo), a write
# of another record, and every call a wait for keys can sleep in (nanosleep,
# clock_nanosleep, futex, poll, ppoll, epoll, select, read). The check names
# no one of them as "the key read", so it holds however the waits sleep.
set -u
source "$(dirname "$0")/xvfb_lib.sh"
source "$(dirname "$0")/window_lib.sh"
start_xvfb
command -v strace >/dev/null || fail "strace is not installed"

traced=openat,write,fdatasync,fsync,nanosleep,clock_nanosleep,futex,poll,ppoll
traced+=,epoll_wait,epoll_pwait,select,pselect6,read
# -ff: one file per thread (trace.TID in the run folder), so that no call is
# split across lines by another thread's.
PROGRAM_WRAPPER=(strace -ff -qq --seccomp-bpf -e signal=none -s 64 -o trace -e trace="$traced")
start_program "$1"
mkdir "$RUN_DIR/dados"
tool wait-row "$WID" 23 " CONSULTE" 30 || fail "no menu"
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" 10 || fail "no file question"
type_answers 'dados\obra.txt' J1 1 E1 1000.5 2000 1 V1 1.25 2 -3.5 A B
tool wait-row "$WID" 25 "Press any key to continue" 10 || fail "no end prompt"
xdotool key x
code=$(wait_exit 20)
[[ "$code" == 0 ]] || fail "exit code $code"
expected='J1, 1 \r\nE1, 1000.5 , 2000 , 1 \r\nV1, 1.25 , 2 ,-3.5 \r\nA\r\nB\r\n'
cmp -s <(printf '%b' "$expected") "$RUN_DIR/dados/obra.txt" ||
  fail "file differs: $(od -An -c "$RUN_DIR/dados/obra.txt" 2>&1 | tr -s ' ')"
made=$(made_files | grep -v '^trace\.')
[[ "$made" == dados && "$(ls "$RUN_DIR/dados")" == obra.txt ]] || fail "the run made: $made"

python3 - "$RUN_DIR" 5 <<'EOF' || fail "the trace does not show the syncs"
import glob
import re
import sys

folder, records = sys.argv[1], int(sys.argv[2])
call = re.compile(r'^(\w+)\((.*)\)\s+= (-?\d+)')

# The program thread is the one that opens the output file.
program = None
for path in glob.glob(folder + "/trace.*"):
    with open(path) as f:
        lines = [line.rstrip("\n") for line in f]
    if any('"dados/obra.txt"' in line for line in lines):
        program = lines
if program is None:
    sys.exit("no thread opened dados/obra.txt")
calls = []
for line in program:
    m = call.match(line)
    if m:
        calls.append((m.group(1), m.group(2), int(m.group(3)), line))

def fail(message, index):
    context = "\n".join(c[3] for c in calls[max(0, index - 4):index + 3])
    sys.exit("%s, at:\n%s" % (message, context))

opened = next(i for i, c in enumerate(calls) if c[0] == "openat" and '"dados/obra.txt"' in c[1])
fd = calls[opened][2]
if fd < 0:
    fail("the open failed", opened)
# The folder: opened for reading as a folder, synced, before anything else.
folder_open = calls[opened + 1] if opened + 1 < len(calls) else None
if not (folder_open and folder_open[0] == "openat" and '"dados/"' in folder_open[1]
        and "O_DIRECTORY" in folder_open[1] and folder_open[2] >= 0):
    fail("no open of the folder dados/ right after the file's", opened)
folder_sync = calls[opened + 2] if opened + 2 < len(calls) else None
if not (folder_sync and folder_sync[0] == "fsync"
        and folder_sync[1] == str(folder_open[2]) and folder_sync[2] == 0):
    fail("no fsync of the folder right after its open", opened + 1)

# Each record: writes to the file up to the one of CR LF, then at once the
# fdatasync of the file; no other call while the record is not synced.
writes = re.compile(r'^%d, "(.*)", \d+$' % fd)
# unsynced: None (all synced), "item" (a record's writes under way) or
# "record" (its CR LF written).
synced, unsynced = 0, None
for i in range(opened + 3, len(calls)):
    name, args, result, _ = calls[i]
    w = writes.match(args) if name == "write" else None
    if w:
        if result < 0:
            fail("a record's write failed", i)
        if unsynced == "record":
            fail("a record's write before the sync of the one before", i)
        unsynced = "record" if w.group(1).endswith("\\r\\n") else "item"
    elif name == "fdatasync" and args == str(fd):
        if result != 0:
            fail("the sync failed", i)
        if unsynced != "record":
            fail("a sync that ends no record", i)
        synced += 1
        unsynced = None
    elif unsynced:
        fail("%s before the sync of the record" % name, i)
if unsynced:
    fail("the last record was not synced", len(calls) - 1)
if synced != records:
    sys.exit("%d record syncs, expected %d" % (synced, records))
print("syncs: the folder after the open, %d records" % synced)
EOF

# The link "ligacao.txt" leads to "alvo/obra.txt", which does not exist.
start_program "$1"
mkdir "$RUN_DIR/alvo"
ln -s alvo/obra.txt "$RUN_DIR/ligacao.txt"
tool wait-row "$WID" 23 " CONSULTE" 30 || fail "link: no menu"
xdotool key 1
tool wait-row "$WID" 3 "Nome do Ficheiro :" 10 || fail "link: no file question"
type_answers ligacao.txt
wait_until 10 test -f "$RUN_DIR/alvo/obra.txt" || fail "link: the target is not created"
tool close "$WID"
code=$(wait_exit 20)
[[ "$code" == 0 ]] || fail "link: exit code $code"

python3 - "$RUN_DIR" "$(realpath "$RUN_DIR/alvo")" <<'EOF' || fail "the trace of the link"
import glob
import re
import sys

folder, target_folder = sys.argv[1], sys.argv[2]
call = re.compile(r'^(\w+)\((.*)\)\s+= (-?\d+)')
program = None
for path in glob.glob(folder + "/trace.*"):
    with open(path) as f:
        calls = [m.groups() for m in map(call.match, f) if m]
    if any('"ligacao.txt"' in args for _, args, _ in calls):
        program = calls
if program is None:
    sys.exit("no thread opened ligacao.txt")
opens = [i for i, (name, args, result) in enumerate(program)
         if name == "openat" and '"ligacao.txt"' in args and int(result) >= 0]
if len(opens) != 1:
    sys.exit("%d opens of ligacao.txt succeeded" % len(opens))
following = program[opens[0] + 1:opens[0] + 3]
if not (len(following) == 2 and following[0][0] == "openat"
        and '"%s/"' % target_folder in following[0][1] and "O_DIRECTORY" in following[0][1]
        and following[1] == ("fsync", following[0][2], "0")):
    sys.exit("the open of the link is not followed by the fsync of %s: %s" %
             (target_folder, following))
print("link: the fsync of %s after the open" % target_folder)
EOF
echo "sync_trace_test: ok"
