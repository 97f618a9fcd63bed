#include "survey_entry/forms.h"

#include <vector>

#include "survey_entry/console/line_input.h"
#include "survey_entry/console/number_text.h"
#include "survey_entry/console/output_file.h"
#include "survey_entry/console/text_screen.h"

namespace survey_entry {
namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// The text of a print item, made at the moment it is printed: a number is
// its number text with one blank, a tab depends on the cursor column.
console::Text item_text(const PrintItem& item) {
  return std::visit(Overloaded{
                        [](std::string_view text) { return console::Text(text); },
                        [](float number) { return console::single_to_text(number) + " "; },
                        [](double number) { return console::double_to_text(number) + " "; },
                        [](Tab tab) { return console::tab_to_column(tab.column); },
                    },
                    item);
}

void print_items(StatementNumber n, const PrintItem* begin, const PrintItem* end,
                 LineEnding ending) {
  for (const PrintItem* item = begin; item != end; ++item) {
    const console::Text text = item_text(*item);
    if (item_error_pending()) return statement_end(n);
    console::wrap_before_item(text);
    console::print_text(text, 0);
  }
  if (!item_error_pending()) {
    if (ending == LineEnding::line_end) {
      console::print_text(console::Text(), 1);
    } else {
      console::print_zone_tab();
    }
  }
  statement_end(n);
}

// A record field as written: a text unchanged, a number as its number text.
console::Text field_text(const RecordField& field) {
  return std::visit(Overloaded{
                        [](std::string_view text) { return console::Text(text); },
                        [](float number) { return console::single_to_text(number); },
                        [](double number) { return console::double_to_text(number); },
                    },
                    field);
}

template <class Value>
void ask(StatementNumber n, std::string_view prompt, Value& value) {
  console::print_text(console::Text(prompt), 0);
  console::input_values_from_keyboard(&value);
  stop_test();
  statement_end(n);
}

}  // namespace

void clear(StatementNumber n) {
  console::clear_screen();
  statement_end(n);
}

void set_colours(StatementNumber n, std::uint32_t foreground, std::uint32_t background,
                 std::uint32_t border, std::uint32_t presence_flags) {
  console::set_text_colours(foreground, background, border, presence_flags);
  statement_end(n);
}

void select_screen_mode_0(StatementNumber n) {
  console::set_screen_mode(0, 1);
  statement_end(n);
}

void open_output_file(StatementNumber n, const console::Text& name) {
  console::open_file(name, output_file_number);
  statement_end(n);
}

void close_all(StatementNumber n) {
  console::close_files();
  statement_end(n);
}

void printed_line(StatementNumber n, std::initializer_list<PrintItem> items, LineEnding ending) {
  print_items(n, items.begin(), items.end(), ending);
}

void empty_line(StatementNumber n) { printed_line(n, {}); }

void numbered_label(StatementNumber n, std::string_view article, float counter,
                    std::string_view suffix) {
  printed_line(n, {article, counter, suffix}, LineEnding::zone_tab);
}

void sub_heading(StatementNumber n, std::initializer_list<PrintItem> items) {
  std::vector<PrintItem> line{Tab{30}};
  line.insert(line.end(), items.begin(), items.end());
  print_items(n, line.data(), line.data() + line.size(), LineEnding::line_end);
}

void vertex_heading(StatementNumber n, float vertex_number) {
  printed_line(n, {Tab{30}, vertex_number, Tab{34}, ".\xA7 Vertice "});
}

void question(StatementNumber n, std::string_view prompt, console::Text& value) {
  ask(n, prompt, value);
}
void question(StatementNumber n, std::string_view prompt, float& value) { ask(n, prompt, value); }
void question(StatementNumber n, std::string_view prompt, double& value) { ask(n, prompt, value); }

void record_write(StatementNumber n, std::initializer_list<RecordField> fields) {
  if (fields.size() == 0) return statement_end(n);
  // A failed item ends the record where it stands, without its CR LF, so
  // after a Yes the next record written goes on on the same line.
  const RecordField* const last = fields.end() - 1;
  for (const RecordField* field = fields.begin(); field != fields.end(); ++field) {
    if (field != fields.begin()) {
      if (item_error_pending()) break;
      console::print_text_to_file(output_file_number, ",");
    }
    if (item_error_pending()) break;
    // A number's text is followed by its one blank.
    const bool is_number = !std::holds_alternative<std::string_view>(*field);
    console::print_text_to_file(output_file_number, field_text(*field),
                                {.blank = is_number, .line_end = field == last});
  }
  // The record, whole or cut, is on the disk before the statement's
  // boundary: before the next question is shown, and before a failed write
  // or sync is shown in the error box.
  console::sync_written_files();
  statement_end(n);
}

void dialogue_prologue(ProgramValues& v, std::string_view heading, const PrologueNumbers& n) {
  jump_target(n.entry);
  clear(n.first_clear);                // still in the menu's colours
  set_colours(n.colours, 1, 3, 1, 7);  // blue on cyan
  clear(n.second_clear);
  printed_line(n.heading, {heading});
  empty_line(n.empty_row);
  question(n.file_question, "Nome do Ficheiro :", v.file_name);
  open_output_file(n.open, v.file_name);  // an existing file is emptied here
}

void dialogue_closing(ProgramValues& v, const ClosingNumbers& n) {
  clear(n.clear);
  question(n.surveyor_question, "Nome do Topografo  :", v.surveyor_name);
  question(n.calculator_question, "Nome do Calculador :", v.calculator_name);
  record_write(n.surveyor_record, {v.surveyor_name});
  record_write(n.calculator_record, {v.calculator_name});
  close_all(n.close_all);
}

}  // namespace survey_entry
