// The output file as the routine uses it: the file table, the opening by
// name (the screen device "SCRN:", a serial port "COMn:", else an ordinary
// name, in which "\" separates folders as "/" does), the writing of record
// items with nothing buffered, putting what a statement wrote on the disk,
// and the close-all. Failures are raised as run-time errors (file_error).
#pragma once

#include "survey_entry/console/text.h"

namespace console {

void open_file(const Text& name, int file_number);

// What follows an item in the file: one blank (after a number's text),
// CR LF (the end of a record), both or neither.
struct ItemEnd {
  bool blank = false;
  bool line_end = false;
};
// One item of a record: its text, then its end.
void print_text_to_file(int file_number, const Text& item, ItemEnd end = {});

// Puts on the disk (fdatasync) what was written to each disk file since its
// last sync, so that a power cut loses none of it. Called at the end of a
// statement that wrote to a file, before its boundary; it runs while an
// error is pending too, so that the items of a record written before a
// failed one are kept as well. The screen device, serial ports and other
// devices are not synced. A failed sync raises the error that the same
// failure of a write raises.
void sync_written_files();

void close_files();

}  // namespace console
