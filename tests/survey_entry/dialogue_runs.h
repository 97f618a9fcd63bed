// Small helpers for whole runs of the routine: a menu key, the answers in
// order, the end prompt, and the expected error boxes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/harness.h"
#include "support/screen.h"

namespace dialogue_runs {

// Presses the menu key and types every answer, each ended by Enter, then
// waits until the routine is idle.
inline void start(harness::RoutineRun& run, char menu_key,
                  const std::vector<std::string>& answers) {
  run.press(console::Key::byte(static_cast<std::uint8_t>(menu_key)));
  for (const std::string& answer : answers) run.answer(answer);
  run.settle();
}

// Ends a run that stands at the end prompt and checks the exit code.
inline void finish(harness::RoutineRun& run) {
  ASSERT_FALSE(run.exited()) << "the run ended before the end prompt";
  EXPECT_EQ(run.row_text(25), support::padded("Press any key to continue"));
  run.press(console::Key::byte('x'));
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
}

// A whole run: the bytes of the file it wrote.
inline std::string file_of_run(char menu_key, const std::vector<std::string>& answers,
                               const std::string& file_name) {
  harness::RoutineRun run;
  start(run, menu_key, answers);
  finish(run);
  return run.file_bytes(file_name);
}

// The error boxes a run showed, as (statement, code) pairs; every box's
// text must have the form of the error box.
inline std::vector<std::pair<unsigned, unsigned>> box_lines(const harness::RoutineRun& run) {
  std::vector<std::pair<unsigned, unsigned>> result;
  for (const harness::ShownBox& box : run.shown_boxes()) {
    const std::string title_start = "Unhandled Error #";
    EXPECT_EQ(box.title.rfind(title_start, 0), 0u) << box.title;
    const unsigned code = static_cast<unsigned>(std::stoul(box.title.substr(title_start.size())));
    const std::string text_start = "Line: ";
    EXPECT_EQ(box.text.rfind(text_start, 0), 0u) << box.text;
    const unsigned line = static_cast<unsigned>(std::stoul(box.text.substr(text_start.size())));
    const std::string message = code == 52 ? "Bad file name or number" : "Path not found";
    EXPECT_EQ(box.text,
              text_start + std::to_string(line) + " (in main module)\n" + message + "\nContinue?");
    result.emplace_back(line, code);
  }
  return result;
}

// The answers of a file name that cannot be created: its folder is missing.
inline const std::string unopenable_name = "no_such_folder/out.txt";

}  // namespace dialogue_runs
