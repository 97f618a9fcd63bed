// The file that an ordinary name stands for (a file on a disk, or a FIFO or
// a device named as the file), as the output file uses it: opened for
// writing so that what the opening did survives a power cut, written one
// piece at a time with nothing buffered, its data put on the disk, closed.
// Every call that can wait on the disk (the opening, a write to a file on a
// disk, its sync and its close) is marked as a wait on it (DiskWait), so
// that keys typed meanwhile are kept. Failures come back as the system's
// reasons (errno values); the output file turns them into run-time errors.
// The system calls run again when a signal cuts them short.
#pragma once

#include <cstddef>

#include "survey_entry/console/text.h"

namespace console {

struct OrdinaryFile {
  int handle = -1;
  // A regular file, whose data the system keeps for the disk; a device or
  // a FIFO named as the file has nothing to sync.
  bool disk_file = false;
};

struct OrdinaryOpening {
  OrdinaryFile file;  // its handle -1 when the opening failed
  int error = 0;      // why the opening failed, or why the folder's sync did
};

// Opens name, a system name ("/" separates folders), for writing: creates
// the file when it is missing (where a symbolic link to a missing file
// leads), empties it when it is not empty, and then syncs the names of the
// folder the opening changed. A folder that cannot be read is not synced.
// When that sync fails, the file is open and error says why.
OrdinaryOpening open_ordinary_file(const Text& name);

struct OrdinaryWrite {
  std::size_t written = 0;  // bytes the system took
  int error = 0;            // why the write failed; 0 for a whole or short one
};

// One write of count bytes. A reader that went away or a file size limit
// is a failed write (EPIPE, EFBIG), not the end of the process.
OrdinaryWrite write_ordinary_file(const OrdinaryFile& file, const char* bytes, std::size_t count);

// Puts the file's data on the disk (fdatasync): 0, or why it failed.
int sync_ordinary_file(const OrdinaryFile& file);

void close_ordinary_file(const OrdinaryFile& file);

}  // namespace console
