#include "survey_entry/console/file_error.h"

#include <array>
#include <cerrno>

#include "survey_entry/console/error_code.h"

namespace console {

namespace {

using namespace error_code;

// The system's reasons for a failed open or write, and the run-time errors
// they raise. A reason not listed raises 53 "File not found" at an open and
// 75 "Path/File access error" at a write.
struct ErrnoMapping {
  int error_number;
  std::uint32_t at_open;
  std::uint32_t at_write;
};
constexpr std::array errno_table{
    // Path not found: a folder of the name does not exist (the open creates
    // no folder), a part of the path is not a folder, a link loop, or the
    // name is empty.
    ErrnoMapping{ENOENT, path_not_found, path_file_access_error},
    ErrnoMapping{ENOTDIR, path_not_found, path_file_access_error},
    ErrnoMapping{ELOOP, path_not_found, path_file_access_error},
    // Permission denied: access refused by the file's or a folder's modes, a
    // read-only file system, a folder named as the file (it cannot be opened
    // for writing), a file or device in use, a lock.
    ErrnoMapping{EACCES, permission_denied, permission_denied},
    ErrnoMapping{EPERM, permission_denied, permission_denied},
    ErrnoMapping{EROFS, permission_denied, path_file_access_error},
    ErrnoMapping{EISDIR, permission_denied, path_file_access_error},
    ErrnoMapping{ETXTBSY, permission_denied, path_file_access_error},
    ErrnoMapping{EBUSY, permission_denied, path_file_access_error},
    ErrnoMapping{EAGAIN, permission_denied, permission_denied},
    // Device unavailable: no such device or it is not ready (a device file
    // without its device, a FIFO that nobody reads, a drive without medium).
    ErrnoMapping{ENXIO, device_unavailable, path_file_access_error},
    ErrnoMapping{ENODEV, device_unavailable, path_file_access_error},
    ErrnoMapping{ENOMEDIUM, device_unavailable, path_file_access_error},
    // The other reasons, named here so the table reads whole: a name too long
    // or refused by the file system (a NUL byte in it), too many open files,
    // a full disk or quota, an input/output fault, a file size limit, a
    // reader that went away.
    ErrnoMapping{ENAMETOOLONG, file_not_found, path_file_access_error},
    ErrnoMapping{EINVAL, file_not_found, path_file_access_error},
    ErrnoMapping{EMFILE, file_not_found, path_file_access_error},
    ErrnoMapping{ENFILE, file_not_found, path_file_access_error},
    ErrnoMapping{ENOSPC, file_not_found, path_file_access_error},
    ErrnoMapping{EDQUOT, file_not_found, path_file_access_error},
    ErrnoMapping{EIO, file_not_found, path_file_access_error},
    ErrnoMapping{EFBIG, file_not_found, path_file_access_error},
    ErrnoMapping{EPIPE, file_not_found, path_file_access_error},
};

const ErrnoMapping* find_mapping(int error_number) {
  for (const ErrnoMapping& m : errno_table) {
    if (m.error_number == error_number) return &m;
  }
  return nullptr;
}

}  // namespace

std::uint32_t open_error_code(int error_number) {
  const ErrnoMapping* m = find_mapping(error_number);
  return m != nullptr ? m->at_open : file_not_found;
}

std::uint32_t write_error_code(int error_number) {
  const ErrnoMapping* m = find_mapping(error_number);
  return m != nullptr ? m->at_write : path_file_access_error;
}

}  // namespace console
