// The output file: opening by name (a file, the screen device "SCRN:" or a
// serial port "COMn:"), writing record items with nothing buffered, and the
// close-all. Failures are raised as run-time errors.
#pragma once

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

}  // namespace console
