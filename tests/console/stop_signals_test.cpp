// The stop signals: which ones the process takes, and the signal thread in
// whole runs of a stand-in routine held in the middle of a record write.
// The signals are sent to the signal thread alone (pthread_kill), which
// blocks them; the test process's other threads keep their default action.
#include "survey_entry/console/stop_signals.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/harness.h"
#include "survey_entry/console/console.h"
#include "survey_entry/statements.h"

namespace {

using harness::RoutineRun;
using survey_entry::statement_end;

std::vector<int> members(const sigset_t& set) {
  std::vector<int> found;
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGPIPE}) {
    if (sigismember(&set, signal_number) == 1) found.push_back(signal_number);
  }
  return found;
}

// A signal the process was started with ignored (nohup, a shell's
// background job) is left out and stays ignored.
TEST(StopSignals, AreTermHupAndIntLessThoseIgnoredAtTheStart) {
  struct Case {
    const char* label;
    std::vector<int> ignored;
    std::vector<int> taken;
  };
  const std::vector<Case> cases{
      {"none ignored", {}, {SIGTERM, SIGHUP, SIGINT}},
      {"nohup", {SIGHUP}, {SIGTERM, SIGINT}},
      {"background job", {SIGINT, SIGQUIT}, {SIGTERM, SIGHUP}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<struct sigaction> saved(c.ignored.size());
    for (std::size_t i = 0; i < c.ignored.size(); ++i) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      ASSERT_EQ(sigaction(c.ignored[i], &ignore, &saved[i]), 0);
    }
    EXPECT_EQ(members(console::stop_signals()), c.taken);
    for (std::size_t i = 0; i < c.ignored.size(); ++i) {
      sigaction(c.ignored[i], &saved[i], nullptr);
    }
  }
}

// The signal thread of a run, started with SIGTERM and SIGHUP blocked on it
// alone. It ends at the second signal, with the run's exit (the harness's
// exit ends the thread); it is sent what it still needs of the two at the
// end of the test.
class SignalThread {
 public:
  SignalThread() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    thread_ = std::thread([this, signals] {
      try {
        console::run_stop_signals(signals);
      } catch (...) {
        // The harness's process exit, thrown to end the thread.
      }
      ended_ = true;
    });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  // Two signals of one kind may merge while the first is pending, so the
  // first is SIGTERM and the second SIGHUP.
  void send() { pthread_kill(thread_.native_handle(), ++sent_ == 1 ? SIGTERM : SIGHUP); }
  ~SignalThread() {
    if (sent_ == 0) {
      send();
      console::wait_until([] { return console::close_request.load(); },
                          console::WaitClock::now() + std::chrono::seconds(5));
    }
    if (sent_ == 1) send();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!ended_.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (ended_.load()) {
      thread_.join();
    } else {
      ADD_FAILURE() << "the signal thread did not end the run at the second signal";
      thread_.detach();
    }
  }
  SignalThread(const SignalThread&) = delete;
  SignalThread& operator=(const SignalThread&) = delete;

 private:
  std::thread thread_;
  int sent_ = 0;
  std::atomic<bool> ended_{false};
};

// One signal during a record: the record is finished and the file closed
// before the exit. A second one, while the routine is still held in the
// record: the exit comes at once, the record cut, the file left open to the
// end of the process.
struct SignalCase {
  const char* name;
  int signals;
  const char* file;
  int open_files_at_exit;
};

class SignalRunTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalRunTest, FirstSignalStopsAfterTheRecordASecondEndsAtOnce) {
  const SignalCase c = GetParam();
  std::atomic<bool> in_record{false};
  std::atomic<bool> go_on{false};
  std::atomic<bool> after_record{false};
  RoutineRun run([&] {
    console::open_file("survey.txt", 1);
    statement_end(54);
    console::print_text_to_file(1, "A");
    in_record = true;
    // Held in the record, as by a slow write, until the stop is raised
    // (and, with two signals, until the test has seen the exit).
    harness::wait_for_stop_flag();
    while (!go_on.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    console::print_text_to_file(1, ",");
    console::print_text_to_file(1, "B", {.line_end = true});
    statement_end(57);
    after_record = true;
    statement_end(59);
  });
  // Whatever fails, the routine goes on before the run is ended.
  const struct GoOn {
    std::atomic<bool>& flag;
    ~GoOn() { flag = true; }
  } go_on_at_the_end{go_on};
  SignalThread signal_thread;
  ASSERT_TRUE(run.wait_for([&] { return in_record.load(); }));

  signal_thread.send();
  // The stop raised whole: the record's end then halts the routine.
  ASSERT_TRUE(harness::wait_for_stop_flag());
  if (c.signals == 2) {
    signal_thread.send();
  } else {
    go_on = true;
  }
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_EQ(run.file_bytes("survey.txt"), c.file);
  EXPECT_EQ(run.open_files_at_exit(), c.open_files_at_exit);
  EXPECT_TRUE(run.shown_boxes().empty());
  go_on = true;
  ASSERT_TRUE(run.wait_for([&] { return run.halted(); }));
  EXPECT_FALSE(after_record.load());
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalRunTest,
                         ::testing::Values(SignalCase{"One", 1, "A,B\r\n", 0},
                                           SignalCase{"Two", 2, "A", 1}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
