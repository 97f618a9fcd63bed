// The forms every dialogue is built from: single-action statements, the
// printed line, the Question, the Numbered label, the Sub-heading, the
// traverse's vertex heading, the record write, and the dialogue frame.
//
// Each form is one statement: its first argument is the Statement number,
// and it ends with the statement boundary of that number.
//
// Code page 437 bytes in the literals: "\xA6" is the ordinal "ª" and "\xA7"
// the ordinal "º".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <variant>

#include "survey_entry/console/text.h"
#include "survey_entry/program_values.h"
#include "survey_entry/statements.h"

namespace survey_entry {

// The one output file of a run is file number 2.
inline constexpr int output_file_number = 2;

// --- Single-action statements -------------------------------------------

void clear(StatementNumber n);
void set_colours(StatementNumber n, std::uint32_t foreground, std::uint32_t background,
                 std::uint32_t border, std::uint32_t presence_flags);
void select_screen_mode_0(StatementNumber n);
void open_output_file(StatementNumber n, const console::Text& name);
void close_all(StatementNumber n);

// --- Printed lines -------------------------------------------------------

// A tab to a column, as a print item: its text is made when the item is
// reached, from the cursor column of that moment.
struct Tab {
  std::int32_t column;
};

// A print item: a literal or Text value, a Single or Double number (its
// number text and one blank, one item), or a tab.
using PrintItem = std::variant<std::string_view, float, double, Tab>;

enum class LineEnding { line_end, zone_tab };

// Prints each item after the fit check and ends with a line end or a zone
// tab. An error pending once an item's text is made skips the rest of the
// line, its ending included.
void printed_line(StatementNumber n, std::initializer_list<PrintItem> items,
                  LineEnding ending = LineEnding::line_end);
// A printed line with no items: only the line end.
void empty_line(StatementNumber n);

// The label before a name question: article ("Nome da" / "Nome do"), the
// counter, the suffix, then a zone tab, so that the empty-prompt question
// after it takes the name in the next print zone.
void numbered_label(StatementNumber n, std::string_view article, float counter,
                    std::string_view suffix);

// A printed line whose first item is a tab to column 30.
void sub_heading(StatementNumber n, std::initializer_list<PrintItem> items);

// The traverse's vertex heading: the vertex number from column 30, then
// ".º Vertice " from column 34 (on the next row when the number text is
// longer than three characters).
void vertex_heading(StatementNumber n, float vertex_number);

// --- Questions -----------------------------------------------------------

// The prompt exactly as given at the cursor, one line read into the value,
// the stop test, then the statement boundary.
void question(StatementNumber n, std::string_view prompt, console::Text& value);
void question(StatementNumber n, std::string_view prompt, float& value);
void question(StatementNumber n, std::string_view prompt, double& value);

// --- Records -------------------------------------------------------------

// A field of an Input record: a text written unchanged, or a number written
// as its number text and one blank.
using RecordField = std::variant<std::string_view, float, double>;

// One Input record to file number 2: the fields joined by "," items, CR LF
// with the last item. An error pending before an item skips the rest. What
// the record wrote is synced to the disk before the statement's boundary.
void record_write(StatementNumber n, std::initializer_list<RecordField> fields);

// --- The dialogue frame --------------------------------------------------

struct PrologueNumbers {
  StatementNumber entry, first_clear, colours, second_clear, heading, empty_row, file_question,
      open;
};

// Entry check, clears, blue on cyan, the heading, an empty row, "Nome do
// Ficheiro :" and the opening of the output file under that name.
void dialogue_prologue(ProgramValues& v, std::string_view heading, const PrologueNumbers& n);

struct ClosingNumbers {
  StatementNumber clear, surveyor_question, calculator_question, surveyor_record, calculator_record,
      close_all;
};

// The surveyor's and the calculator's names, their two records and the
// close-all; the routine then goes on to the end of the run.
void dialogue_closing(ProgramValues& v, const ClosingNumbers& n);

}  // namespace survey_entry
