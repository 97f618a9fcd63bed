// What tests reach of the output file beyond the routine's operations: the
// close of one file, what an open file number stands for, the reset between
// runs, and (ordinary_file_testing.h) the system calls they replace.
// Included by tests only (and the console's reset).
#pragma once

#include <cstdint>
#include <optional>

#include "survey_entry/console/ordinary_file_testing.h"

namespace console {

// The one-file close: releases that number's open file, if it has one.
void close_file(int file_number);

// What an open file number stands for; empty when it names no open file.
enum class FileKind : std::uint8_t { ordinary, screen, serial };
std::optional<FileKind> open_file_kind(int file_number);

// Closes everything without raising errors, forgets the file table and puts
// the system's calls back.
void output_file_reset();

}  // namespace console
