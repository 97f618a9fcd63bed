#include "survey_entry/console/ordinary_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/ordinary_file_testing.h"
#include "survey_entry/console/system_call.h"

namespace console {

namespace {

// The replaceable system calls in use (program thread).
OrdinaryFileCalls calls_in_use;

// Runs one of the replaceable calls: the one set, else the system's, again
// when a signal cuts it short. Returns its result, with errno as it left it.
template <class Call, class... Arguments>
auto run_call(Call* set, std::type_identity_t<Call>* system_call, Arguments... arguments) {
  Call* const chosen = set != nullptr ? set : system_call;
  return retry_interrupted([&] { return chosen(arguments...); });
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

// A write to a disk file, or its close, is a wait on the disk: the system
// may hold back a writer that is ahead of a slow disk. A FIFO or a device
// named as the file waits for another program or for the device, not for
// the disk, and is not marked.
std::optional<DiskWait> disk_wait_for(const OrdinaryFile& file) {
  if (!file.disk_file) return std::nullopt;
  return std::optional<DiskWait>(std::in_place);
}

}  // namespace

OrdinaryOpening open_ordinary_file(const Text& name) {
  const DiskWait wait;
  const OrdinaryOpen opened = open_ordinary(name);
  if (opened.fd < 0) return {{}, errno};
  OrdinaryOpening result{{opened.fd, opened.disk_file}, 0};
  if (!opened.changed_folder.empty() && sync_folder(opened.changed_folder) != 0) {
    result.error = errno;
  }
  return result;
}

OrdinaryWrite write_ordinary_file(const OrdinaryFile& file, const char* bytes, std::size_t count) {
  const std::optional<DiskWait> wait = disk_wait_for(file);
  const WriteSignalsHeld held;
  const ssize_t written =
      run_call(calls_in_use.write, ::write, file.handle, static_cast<const void*>(bytes), count);
  if (written < 0) return {0, errno};
  return {static_cast<std::size_t>(written), 0};
}

int sync_ordinary_file(const OrdinaryFile& file) {
  const DiskWait wait;
  return run_call(calls_in_use.file_data, ::fdatasync, file.handle) == 0 ? 0 : errno;
}

void close_ordinary_file(const OrdinaryFile& file) {
  const std::optional<DiskWait> wait = disk_wait_for(file);
  ::close(file.handle);
}

void set_ordinary_file_calls(const OrdinaryFileCalls& calls) { calls_in_use = calls; }

}  // namespace console
