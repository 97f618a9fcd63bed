// The output file: opening by name (a file, the screen device "SCRN:" or a
// serial port "COMn:"), writing record items with nothing buffered, and the
// close-all. Failures are raised as run-time errors.
#pragma once

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

// Closes everything without raising errors and forgets the file table.
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
