#include "survey_entry/console/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/serial_port.h"
#include "survey_entry/console/system_call.h"
#include "survey_entry/console/text_screen.h"

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

// Every open file is opened for output and may be written: the routine has
// no other mode, so there is no mode to keep.
struct OpenFile {
  FileKind kind = FileKind::ordinary;
  int handle = -1;  // none for the screen device
  std::uint64_t position = 0;
  std::uint64_t column = 1;
  SerialSettings serial;
  // A regular file, whose data the system keeps for the disk; a device or
  // a FIFO named as the file has nothing to sync.
  bool disk_file = false;
  // Bytes written since the last sync.
  bool unsynced = false;
};

// The file table: each open file number and its open file. A number is
// free until an open succeeds under it, and again after its close. Used by
// the program thread, and by the stop thread's final close-all only after
// the program thread has stopped for good, so it needs no lock.
std::map<int, OpenFile> files;

// The replaceable system calls in use (program thread). Tests set them only
// while the routine is held, before it goes on.
OutputFileCalls calls_in_use;

// Runs one of the replaceable calls: the one set, else the system's, again
// when a signal cuts it short. Returns its result, with errno as it left it.
template <class Call, class... Arguments>
auto run_call(Call* set, std::type_identity_t<Call>* system_call, Arguments... arguments) {
  Call* const chosen = set != nullptr ? set : system_call;
  return retry_interrupted([&] { return chosen(arguments...); });
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "SCRN:" in any case; whatever follows the colon is ignored.
bool is_screen_device(const Text& name) {
  return name.size() >= 5 && upper(name[0]) == 'S' && upper(name[1]) == 'C' &&
         upper(name[2]) == 'R' && upper(name[3]) == 'N' && name[4] == ':';
}

// Every call that can wait on the disk is marked as a wait on it (DiskWait),
// so that keys typed meanwhile are kept: the open of an ordinary name (its
// creation, emptying and the folder's sync), each write to a disk file and
// its sync, and its close.

void release(OpenFile& file) {
  switch (file.kind) {
    case FileKind::ordinary: {
      std::optional<DiskWait> wait;
      if (file.disk_file) wait.emplace();
      ::close(file.handle);
      break;
    }
    case FileKind::serial:
      close_serial_port(file.handle);
      break;
    case FileKind::screen:
      break;
  }
  file.handle = -1;
}

int open_retrying(const char* name, int flags) {
  return retry_interrupted([&] { return ::open(name, flags, 0666); });
}

// The folder that holds a file: its name up to the last "/", or the current
// folder.
Text folder_of(const Text& name) {
  const std::size_t last_slash = name.rfind('/');
  return last_slash == Text::npos ? Text(".") : name.substr(0, last_slash + 1);
}

struct OrdinaryOpen {
  int fd = -1;             // -1 with errno set when the open failed
  bool disk_file = false;  // a regular file
  // The folder whose names the open changed, so that they must be synced:
  // the one in which it created the file, or the name's folder when it
  // emptied one. Empty when it changed none.
  Text changed_folder;
};

// Opens an ordinary file for writing, creating it when missing and emptying
// it when not empty.
OrdinaryOpen open_ordinary(const Text& name) {
  // A name the system cannot be handed whole (the system names end at the
  // first NUL byte) is refused as the system refuses a bad name, rather than
  // opening the shorter name.
  if (name.find('\0') != Text::npos) {
    errno = EINVAL;
    return {};
  }
  // Without O_NONBLOCK a FIFO that nobody reads would hold the open for
  // ever; with it, the open fails with ENXIO and the writes block as usual.
  // The first open creates the file only when the name does not exist,
  // which tells that the name's folder has a new name to sync; a name that
  // exists (a file, a link, a device) is opened by the second.
  constexpr int flags = O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
  OrdinaryOpen result;
  result.fd = open_retrying(name.c_str(), flags | O_EXCL);
  if (result.fd >= 0) {
    result.changed_folder = folder_of(name);
  } else if (errno == EEXIST) {
    // A symbolic link whose target is missing: the second open creates the
    // target, in the folder the link leads to, which may be another one.
    struct stat target {};
    const bool target_missing = ::stat(name.c_str(), &target) != 0 && errno == ENOENT;
    result.fd = open_retrying(name.c_str(), flags);
    if (result.fd >= 0 && target_missing) {
      // The name now leads, through its links, to the file created. Should
      // it be gone already, there is nothing left to sync.
      const std::unique_ptr<char, decltype(&std::free)> created(::realpath(name.c_str(), nullptr),
                                                                &std::free);
      if (created != nullptr) result.changed_folder = folder_of(created.get());
    }
  }
  if (result.fd < 0) return {};

  const auto fail = [&result] {
    const int saved = errno;
    ::close(result.fd);
    errno = saved;
    return OrdinaryOpen{};
  };
  struct stat info {};
  if (::fstat(result.fd, &info) != 0) return fail();
  result.disk_file = S_ISREG(info.st_mode);
  // An existing file is emptied now, before any record; an existing empty
  // file is left as it is.
  if (result.disk_file && info.st_size != 0) {
    if (retry_interrupted([&] { return ::ftruncate(result.fd, 0); }) != 0) return fail();
    result.changed_folder = folder_of(name);
  }
  const int status_flags = ::fcntl(result.fd, F_GETFL);
  if (status_flags < 0 || ::fcntl(result.fd, F_SETFL, status_flags & ~O_NONBLOCK) != 0) {
    return fail();
  }
  return result;
}

// Puts the names of a folder on the disk (fsync), so that a file the open
// created, or emptied, is found after a power cut as the open left it. A
// folder that cannot be opened for reading (one that may be written and
// searched only) cannot be synced and is left as it is. Returns 0, or -1
// with errno set when the sync failed.
int sync_folder(const Text& folder) {
  const int fd = open_retrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  const int result = run_call(calls_in_use.folder, ::fsync, fd);
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return result;
}

// Holds SIGPIPE and SIGXFSZ on this thread during one write, and drops the
// ones the write raised: a reader that went away or a file size limit is a
// failed write (EPIPE, EFBIG), not the end of the process.
class WriteSignalsHeld {
 public:
  WriteSignalsHeld() {
    sigemptyset(&held_);
    sigaddset(&held_, SIGPIPE);
    sigaddset(&held_, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &held_, &previous_);
    sigpending(&pending_before_);
  }
  ~WriteSignalsHeld() {
    sigset_t pending;
    sigpending(&pending);
    for (int signal_number : {SIGPIPE, SIGXFSZ}) {
      if (sigismember(&pending, signal_number) == 1 &&
          sigismember(&pending_before_, signal_number) == 0 &&
          sigismember(&previous_, signal_number) == 0) {
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal_number);
        const timespec no_wait{};
        sigtimedwait(&one, nullptr, &no_wait);
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  WriteSignalsHeld(const WriteSignalsHeld&) = delete;
  WriteSignalsHeld& operator=(const WriteSignalsHeld&) = delete;

 private:
  sigset_t held_{};
  sigset_t previous_{};
  sigset_t pending_before_{};
};

// Counts bytes that reached the file into the position and the column: a
// CR takes the column back to 1, an LF leaves it, any other byte adds 1.
void advance(OpenFile& file, const char* bytes, std::size_t count) {
  file.position += count;
  for (std::size_t i = 0; i < count; ++i) {
    if (bytes[i] == '\r') {
      file.column = 1;
    } else if (bytes[i] != '\n') {
      ++file.column;
    }
  }
}

// One piece of an item, handed to the system at once with one write (a
// serial port may take it in several within its write timeout). False
// after raising the error of a failed or short write.
bool write_piece(OpenFile& file, const char* bytes, std::size_t count) {
  if (file.kind == FileKind::serial) {
    const SerialWriteResult result = write_serial_port(file.handle, file.serial, bytes, count);
    advance(file, bytes, result.written);
    if (result.error == 0) return true;
    raise_runtime_error(result.error == ETIMEDOUT ? path_file_access_error
                                                  : write_error_code(result.error));
    return false;
  }
  ssize_t written = 0;
  int error_number = 0;
  {
    // A write to a disk file can wait too, when the system holds back a
    // writer that is ahead of a slow disk. A FIFO or a device named as the
    // file waits for another program or for the device, not for the disk.
    std::optional<DiskWait> wait;
    if (file.disk_file) wait.emplace();
    const WriteSignalsHeld held;
    written = run_call(calls_in_use.write, ::write, file.handle, static_cast<const void*>(bytes),
                       count);
    error_number = errno;
  }
  if (written < 0) {
    raise_runtime_error(write_error_code(error_number));
    return false;
  }
  if (written > 0 && file.disk_file) file.unsynced = true;
  advance(file, bytes, static_cast<std::size_t>(written));
  if (static_cast<std::size_t>(written) < count) {
    raise_runtime_error(path_file_access_error);
    return false;
  }
  return true;
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

void open_file(const Text& name, int file_number) {
  if (error_pending()) return;
  if (file_number < 1) {
    raise_runtime_error(bad_file_name_or_number);
    return;
  }
  if (files.contains(file_number)) {
    // The routine opens file number 2 once per run, so this never reaches
    // the error box.
    raise_runtime_error(file_already_open);
    return;
  }

  OpenFile file;
  if (is_screen_device(name)) {
    file.kind = FileKind::screen;
  } else if (const SerialName serial = parse_serial_name(name);
             serial.kind != SerialNameKind::not_serial) {
    if (serial.kind == SerialNameKind::bad_name) {
      raise_runtime_error(bad_file_name);
      return;
    }
    file.kind = FileKind::serial;
    file.serial = serial.settings;
    file.handle = open_serial_port(serial.settings);
    if (file.handle < 0) {
      raise_runtime_error(device_unavailable);
      return;
    }
  } else {
    // "\" separates folders as "/" does: the system is handed the name with
    // every "\" made a "/". Nothing else is trimmed, added or changed.
    Text system_name = name;
    std::replace(system_name.begin(), system_name.end(), '\\', '/');
    const DiskWait wait;
    const OrdinaryOpen opened = open_ordinary(system_name);
    if (opened.fd < 0) {
      raise_runtime_error(open_error_code(errno));
      return;
    }
    file.handle = opened.fd;
    file.disk_file = opened.disk_file;
    // The file stays open when its folder's sync fails: the error box says
    // the name may not be on the disk, and after a Yes the records go on.
    if (!opened.changed_folder.empty() && sync_folder(opened.changed_folder) != 0) {
      raise_runtime_error(write_error_code(errno));
    }
  }
  files.emplace(file_number, file);
}

void print_text_to_file(int file_number, const Text& item, bool space_flag, bool zone_flag,
                        bool line_end_flag) {
  if (error_pending() || file_number < 0) return;
  const auto found = files.find(file_number);
  if (found == files.end()) {
    raise_runtime_error(bad_file_name_or_number);
    return;
  }
  OpenFile& file = found->second;

  // The screen device prints at the cursor, with no fit check and without
  // the blanks.
  if (file.kind == FileKind::screen) {
    print_text(item, line_end_flag ? 1 : 0);
    return;
  }

  if (!item.empty() && !write_piece(file, item.data(), item.size())) return;

  // The blanks: one for the space flag; for the zone flag one more and then
  // up to the start of the next 14-column zone (15, 29, 43, ...).
  std::uint64_t blanks = space_flag ? 1 : 0;
  if (zone_flag) {
    ++blanks;
    while ((file.column + blanks - 1) % 14 != 0) ++blanks;
  }
  if (blanks != 0) {
    const std::string spaces(static_cast<std::size_t>(blanks), ' ');
    if (!write_piece(file, spaces.data(), spaces.size())) return;
  }

  if (line_end_flag) write_piece(file, "\r\n", 2);
}

void sync_written_files() {
  for (auto& entry : files) {
    OpenFile& file = entry.second;
    if (!file.unsynced) continue;
    file.unsynced = false;
    const DiskWait wait;
    if (run_call(calls_in_use.file_data, ::fdatasync, file.handle) != 0) {
      raise_runtime_error(write_error_code(errno));
    }
  }
}

void set_output_file_calls(const OutputFileCalls& calls) { calls_in_use = calls; }

void close_files() {
  if (error_pending()) return;
  for (auto& entry : files) release(entry.second);
  files.clear();
}

void close_file(int file_number) {
  if (error_pending()) return;
  const auto found = files.find(file_number);
  if (found == files.end()) return;
  release(found->second);
  files.erase(found);
}

void output_file_reset() {
  for (auto& entry : files) release(entry.second);
  files.clear();
  calls_in_use = OutputFileCalls{};
}

std::optional<OpenFileState> open_file_state(int file_number) {
  const auto found = files.find(file_number);
  if (found == files.end()) return std::nullopt;
  return OpenFileState{found->second.kind, found->second.position, found->second.column};
}

}  // namespace console
