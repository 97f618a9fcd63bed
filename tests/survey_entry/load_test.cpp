// Load: keys typed faster than the routine takes them, and long runs of the
// radiation dialogue (menu key "4") with thousands of stations and points.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "dialogue_runs.h"
#include "support/harness.h"
#include "survey_entry/console/console_testing.h"
#include "survey_entry/console/keyboard.h"
#include "survey_entry/program.h"

namespace {

using console::Key;
using support::padded;

constexpr std::size_t queue_capacity = 15;

// A radiation run: the answers in order and the bytes of the file they give.
struct Survey {
  std::vector<std::string> answers;
  std::string file;
};

// Station s gets points_of(s) points. Every value is chosen so that its
// number text is known exactly: whole numbers, halves, quarters, eighths.
template <typename PointsOf>
Survey make_survey(const std::string& file_name, int stations, PointsOf points_of) {
  Survey survey;
  auto& a = survey.answers;
  const std::string n = std::to_string(stations);
  a = {file_name, "T" + n, n};
  survey.file = "T" + n + ", " + n + " \r\n";
  for (int s = 1; s <= stations; ++s) {
    const std::string st = std::to_string(s);
    const std::string points = std::to_string(points_of(s));
    a.insert(a.end(), {"E" + st, st + ".5", "-" + st, "0.25", "0", "1.5", points});
    survey.file += "E" + st + ", " + st + ".5 ,-" + st + " , .25 , 0 , 1.5 , " + points + " \r\n";
    for (int k = 1; k <= points_of(s); ++k) {
      const std::string pt = std::to_string(k);
      const std::string di = std::to_string(s * 1000 + k);
      a.insert(a.end(), {"P" + st + "-" + pt, pt + ".125", "98.765", di, "1.6"});
      survey.file += "P" + st + "-" + pt + ", " + pt + ".125 , 98.765 , " + di + " , 1.6 \r\n";
    }
  }
  a.insert(a.end(), {"A", "B"});
  survey.file += "A\r\nB\r\n";
  return survey;
}

// The keys of answers, each ended by Enter.
std::string keys_of(const std::vector<std::string>& answers, std::size_t from = 0) {
  std::string keys;
  for (std::size_t i = from; i < answers.size(); ++i) keys += answers[i] + '\r';
  return keys;
}

// Presses and releases each byte at once, without waiting for room: what the
// queue cannot hold is lost.
void burst(harness::RoutineRun& run, const std::string& keys) {
  for (const char c : keys) {
    const Key key = Key::byte(static_cast<std::uint8_t>(c));
    run.press_raw(key);
    run.release(key);
  }
}

// Types as fast as the queue takes keys, losing none: waits only while the
// queue is full.
void type_fast(harness::RoutineRun& run, const std::string& keys) {
  for (const char c : keys) {
    while (static_cast<std::size_t>(console::queued_key_count()) >= queue_capacity) {
      if (run.halted() || run.exited()) return;
      // A short sleep rather than a spin: with several test programs on
      // each core, spinning typists starve the program threads they wait for.
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    const Key key = Key::byte(static_cast<std::uint8_t>(c));
    run.press_raw(key);
    run.release(key);
  }
}

const Survey small = make_survey("irr.txt", 2, [](int s) { return s; });

// Bursts typed while the routine cannot take keys, of sizes around the
// queue's capacity. The keys after the 15th are lost; typing the stream on
// from the 16th key must then give exactly the file of the whole stream: a
// key kept beyond the 15th would appear twice, a key lost before it would be
// missing.
const std::vector<std::size_t> burst_sizes = {15, 16, 17, 40, 100};

class MenuBurstTest : public ::testing::TestWithParam<std::size_t> {};

// The routine is held before its first statement while the burst is typed,
// so every key of it meets the menu's key read.
TEST_P(MenuBurstTest, KeepsTheFirstFifteenKeys) {
  harness::Gate gate;
  harness::RoutineRun run([&gate] {
    gate.wait();
    survey_entry::survey_entry_main();
  });
  // Keys that the menu ignores, then the menu key and the answers.
  const std::string stream = "a7z\x1b " + std::string("4") + keys_of(small.answers);
  const std::size_t size = GetParam();
  burst(run, stream.substr(0, size));
  const std::size_t kept = std::min(size, queue_capacity);
  EXPECT_EQ(static_cast<std::size_t>(console::queued_key_count()), kept);
  gate.open();
  run.settle();
  type_fast(run, stream.substr(kept));
  run.settle();
  dialogue_runs::finish(run);
  EXPECT_EQ(run.file_bytes("irr.txt"), small.file);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MenuBurstTest, ::testing::ValuesIn(burst_sizes));

// A FIFO as the output file, its reader drained only when the test says so:
// with the pipe filled by padding first, the routine's first record write
// holds the routine until the drain starts.
class HeldPipe {
 public:
  explicit HeldPipe(const std::string& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) return;
    reader_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int filler = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (reader_ < 0 || filler < 0) return;
    // Full pages first, then single bytes until not one more fits.
    const std::string page(4096, '#');
    while (::write(filler, page.data(), page.size()) > 0) padding_ += page.size();
    while (::write(filler, "#", 1) == 1) ++padding_;
    ok_ = errno == EAGAIN;
    ::close(filler);
  }
  // A test that failed half-way must not leave the routine held in a write,
  // nor wait for an end of file that only the end of the run brings.
  ~HeldPipe() {
    if (!drain_.joinable()) start_drain();
    closing_.store(true);
    drain_.join();
    if (reader_ >= 0) ::close(reader_);
  }
  HeldPipe(const HeldPipe&) = delete;
  HeldPipe& operator=(const HeldPipe&) = delete;

  bool ok() const { return ok_; }

  // Reads everything the routine writes, until it closes the file. Call once
  // the routine holds the pipe open.
  void start_drain() {
    drain_ = std::thread([this] {
      char buffer[4096];
      for (;;) {
        pollfd ready{reader_, POLLIN, 0};
        const int polled = ::poll(&ready, 1, 50);
        if (polled == 0) {
          if (closing_.load()) break;
          continue;
        }
        if (polled < 0 && errno == EINTR) continue;
        const ssize_t n = polled < 0 ? -1 : ::read(reader_, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        data_.append(buffer, static_cast<std::size_t>(n));
      }
    });
  }

  // What the routine wrote, once the drain has seen the end of the file.
  std::string written() {
    if (drain_.joinable()) drain_.join();
    if (data_.size() < padding_ || data_.find_first_not_of('#') < padding_) return "(padding lost)";
    return data_.substr(padding_);
  }

 private:
  int reader_ = -1;
  std::size_t padding_ = 0;
  bool ok_ = false;
  std::atomic<bool> closing_{false};
  std::thread drain_;
  std::string data_;
};

class AnswerBurstTest : public ::testing::TestWithParam<std::size_t> {};

// The burst is typed while the routine is held in the job record's write:
// the keys are the answers of the first station's questions.
TEST_P(AnswerBurstTest, KeepsTheFirstFifteenKeys) {
  harness::RoutineRun run;
  HeldPipe pipe((run.folder() / "pipe").string());
  ASSERT_TRUE(pipe.ok());
  run.press(Key::byte('4'));
  run.answer("pipe");
  run.answer("T2");
  run.answer("2");
  // Held in the write of the job record, which is no wait for keys: the
  // count's line has ended and the clear that follows the write has not
  // come. The keys above are typed ahead of the menu, whose drawing passes
  // row 6 too, so the count's row tells the two apart.
  ASSERT_TRUE(run.wait_for([&run] {
    return console::cursor_row() == 6 && run.row_text(5) == padded("Numero de Estacoes :2");
  }));

  const std::string stream = keys_of(small.answers, 3);
  const std::size_t size = GetParam();
  burst(run, stream.substr(0, size));
  const std::size_t kept = std::min(size, queue_capacity);
  EXPECT_EQ(static_cast<std::size_t>(console::queued_key_count()), kept);
  EXPECT_EQ(run.row_text(5), padded("Numero de Estacoes :2"));

  pipe.start_drain();
  run.settle();
  type_fast(run, stream.substr(kept));
  run.settle();
  dialogue_runs::finish(run);
  EXPECT_EQ(pipe.written(), small.file);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AnswerBurstTest, ::testing::ValuesIn(burst_sizes));

// The output file's first sync (the job record's) held until the test lets
// it go, as a slow disk holds it; every sync then runs the system's.
std::atomic<int> syncs_begun{0};
std::atomic<bool> sync_let_go{false};
int first_sync_held(int fd) {
  if (syncs_begun.fetch_add(1) == 0) {
    while (!sync_let_go.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return ::fdatasync(fd);
}

// A radiation run held in the sync of its job record, its calls put in
// before the routine starts.
class HeldSyncRun {
 public:
  explicit HeldSyncRun(const Survey& survey)
      : run_([this] {
          calls_set_.wait();
          survey_entry::survey_entry_main();
        }) {
    syncs_begun = 0;
    sync_let_go = false;
    console::set_ordinary_file_calls({.file_data = first_sync_held});
    calls_set_.open();
    run_.press(Key::byte('4'));
    for (std::size_t i = 0; i < 3; ++i) run_.answer(survey.answers[i]);
  }
  // A test that failed half-way must not leave the routine held.
  ~HeldSyncRun() { sync_let_go = true; }
  HeldSyncRun(const HeldSyncRun&) = delete;
  HeldSyncRun& operator=(const HeldSyncRun&) = delete;

  harness::RoutineRun& run() { return run_; }
  bool wait_until_held() {
    return run_.wait_for([] { return syncs_begun.load() == 1; });
  }
  void let_go() { sync_let_go = true; }

 private:
  harness::Gate calls_set_;
  harness::RoutineRun run_;
};

const Survey typed_ahead = make_survey("irr.txt", 3, [](int s) { return s + 1; });

// Up to 255 keys, the bound of a queue that waits on the disk, and beyond.
const std::vector<std::size_t> disk_burst_sizes = {16, 40, 255, 300};
constexpr std::size_t disk_wait_capacity = 255;

class SyncBurstTest : public ::testing::TestWithParam<std::size_t> {};

// Keys typed while the routine waits for the job record's sync are all kept,
// up to 255, and once the sync ends they are the answers of the questions
// that follow, in order: typing the stream on from the first key lost gives
// exactly the file of the whole stream.
TEST_P(SyncBurstTest, KeepsEveryKeyUpTo255) {
  HeldSyncRun held(typed_ahead);
  harness::RoutineRun& run = held.run();
  ASSERT_TRUE(held.wait_until_held());

  const std::string stream = keys_of(typed_ahead.answers, 3);
  ASSERT_GT(stream.size(), disk_burst_sizes.back());
  const std::size_t size = GetParam();
  burst(run, stream.substr(0, size));
  const std::size_t kept = std::min(size, disk_wait_capacity);
  EXPECT_EQ(static_cast<std::size_t>(console::queued_key_count()), kept);
  EXPECT_EQ(run.row_text(5), padded("Numero de Estacoes :3")) << "the routine went on";

  held.let_go();
  run.settle();
  type_fast(run, stream.substr(kept));
  run.settle();
  dialogue_runs::finish(run);
  EXPECT_EQ(run.file_bytes("irr.txt"), typed_ahead.file);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SyncBurstTest, ::testing::ValuesIn(disk_burst_sizes));

// A stop key and a pause key pressed while the sync waits, among typed
// keys: the pause is taken, the stop is carried out once the record is on
// the disk, and none of the typed answers reaches the file.
TEST(SyncWait, StopDuringTheSyncLetsTheRecordFinish) {
  HeldSyncRun held(typed_ahead);
  harness::RoutineRun& run = held.run();
  ASSERT_TRUE(held.wait_until_held());

  burst(run, keys_of(typed_ahead.answers, 3).substr(0, 30));
  run.press_raw(Key::of(console::NamedKey::pause));
  EXPECT_TRUE(console::pause_flag.load());
  run.press_raw(Key::of(console::NamedKey::break_key));
  ASSERT_TRUE(run.wait_for([] { return console::stop_flag.load(); }));
  EXPECT_FALSE(run.halted()) << "the routine stopped inside its record";

  held.let_go();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_EQ(syncs_begun.load(), 1);
  EXPECT_EQ(run.file_bytes("irr.txt"), "T3, 3 \r\n");
}

// Reads the whole screen over and over, as the window thread does while the
// routine writes it, so that the sanitizer builds see every screen access of
// a long run race with a reader.
class DisplayReader {
 public:
  DisplayReader()
      : thread_([this] {
          while (!done_.load()) {
            for (int row = 1; row <= console::screen_rows; ++row) {
              for (int column = 1; column <= console::screen_columns; ++column) {
                static_cast<void>(console::screen_cell(row, column));
              }
            }
            const int row = console::cursor_row();
            const int column = console::cursor_column();
            if (row < 1 || row > console::screen_rows || column < 1 ||
                column > console::screen_columns) {
              cursor_off_screen_ = true;
            }
            static_cast<void>(console::cursor_visible() + console::wrap_pending());
            static_cast<void>(console::foreground_colour() + console::background_colour());
            ++scans_;
            // The window thread reads between its waits too; a reader that
            // never rests would take the core the routine needs.
            std::this_thread::sleep_for(std::chrono::microseconds(50));
          }
        }) {}
  ~DisplayReader() { stop(); }
  DisplayReader(const DisplayReader&) = delete;
  DisplayReader& operator=(const DisplayReader&) = delete;

  // Ends the reading; the number of whole-screen scans made.
  std::uint64_t stop() {
    done_.store(true);
    if (thread_.joinable()) thread_.join();
    return scans_;
  }
  bool cursor_off_screen() const { return cursor_off_screen_; }

 private:
  std::atomic<bool> done_{false};
  std::uint64_t scans_ = 0;
  bool cursor_off_screen_ = false;
  std::thread thread_;
};

struct LongRun {
  const char* name;
  int stations;
  int (*points_of)(int station);
};

void PrintTo(const LongRun& c, std::ostream* os) { *os << c.name; }

class LongRunTest : public ::testing::TestWithParam<LongRun> {};

// Thousands of records typed as fast as the queue takes them, while the
// screen is read as the window thread reads it: every record in order, byte
// for byte, and the run ends at the end prompt.
TEST_P(LongRunTest, FileExact) {
  const LongRun& c = GetParam();
  // Without the give-up of each take: on a loaded machine a hundred thousand
  // of them cost minutes of other processes' time slices.
  struct NoTakeYields {
    NoTakeYields() { console::set_take_yields(false); }
    ~NoTakeYields() { console::set_take_yields(true); }
  } no_take_yields;
  const Survey survey = make_survey("long.txt", c.stations, c.points_of);
  harness::RoutineRun run([] { survey_entry::survey_entry_main(); }, 100000);
  DisplayReader display;
  type_fast(run, "4" + keys_of(survey.answers));
  run.settle(std::chrono::seconds(60));
  EXPECT_GT(display.stop(), 0u);
  EXPECT_FALSE(display.cursor_off_screen());
  dialogue_runs::finish(run);
  const std::string file = run.file_bytes("long.txt");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'),
            std::count(survey.file.begin(), survey.file.end(), '\n'));
  const auto difference =
      std::mismatch(file.begin(), file.end(), survey.file.begin(), survey.file.end()).first;
  EXPECT_TRUE(file == survey.file) << "first difference at byte " << difference - file.begin();
}

INSTANTIATE_TEST_SUITE_P(Runs, LongRunTest,
                         ::testing::Values(
                             // Stations with none to three points each.
                             LongRun{"MixedPoints", 1200, [](int s) { return s % 4; }},
                             // Few stations, thousands of points each.
                             LongRun{"ManyPoints", 2, [](int) { return 1500; }},
                             // Thousands of stations without points.
                             LongRun{"NoPoints", 2000, [](int) { return 0; }}),
                         [](const ::testing::TestParamInfo<LongRun>& i) {
                           return std::string(i.param.name);
                         });

}  // namespace
