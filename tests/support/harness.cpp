#include "harness.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <utility>

#include "screen.h"

namespace harness {

namespace {

using Clock = std::chrono::steady_clock;

// Thrown by the test host to end a thread of the run; caught only at the
// top of that thread.
struct ProgramParked {};
struct ProcessExited {};

constexpr auto poll_interval = std::chrono::milliseconds(1);
constexpr int queue_capacity = 15;

// The runs' folders go on a memory file system where there is one: the
// routine syncs every record it writes to the disk, and a long run's
// thousands of syncs on a disk busy with other work (a parallel build) take
// minutes, while what the tests read of the files is the same.
std::filesystem::path runs_parent() {
  const std::filesystem::path memory = "/dev/shm";
  std::error_code error;
  if (std::filesystem::is_directory(memory, error) && access(memory.c_str(), W_OK | X_OK) == 0) {
    return memory;
  }
  return std::filesystem::temp_directory_path();
}

std::filesystem::path make_run_folder() {
  std::string pattern = (runs_parent() / "survey_run_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder for the run");
  }
  return std::filesystem::canonical(pattern);
}

}  // namespace

struct RoutineRun::State final : console::RunHost {
  std::function<void()> routine;
  std::filesystem::path folder;
  std::filesystem::path previous_directory;

  mutable std::mutex mutex;
  std::condition_variable exit_seen;
  std::deque<bool> answers;
  std::vector<ShownBox> boxes;
  int exit_code = -1;
  int files_open_at_exit = -1;

  std::thread program_thread;
  std::thread stop_thread;

  bool show_error_box(const std::string& title, const std::string& text) override {
    std::lock_guard lock(mutex);
    boxes.push_back({title, text, false});
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }

  void show_critical_box(const std::string& title, const std::string& text) override {
    std::lock_guard lock(mutex);
    boxes.push_back({title, text, true});
  }

  // The first exit ends the run; a later one (the stop thread finishing
  // after a critical exit on the program thread) only ends its thread.
  [[noreturn]] void exit_process(int code) override {
    {
      std::lock_guard lock(mutex);
      if (exit_code == -1) {
        exit_code = code;
        files_open_at_exit = count_open_files();
      }
    }
    exit_seen.notify_all();
    throw ProcessExited{};
  }

  [[noreturn]] void park_program_thread() override { throw ProgramParked{}; }

  void run_program() {
    try {
      routine();
      // A stand-in routine that returns has done its work: the stop thread
      // may end the run as after halt_program.
      console::program_stopped.store(true, std::memory_order_release);
    } catch (const ProgramParked&) {
    } catch (const ProcessExited&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the routine threw: " << e.what();
      console::program_stopped.store(true, std::memory_order_release);
    } catch (...) {
      ADD_FAILURE() << "the routine threw an unknown exception";
      console::program_stopped.store(true, std::memory_order_release);
    }
  }

  void run_stop_thread() {
    try {
      console::run_stop_sequence();
    } catch (const ProcessExited&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the stop sequence threw: " << e.what();
    }
  }

  // Open descriptors of this process that name a file in the run folder.
  int count_open_files() const {
    int count = 0;
    std::error_code error;
    const std::string prefix = folder.string() + "/";
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
      std::error_code link_error;
      const auto target = std::filesystem::read_symlink(entry.path(), link_error);
      if (!link_error && target.string().rfind(prefix, 0) == 0) ++count;
    }
    return count;
  }

  bool has_exited() const {
    std::lock_guard lock(mutex);
    return exit_code != -1;
  }
};

RoutineRun::RoutineRun(std::function<void()> routine, unsigned sleep_divisor) : state_(new State) {
  state_->routine = std::move(routine);
  console::console_reset();
  console::set_sleep_divisor(sleep_divisor);
  state_->previous_directory = std::filesystem::current_path();
  state_->folder = make_run_folder();
  std::filesystem::current_path(state_->folder);
  console::set_run_host(state_);
  state_->stop_thread = std::thread([s = state_] { s->run_stop_thread(); });
  state_->program_thread = std::thread([s = state_] { s->run_program(); });
}

RoutineRun::~RoutineRun() {
  // The close request ends a routine that is still running at its next
  // check, key poll or line input; the stop thread then ends the run.
  console::close_request.store(true, std::memory_order_release);
  if (state_->program_thread.joinable()) state_->program_thread.join();
  // The program thread is gone however it ended (halt, critical exit):
  // let the stop thread finish.
  console::program_stopped.store(true, std::memory_order_release);
  if (state_->stop_thread.joinable()) state_->stop_thread.join();
  // The end of the process releases a file that the close-all left open.
  console::output_file_reset();
  console::set_run_host(nullptr);
  console::set_sleep_divisor(1);
  std::error_code ignored;
  std::filesystem::current_path(state_->previous_directory, ignored);
  std::filesystem::remove_all(state_->folder, ignored);
  delete state_;
}

