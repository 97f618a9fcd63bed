// In-process runs of the routine: the routine (or any function standing in
// for it) runs on a program thread of its own against the real text screen,
// key queue and output file, the stop sequence runs on a stop thread, the
// test's own thread injects keys and the close request as the key reader
// thread and the window thread would, sleeps are shortened, and the end of
// the run (halt_program, the process exit) is caught without ending the test
// process. Error boxes are answered from a script.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "survey_entry/console/console_testing.h"

namespace harness {

struct ShownBox {
  std::string title;
  std::string text;
  bool critical = false;
};

// Holds a stand-in routine until the test opens it, for a routine that
// would otherwise act (raise an error box, take a key) before the test has
// made ready. A run being ended (the close request that RoutineRun's
// destructor raises) opens it too, so a test that fails before opening it
// still ends.
class Gate {
 public:
  void open() { open_.store(true, std::memory_order_release); }
  void wait() const;  // on the program thread

 private:
  std::atomic<bool> open_{false};
};

// Waits until the stop thread has turned a close request into the stop:
// the stop flag and, raised after it, the event flag, so that the program
// thread halts at its next statement boundary. At most 5 s, so that a
// broken stop sequence fails the test (false, and a failure added) instead
// of holding it. On the program thread, inside a statement, or on the
// test's thread while the routine is held there.
bool wait_for_stop_flag();

class RoutineRun {
 public:
  // Resets the console, makes a fresh temporary folder the current
  // directory, installs the test host and starts the program thread and the
  // stop thread.
  // sleep_divisor shortens every console sleep.
  explicit RoutineRun(std::function<void()> routine, unsigned sleep_divisor = 10);
  // Starts survey_entry_main.
  RoutineRun();
  ~RoutineRun();  // raises the close request if still running, joins, restores cwd
  RoutineRun(const RoutineRun&) = delete;
  RoutineRun& operator=(const RoutineRun&) = delete;

  // Key injection, as the key reader thread does it (press then release).
  // Each waits until the queue has room, so no key is lost unless wanted.
  void press(console::Key key);
  void type(std::string_view bytes);    // one press per byte
  void enter();                         // byte 13
  void answer(std::string_view bytes);  // type(bytes) then enter()
  void press_raw(console::Key key);     // no waiting for room, no release
  void release(console::Key key);
  // Waits until the program thread has taken every queued key and is idle
  // in a wait (a key read, a line input or the end prompt) or has halted.
  void settle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Raises the close request, as the window thread does for the close box.
  void close_window();
  // Waits until condition() holds, polling; false on timeout.
  bool wait_for(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  // Error boxes: answers given in order (true = Yes); when the script runs
  // out, the box is answered No. The routine runs from construction on, so a
  // stand-in that fails at once must wait (e.g. for a flag the test sets)
  // until its answers are given.
  void answer_error_boxes(std::vector<bool> answers);
  std::vector<ShownBox> shown_boxes() const;

  // The end of the run.
  bool wait_for_exit(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool exited() const;
  int exit_code() const;  // -1 while running
  bool halted() const;    // program-stopped mark set
  // Files of the run folder still open when the run ended (-1 while running).
  int open_files_at_exit() const;

  // The screen, read after settle() or the exit.
  std::string row_text(int row) const;  // 80 bytes
  std::uint8_t attribute(int row, int column) const;
  std::string screen_text() const;  // 25 rows joined by '\n'

  // The temporary folder the run works in, and a file read from it.
  const std::filesystem::path& folder() const;
  std::string file_bytes(const std::string& name) const;

 private:
  struct State;
  State* state_;
};

}  // namespace harness
