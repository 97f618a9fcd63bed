#include "survey_entry/console/output_file.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/file_error.h"
#include "survey_entry/console/ordinary_file.h"
#include "survey_entry/console/output_file_testing.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/serial_port.h"
#include "survey_entry/console/text_screen.h"

namespace console {

namespace {

using namespace error_code;

// Every open file is opened for output and may be written: the routine has
// no other mode, so there is no mode to keep.
struct OpenFile {
  FileKind kind = FileKind::ordinary;
  OrdinaryFile ordinary;  // an ordinary name's
  int serial_handle = -1;  // a serial port's
  SerialSettings serial;
  // Bytes written to a disk file since its last sync.
  bool unsynced = false;
};

// The file table: each open file number and its open file. A number is
// free until an open succeeds under it, and again after its close. Used by
// the program thread, and by the stop thread's final close-all only after
// the program thread has stopped for good, so it needs no lock.
std::map<int, OpenFile> files;

// "SCRN:" in any case; whatever follows the colon is ignored.
bool is_screen_device(const Text& name) { return starts_with_in_any_case(name, "SCRN:"); }

void release(OpenFile& file) {
  switch (file.kind) {
    case FileKind::ordinary:
      close_ordinary_file(file.ordinary);
      break;
    case FileKind::serial:
      close_serial_port(file.serial_handle);
      break;
    case FileKind::screen:
      break;
  }
}

// One piece of an item, handed to the system at once with one write (a
// serial port may take it in several within its write timeout). False
// after raising the error of a failed or short write.
bool write_piece(OpenFile& file, const char* bytes, std::size_t count) {
  if (file.kind == FileKind::serial) {
    const SerialWriteResult result =
        write_serial_port(file.serial_handle, file.serial, bytes, count);
    if (result.error == 0) return true;
    raise_runtime_error(result.error == ETIMEDOUT ? path_file_access_error
                                                  : write_error_code(result.error));
    return false;
  }
  const OrdinaryWrite result = write_ordinary_file(file.ordinary, bytes, count);
  if (result.written > 0 && file.ordinary.disk_file) file.unsynced = true;
  if (result.error != 0) {
    raise_runtime_error(write_error_code(result.error));
    return false;
  }
  if (result.written < count) {
    raise_runtime_error(path_file_access_error);
    return false;
  }
  return true;
}

}  // namespace

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
    file.serial_handle = open_serial_port(serial.settings);
    if (file.serial_handle < 0) {
      raise_runtime_error(device_unavailable);
      return;
    }
  } else {
    // "\" separates folders as "/" does: the system is handed the name with
    // every "\" made a "/". Nothing else is trimmed, added or changed.
    Text system_name = name;
    std::replace(system_name.begin(), system_name.end(), '\\', '/');
    const OrdinaryOpening opening = open_ordinary_file(system_name);
    if (opening.file.handle < 0) {
      raise_runtime_error(open_error_code(opening.error));
      return;
    }
    file.ordinary = opening.file;
    // The file stays open when its folder's sync fails: the error box says
    // the name may not be on the disk, and after a Yes the records go on.
    if (opening.error != 0) raise_runtime_error(write_error_code(opening.error));
  }
  files.emplace(file_number, file);
}

void print_text_to_file(int file_number, const Text& item, ItemEnd end) {
  if (error_pending() || file_number < 0) return;
  const auto found = files.find(file_number);
  if (found == files.end()) {
    raise_runtime_error(bad_file_name_or_number);
    return;
  }
  OpenFile& file = found->second;

  // The screen device prints at the cursor, with no fit check and without
  // the blank.
  if (file.kind == FileKind::screen) {
    print_text(item, end.line_end ? 1 : 0);
    return;
  }

  if (!item.empty() && !write_piece(file, item.data(), item.size())) return;
  if (end.blank && !write_piece(file, " ", 1)) return;
  if (end.line_end) write_piece(file, "\r\n", 2);
}

void sync_written_files() {
  for (auto& entry : files) {
    OpenFile& file = entry.second;
    if (!file.unsynced) continue;
    file.unsynced = false;
    if (const int error = sync_ordinary_file(file.ordinary); error != 0) {
      raise_runtime_error(write_error_code(error));
    }
  }
}

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
  set_ordinary_file_calls({});
}

std::optional<FileKind> open_file_kind(int file_number) {
  const auto found = files.find(file_number);
  if (found == files.end()) return std::nullopt;
  return found->second.kind;
}

}  // namespace console
