// The ordinary file's system calls that tests replace: the write of a piece
// of an item, and the syncs that put a file's data (fdatasync) and a
// folder's names (fsync) on the disk. A null member stands for the system's
// call. Tests put in calls that fail or hold; they set them only while the
// routine is held. output_file_reset puts the system's back. Included by
// tests only.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace console {

struct OrdinaryFileCalls {
  ssize_t (*write)(int fd, const void* bytes, std::size_t count) = nullptr;
  int (*file_data)(int fd) = nullptr;
  int (*folder)(int fd) = nullptr;
};
void set_ordinary_file_calls(const OrdinaryFileCalls& calls);

}  // namespace console
