// The output file: opening by name (a file, the screen device "SCRN:" or a
// serial port "COMn:"), writing record items with nothing buffered, putting
// what a statement wrote on the disk, and the close-all. Failures are raised
// as run-time errors. Each wait on the disk is marked for the key queue
// (DiskWait), which keeps the keys typed meanwhile.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "survey_entry/console/text.h"

namespace console {

void open_file(const Text& name, int file_number);
// One item of a record: its text, then one space when space_flag is set,
// then CR LF when line_end_flag is set. zone_flag is always off here.
void print_text_to_file(int file_number, const Text& item, bool space_flag, bool zone_flag,
                        bool line_end_flag);
void close_files();

// Puts on the disk (fdatasync) what was written to each disk file since its
// last sync, so that a power cut loses none of it. Called at the end of a
// statement that wrote to a file, before its boundary; it runs while an
// error is pending too, so that the items of a record written before a
// failed one are kept as well. The screen device, serial ports and other
// devices are not synced. A failed sync raises the error that the same
// failure of a write raises.
void sync_written_files();

// The output file's system calls that tests replace: the write of a piece
// of an item to a file, and the syncs that put a file's data (fdatasync)
// and a folder's names (fsync) on the disk. A null member stands for the
// system's call. Tests put in calls that fail. output_file_reset puts the
// system's back.
struct OutputFileCalls {
  ssize_t (*write)(int fd, const void* bytes, std::size_t count) = nullptr;
  int (*file_data)(int fd) = nullptr;
  int (*folder)(int fd) = nullptr;
};
void set_output_file_calls(const OutputFileCalls& calls);

// Closes everything without raising errors, forgets the file table and puts
// the system's calls back.
void output_file_reset();

// The one-file close: releases that number's open file, if it has one.
void close_file(int file_number);

// What an open file number stands for, as the file table keeps it.
enum class FileKind : std::uint8_t { ordinary, screen, serial };
struct OpenFileState {
  FileKind kind;
  std::uint64_t position;  // bytes written so far
  std::uint64_t column;    // column of the next byte in its line, from 1
};
// Empty when the number names no open file.
std::optional<OpenFileState> open_file_state(int file_number);

// The run-time error of a failed system call, from its errno value: for an
// open of an ordinary file, and for a write.
std::uint32_t open_error_code(int error_number);
std::uint32_t write_error_code(int error_number);

}  // namespace console