bool wait_for_stop_flag() {
  // The stop flag alone is not enough: until the event flag follows it, a
  // statement boundary reads no event and the routine goes on past it. Only
  // the program thread takes the event flag, so while it is held here the
  // flag set means the stop's own store (or an earlier event's, which the
  // check takes together with the stop).
  if (console::wait_until(
          [] {
            return console::stop_flag.load(std::memory_order_acquire) &&
                   console::event_pending.load(std::memory_order_acquire);
          },
          console::WaitClock::now() + std::chrono::seconds(5))) {
    return true;
  }
  ADD_FAILURE() << "the stop thread raised no stop (stop flag, then event flag) within 5 s";
  return false;
}

void Gate::wait() const {
  while (!open_.load(std::memory_order_acquire) &&
         !console::close_request.load(std::memory_order_acquire)) {
    std::this_thread::sleep_for(poll_interval);
  }
}

void RoutineRun::press(console::Key key) {
  // Wait for room, as a typist waits for the program; a run that has ended
  // takes no more keys, so do not wait for it. A queue that stays full would
  // lose the key: the test fails here, at the key it lost.
  if (!wait_for([this] {
        return console::queued_key_count() < queue_capacity || halted() || exited();
      })) {
    ADD_FAILURE() << "key dropped: the key queue stayed full (character "
                  << int{key.character} << ", named key " << static_cast<int>(key.named) << ")";
    return;
  }
  console::key_pressed(key);
  console::key_released(key);
}

void RoutineRun::type(std::string_view bytes) {
  for (const char c : bytes) press(console::Key::byte(static_cast<std::uint8_t>(c)));
}

void RoutineRun::enter() { press(console::Key::byte(13)); }

void RoutineRun::answer(std::string_view bytes) {
  type(bytes);
  enter();
}

void RoutineRun::press_raw(console::Key key) { console::key_pressed(key); }

void RoutineRun::release(console::Key key) { console::key_released(key); }

void RoutineRun::settle(std::chrono::milliseconds timeout) {
  // Idle: the queue is empty and the program thread sleeps in a wait for
  // the user with no wake-up since it last found nothing to do. A key or a
  // request given before this call woke it, so it is not taken as idle
  // until it has seen them; and every take empties the queue only after the
  // thread woke, so an empty queue beside the mark means that every key has
  // been taken and handled.
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (halted() || exited()) return;
    if (console::queued_key_count() == 0 && console::program_waits_for_user()) return;
    if (Clock::now() > deadline) {
      ADD_FAILURE() << "the run did not become idle within " << timeout.count() << " ms";
      return;
    }
    std::this_thread::sleep_for(poll_interval);
  }
}

void RoutineRun::close_window() { console::close_request.store(true, std::memory_order_release); }

bool RoutineRun::wait_for(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(poll_interval);
  }
  return true;
}

void RoutineRun::answer_error_boxes(std::vector<bool> answers) {
  std::lock_guard lock(state_->mutex);
  state_->answers.insert(state_->answers.end(), answers.begin(), answers.end());
}

std::vector<ShownBox> RoutineRun::shown_boxes() const {
  std::lock_guard lock(state_->mutex);
  return state_->boxes;
}

bool RoutineRun::wait_for_exit(std::chrono::milliseconds timeout) {
  std::unique_lock lock(state_->mutex);
  return state_->exit_seen.wait_for(lock, timeout, [this] { return state_->exit_code != -1; });
}

bool RoutineRun::exited() const { return state_->has_exited(); }

int RoutineRun::exit_code() const {
  std::lock_guard lock(state_->mutex);
  return state_->exit_code;
}

int RoutineRun::open_files_at_exit() const {
  std::lock_guard lock(state_->mutex);
  return state_->files_open_at_exit;
}

bool RoutineRun::halted() const { return console::program_stopped.load(std::memory_order_acquire); }

std::string RoutineRun::row_text(int row) const { return support::row_text(row); }

std::uint8_t RoutineRun::attribute(int row, int column) const {
  return console::screen_cell(row, column).attribute;
}

std::string RoutineRun::screen_text() const {
  std::string text;
  for (int row = 1; row <= console::screen_rows; ++row) {
    if (row > 1) text += '\n';
    text += row_text(row);
  }
  return text;
}

const std::filesystem::path& RoutineRun::folder() const { return state_->folder; }

std::string RoutineRun::file_bytes(const std::string& name) const {
  std::ifstream in(state_->folder / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace harness
