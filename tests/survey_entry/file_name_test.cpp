// File names of any bytes typed at "Nome do Ficheiro :": each gives an open
// (a file of the stored name, or the screen device) or an error box, and the
// run goes on to its end prompt.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "dialogue_runs.h"
#include "support/harness.h"
#include "survey_entry/program.h"

namespace {

enum class Outcome { file, screen, error_box };

struct NameCase {
  const char* label;
  std::string typed;
  Outcome outcome;
  std::string stored;  // the name of the file made (Outcome::file)
  unsigned code = 0;   // the opening's error (Outcome::error_box)
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

NameCase opens(const char* label, std::string typed, std::string stored) {
  return {label, std::move(typed), Outcome::file, std::move(stored)};
}
NameCase fails(const char* label, std::string typed, unsigned code) {
  return {label, std::move(typed), Outcome::error_box, "", code};
}

std::string high_bytes(std::size_t count) {
  std::string s;
  for (std::size_t i = 0; i < count; ++i) s += static_cast<char>(0x80 + i % 0x80);
  return s;
}

using namespace std::string_literals;

const std::vector<NameCase> name_cases = {
    opens("Plain", "obra", "obra"),
    // The answer holds at most 255 bytes, the longest name the file system
    // takes; typed keys beyond it are dropped.
    opens("LongestName", std::string(255, 'a'), std::string(255, 'a')),
    opens("TooLongTyped", std::string(300, 'b'), std::string(255, 'b')),
    opens("NotUtf8", high_bytes(255), high_bytes(255)),
    opens("OrdinalIndicators", "\xA6\xA7obra\xFF", "\xA6\xA7obra\xFF"),
    opens("StoredControlBytes", "\x01\x02\x06\x0e\x1b", "\x01\x02\x06\x0e\x1b"),
    // Line feed and its kin are dropped; byte 127 is the Delete key, a named
    // key that an answer does not take.
    opens("DroppedControlBytes", "a\x0a\x0b\x0c\x1c\x1d\x1e\x1f\x7f.b", "a.b"),
    opens("BellNotStored", "a\x07z", "az"),
    opens("Backspaces", "abc\x08\x08\x08\x08xy\x08z", "xz"),
    opens("TabToEight", "a\tb", "a       b"),
    opens("Blanks", "  obra ", "  obra "),
    opens("QuotedComma", "\"a,b\"", "a,b"),
    opens("UnquotedCommaRefused", "a,b", "ab"),
    opens("SerialLookalike", "COM1", "COM1"),
    opens("BackslashSeparatesFolders", ".\\obra", "obra"),
    opens("DriveFormIsAName", "A:obra", "A:obra"),
    {"ScreenDevice", "scrn:x", Outcome::screen, ""},
    fails("Empty", "", 76),
    fails("MissingFolder", "no_such_folder/x", 76),
    fails("BackslashMissingFolder", "no_such_folder\\x", 76),
    fails("OnlyBlanksFolder", " / ", 76),
    fails("NulByte", "a\0b"s, 53),
    fails("RunFolder", ".", 70),
    fails("Root", "///", 70),
    fails("TrailingSlash", "obra/", 70),
    fails("BadSerialPort", "COM256:", 64),
    fails("BadSerialOption", "com1:9600,X", 64),
};

class FileNameTest : public ::testing::TestWithParam<NameCase> {};

// A radiation run with no station: the job record and the two name records
// go to the file, or each fails in a box of its own after a failed opening.
TEST_P(FileNameTest, OpensOrShowsTheErrorBox) {
  const NameCase& c = GetParam();
  harness::RoutineRun run([] { survey_entry::survey_entry_main(); }, 100);
  run.answer_error_boxes({true, true, true, true});
  dialogue_runs::start(run, '4', {c.typed, "T1", "0", "A", "B"});
  dialogue_runs::finish(run);

  std::vector<std::pair<unsigned, unsigned>> boxes;
  for (const harness::ShownBox& box : run.shown_boxes()) {
    ASSERT_FALSE(box.critical) << box.text;
    const std::string title_start = "Unhandled Error #";
    ASSERT_EQ(box.title.rfind(title_start, 0), 0u) << box.title;
    const unsigned code = static_cast<unsigned>(std::stoul(box.title.substr(title_start.size())));
    const unsigned line = static_cast<unsigned>(std::stoul(box.text.substr(6)));
    EXPECT_EQ(box.text, "Line: " + std::to_string(line) + " (in main module)\n" +
                            std::string(console::runtime_error_message(code)) + "\nContinue?");
    boxes.emplace_back(line, code);
  }
  std::vector<std::string> made;
  for (const auto& entry : std::filesystem::directory_iterator(run.folder())) {
    made.push_back(entry.path().filename().string());
  }

  switch (c.outcome) {
    case Outcome::file:
      EXPECT_TRUE(boxes.empty());
      ASSERT_EQ(made, std::vector<std::string>{c.stored});
      EXPECT_EQ(run.file_bytes(c.stored), "T1, 0 \r\nA\r\nB\r\n");
      break;
    case Outcome::screen:
      EXPECT_TRUE(boxes.empty());
      EXPECT_TRUE(made.empty());
      break;
    case Outcome::error_box: {
      const std::vector<std::pair<unsigned, unsigned>> expected = {
          {252, c.code}, {255, 52}, {287, 52}, {288, 52}};
      EXPECT_EQ(boxes, expected);
      EXPECT_TRUE(made.empty());
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Names, FileNameTest, ::testing::ValuesIn(name_cases),
                         [](const ::testing::TestParamInfo<NameCase>& i) {
                           return std::string(i.param.label);
                         });

}  // namespace
