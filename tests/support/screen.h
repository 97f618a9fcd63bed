// The text screen as the tests read it: the bytes of a row, the row that a
// text should make, and screen copies printed readably when a comparison of
// two fails.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

#include "survey_entry/console/text_screen.h"

namespace support {

// The 80 character bytes of a row of the screen.
inline std::string row_text(int row) {
  std::string text(console::screen_columns, ' ');
  for (int column = 1; column <= console::screen_columns; ++column) {
    text[static_cast<std::size_t>(column - 1)] =
        static_cast<char>(console::screen_cell(row, column).character);
  }
  return text;
}

// A row's text as it should read: the text, then blanks up to column 80. A
// longer text is left whole, so that no row equals it.
inline std::string padded(std::string_view text) {
  std::string row(text);
  if (row.size() < console::screen_columns) row.resize(console::screen_columns, ' ');
  return row;
}

}  // namespace support

namespace console {

// GoogleTest's printer of a copy: the cursor, then each row as its text
// without the blanks at its end and its attribute, or every attribute of
// the row where they differ.
inline void PrintTo(const ScreenCopy& copy, std::ostream* out) {
  *out << "cursor " << copy.cursor_row << "," << copy.cursor_column
       << (copy.wrap_pending ? " wrap pending" : "");
  for (int row = 1; row <= screen_rows; ++row) {
    std::string text;
    std::string attributes;
    bool one_attribute = true;
    for (int column = 1; column <= screen_columns; ++column) {
      const Cell cell = copy.cells[cell_index(row, column)];
      text += static_cast<char>(cell.character);
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02X", cell.attribute);
      attributes += hex;
      one_attribute = one_attribute && cell.attribute == copy.cells[cell_index(row, 1)].attribute;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    *out << "\n  row " << row << " \"" << text << "\" attribute"
         << (one_attribute ? attributes.substr(0, 3) : "s" + attributes);
  }
}

}  // namespace console
