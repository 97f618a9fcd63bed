// The output file on real files in a temporary folder: the open (create,
// empty, refuse), the record bytes, failing writes and the error states,
// the syncs of files and folders, and the screen device.
#include "survey_entry/console/output_file.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/screen.h"
#include "survey_entry/console/console_testing.h"
#include "survey_entry/console/keyboard.h"
#include "survey_entry/console/run_control.h"
#include "survey_entry/console/text_screen.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using console::error_code::bad_file_name_or_number;
using console::error_code::device_unavailable;
using console::error_code::file_not_found;
using console::error_code::path_file_access_error;
using console::error_code::path_not_found;
using console::error_code::permission_denied;

constexpr int file_number = 2;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// One item of a record as the routine writes it.
struct Item {
  std::string text;
  bool space = false;
  bool line_end = false;
};

void write_items(const std::vector<Item>& items) {
  for (const Item& item : items) {
    console::print_text_to_file(file_number, item.text,
                                {.blank = item.space, .line_end = item.line_end});
  }
}

// Each test runs in a fresh temporary folder made the current directory,
// with no file open and no error pending.
class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console::output_file_reset();
    console::run_control_reset();
    previous_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "output_file_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    fs::current_path(folder_);
  }
  void TearDown() override {
    console::output_file_reset();
    console::run_control_reset();
    fs::current_path(previous_);
    fs::remove_all(folder_);
  }
  // Every path under the folder, sorted.
  std::vector<std::string> tree() const {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
      paths.push_back(fs::relative(entry.path(), folder_).string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  // Names in the folder, sorted.
  std::vector<std::string> folder_names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path previous_;
  fs::path folder_;
};

struct OpenCase {
  const char* label;
  std::string name;
  std::function<void()> prepare;
  std::uint32_t code;
  const char* created;  // the empty file the open leaves, when it succeeds
};

TEST_F(OutputFileTest, OpenCreatesEmptiesOrRaisesTheErrorOfTheReason) {
  const std::vector<OpenCase> cases{
      {"missing file is created", "obra", [] {}, 0, "obra"},
      {"non-empty file is emptied by the open", "obra", [] { write_file("obra", "old,data\r\n"); },
       0, "obra"},
      {"empty file is opened", "obra", [] { write_file("obra", ""); }, 0, "obra"},
      {"blanks kept, no extension added", " obra. ", [] {}, 0, " obra. "},
      {"slash separates folders", "dados/obra.txt", [] { fs::create_directory("dados"); }, 0,
       "dados/obra.txt"},
      {"missing folder", "dados/obra.txt", [] {}, path_not_found, nullptr},
      {"part of the path is a file", "plano/obra", [] { write_file("plano", "x"); }, path_not_found,
       nullptr},
      {"empty name", "", [] {}, path_not_found, nullptr},
      {"folder as the name", "dados", [] { fs::create_directory("dados"); }, permission_denied,
       nullptr},
      {"NUL byte in the name", "obra\0.txt"s, [] {}, file_not_found, nullptr},
      {"name too long", std::string(300, 'a'), [] {}, file_not_found, nullptr},
      {"FIFO that nobody reads", "canal", [] { ASSERT_EQ(::mkfifo("canal", 0600), 0); },
       device_unavailable, nullptr},
      // "\" separates folders as "/" does.
      {"backslash separates folders", "dados\\obra.txt", [] { fs::create_directory("dados"); }, 0,
       "dados/obra.txt"},
      {"backslash, missing folder", "nodir\\x.txt", [] {}, path_not_found, nullptr},
      {"backslashes in a row", "dados\\\\\\obra", [] { fs::create_directory("dados"); }, 0,
       "dados/obra"},
      {"backslash and slash mixed", "dados\\sub/obra", [] { fs::create_directories("dados/sub"); },
       0, "dados/sub/obra"},
      {"trailing backslash", "obra\\", [] {}, permission_denied, nullptr},
      {"trailing backslash after a folder", "dados\\", [] { fs::create_directory("dados"); },
       permission_denied, nullptr},
      {"backslash alone: the root folder", "\\", [] {}, permission_denied, nullptr},
      {"server and share form", "\\\\no_such_server_here\\share", [] {}, path_not_found, nullptr},
      {"drive form is a name", "A:obra", [] {}, 0, "A:obra"},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.label);
    console::output_file_reset();
    console::run_control_reset();
    for (const auto& entry : fs::directory_iterator(folder_)) fs::remove_all(entry.path());
    c.prepare();
    std::vector<std::string> expected_tree = tree();
    if (c.created != nullptr && !fs::exists(c.created)) expected_tree.push_back(c.created);
    std::sort(expected_tree.begin(), expected_tree.end());

    console::open_file(c.name, file_number);

    EXPECT_EQ(console::pending_error(), c.code);
    EXPECT_EQ(console::open_file_kind(file_number).has_value(), c.code == 0);
    if (c.created != nullptr) {
      EXPECT_TRUE(fs::is_regular_file(c.created));
      EXPECT_EQ(fs::file_size(c.created), 0u);
    }
    // Nothing else is made: no name with a "\" in it, no folder.
    EXPECT_EQ(tree(), expected_tree);
  }
  // The failed opens created nothing, not even the name cut at its NUL byte.
  EXPECT_FALSE(fs::exists("obra"));
}

TEST_F(OutputFileTest, RecordsAreWrittenAsTheirItemsWithCrLf) {
  console::open_file("obra", file_number);
  ASSERT_EQ(console::pending_error(), 0u);
  // Job record, then its state: "T1, 3 " is 6 bytes, next column 7.
  write_items({{"T1"}, {","}, {" 3", true, true}});
  write_items({{" 5", true}, {","}, {"T1", false, true}});
  write_items(
      {{"E1"}, {","}, {" 1000.5", true}, {","}, {" 2000", true}, {","}, {" 4", true, true}});
  write_items({{"Silva, J.", false, true}});  // typed inside quotes: its comma stays
  write_items({{"", false, true}});           // empty text: an empty line
  write_items({{"1\xa7 V\xa6", false, true}});
  console::close_files();

  EXPECT_EQ(read_file("obra"),
            "T1, 3 \r\n"
            " 5 ,T1\r\n"
            "E1, 1000.5 , 2000 , 4 \r\n"
            "Silva, J.\r\n"
            "\r\n"
            "1\xa7 V\xa6\r\n");
  EXPECT_FALSE(console::open_file_kind(file_number).has_value());
}

TEST_F(OutputFileTest, EachItemReachesTheFileWithItsEndAtOnce) {
  console::open_file("obra", file_number);
  struct Step {
    Item item;
    std::string file;  // the whole file after the item
  };
  const std::vector<Step> steps{
      {{"T1"}, "T1"},
      {{" 3", true}, "T1 3 "},
      {{"", false, true}, "T1 3 \r\n"},
      {{"AB"}, "T1 3 \r\nAB"},
      {{"a\rb\nc"}, "T1 3 \r\nABa\rb\nc"},  // control bytes unchanged
      {{"x", true, true}, "T1 3 \r\nABa\rb\ncx \r\n"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.item.text);
    write_items({s.item});
    EXPECT_EQ(read_file("obra"), s.file);
  }
  console::close_files();
  EXPECT_EQ(read_file("obra"), steps.back().file);
}

TEST_F(OutputFileTest, EveryOperationDoesNothingWhileAnErrorIsPending) {
  console::open_file("obra", file_number);
  write_items({{"T1"}});
  console::raise_runtime_error(path_file_access_error);

  console::open_file("outra", 3);
  write_items({{","}, {" 3", true, true}});
  console::close_files();
  console::close_file(file_number);

  EXPECT_EQ(console::pending_error(), path_file_access_error);
  EXPECT_FALSE(fs::exists("outra"));
  EXPECT_TRUE(console::open_file_kind(file_number).has_value());
  EXPECT_EQ(read_file("obra"), "T1");

  // Once the error is answered, the file goes on from where it was.
  console::run_control_reset();
  write_items({{",X", false, true}});
  console::close_files();
  EXPECT_EQ(read_file("obra"), "T1,X\r\n");
}

TEST_F(OutputFileTest, WritesWithoutAnOpenFileRaise52AtTheFirstItem) {
  console::open_file("dados/obra", file_number);
  ASSERT_EQ(console::pending_error(), path_not_found);
  console::run_control_reset();  // answered Yes

  write_items({{"T1"}, {","}, {" 3", true, true}});
  EXPECT_EQ(console::pending_error(), bad_file_name_or_number);
  console::run_control_reset();

  // The close-all finds nothing and raises nothing.
  console::close_files();
  EXPECT_EQ(console::pending_error(), 0u);
  EXPECT_TRUE(folder_names().empty());
}

TEST_F(OutputFileTest, FileNumberChecks) {
  struct Case {
    const char* label;
    std::function<void()> act;
    std::uint32_t code;
  };
  const std::vector<Case> cases{
      {"open under number 0", [] { console::open_file("a", 0); }, bad_file_name_or_number},
      {"open a number twice",
       [] {
         console::open_file("a", 2);
         console::open_file("b", 2);
       },
       55},
      {"write to a negative number is ignored",
       [] { console::print_text_to_file(-1, "x", {.line_end = true}); }, 0},
      {"write to number 0", [] { console::print_text_to_file(0, "x", {.line_end = true}); },
       bad_file_name_or_number},
      {"write after the one-file close",
       [] {
         console::open_file("a", 2);
         console::close_file(2);
         console::print_text_to_file(2, "x", {.line_end = true});
       },
       bad_file_name_or_number},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    console::output_file_reset();
    console::run_control_reset();
    c.act();
    EXPECT_EQ(console::pending_error(), c.code);
  }
  EXPECT_FALSE(fs::exists("b"));
}

TEST_F(OutputFileTest, FullDiskRaises75) {
  console::open_file("/dev/full", file_number);
  ASSERT_EQ(console::pending_error(), 0u);
  write_items({{"T1"}, {","}});
  EXPECT_EQ(console::pending_error(), path_file_access_error);
}

// A file or folder as the system knows it, whatever name leads to it.
struct FileId {
  dev_t device;
  ino_t inode;
  bool operator==(const FileId&) const = default;
};
FileId id_of(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return {info.st_dev, info.st_ino};
}

// Sync calls that note what they were given, as the path of the
// descriptor (and, for a folder, what it is), and fail with fail_with when
// it is not 0.
std::vector<fs::path> file_syncs;
std::vector<fs::path> folder_syncs;
std::vector<FileId> folder_sync_ids;
int fail_with = 0;

int noted_sync(std::vector<fs::path>& noted, int fd) {
  noted.push_back(fs::read_symlink("/proc/self/fd/" + std::to_string(fd)));
  if (fail_with == 0) return 0;
  errno = fail_with;
  return -1;
}

int noted_folder_sync(int fd) {
  struct stat info {};
  EXPECT_EQ(::fstat(fd, &info), 0);
  folder_sync_ids.push_back({info.st_dev, info.st_ino});
  return noted_sync(folder_syncs, fd);
}

void put_in_noting_sync_calls() {
  console::set_ordinary_file_calls({.file_data = [](int fd) { return noted_sync(file_syncs, fd); },
                                  .folder = noted_folder_sync});
}

class SyncTest : public OutputFileTest {
 protected:
  void SetUp() override {
    OutputFileTest::SetUp();
    file_syncs.clear();
    folder_syncs.clear();
    fail_with = 0;
    put_in_noting_sync_calls();
  }
  fs::path here() const { return fs::canonical(folder_); }
};

// The folder is synced when the open made a new name or emptied a file:
// not for an existing empty file, a device or the screen. A symbolic link
// whose target is missing has the target created in the folder it leads
// to, and that folder is synced.
TEST_F(SyncTest, OpenSyncsTheFolderOfANameItCreatesOrEmpties) {
  struct Case {
    const char* label;
    std::string name;
    std::function<void()> prepare;
    const char* folder;   // relative to the test folder, or null for none
    const char* created;  // the file made, when not the name
  };
  const std::vector<Case> cases{
      {"new file", "obra", [] {}, ".", nullptr},
      {"non-empty file emptied", "obra", [] { write_file("obra", "x"); }, ".", nullptr},
      {"empty file", "obra", [] { write_file("obra", ""); }, nullptr, nullptr},
      {"new file in a folder", "dados\\obra", [] { fs::create_directory("dados"); }, "dados",
       nullptr},
      {"device", "/dev/null", [] {}, nullptr, nullptr},
      {"screen", "SCRN:", [] {}, nullptr, nullptr},
      {"link to a missing file in another folder", "obra",
       [] {
         fs::create_directory("alvo");
         fs::create_symlink("alvo/obra.txt", "obra");
       },
       "alvo", "alvo/obra.txt"},
      {"link in a folder to a missing file beside it", "dados/obra",
       [] {
         fs::create_directory("dados");
         fs::create_symlink("obra.txt", "dados/obra");
       },
       "dados", "dados/obra.txt"},
      {"links in a row, the last to a missing file by its full name", "obra",
       [] {
         fs::create_directories("alvo/sub");
         fs::create_symlink(fs::current_path() / "alvo/sub/fim", "meio");
         fs::create_symlink("meio", "obra");
       },
       "alvo/sub", "alvo/sub/fim"},
      {"link to an empty file", "obra",
       [] {
         fs::create_directory("alvo");
         write_file("alvo/obra.txt", "");
         fs::create_symlink("alvo/obra.txt", "obra");
       },
       nullptr, "alvo/obra.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    console::output_file_reset();
    put_in_noting_sync_calls();
    for (const auto& entry : fs::directory_iterator(folder_)) fs::remove_all(entry.path());
    c.prepare();
    folder_syncs.clear();
    folder_sync_ids.clear();

    console::open_file(c.name, file_number);

    EXPECT_EQ(console::pending_error(), 0u);
    if (c.created != nullptr) {
      EXPECT_TRUE(fs::is_regular_file(c.created));
    }
    if (c.folder == nullptr) {
      EXPECT_TRUE(folder_sync_ids.empty());
    } else {
      EXPECT_EQ(folder_sync_ids, std::vector<FileId>{id_of(c.folder)});
      EXPECT_EQ(folder_syncs, std::vector<fs::path>{fs::canonical(here() / c.folder)});
    }
  }
  EXPECT_TRUE(file_syncs.empty());
}

// What each statement wrote is synced once, also when an error cut it; a
// statement that wrote nothing, the screen and a device sync nothing.
TEST_F(SyncTest, WrittenDataIsSyncedOncePerStatement) {
  console::open_file("obra", file_number);
  console::open_file("/dev/null", 3);
  console::open_file("SCRN:", 4);
  ASSERT_EQ(console::pending_error(), 0u);
  const fs::path obra = here() / "obra";

  console::sync_written_files();
  EXPECT_TRUE(file_syncs.empty()) << "nothing written yet";

  for (int number : {file_number, 3, 4}) {
    console::print_text_to_file(number, "T1", {.line_end = true});
  }
  console::sync_written_files();
  EXPECT_EQ(file_syncs, std::vector<fs::path>{obra});
  console::sync_written_files();
  EXPECT_EQ(file_syncs.size(), 1u) << "a second sync without writes";

  // A record cut by a failed item: the item before it is synced too.
  write_items({{"E1"}});
  console::raise_runtime_error(path_file_access_error);
  console::sync_written_files();
  EXPECT_EQ(file_syncs, (std::vector<fs::path>{obra, obra}));
  EXPECT_EQ(console::pending_error(), path_file_access_error);
  console::close_files();
}

// A failed sync raises what the same failure of a write raises; an error
// already pending stays the one shown; the file stays open.
TEST_F(SyncTest, FailedSyncRaisesTheErrorOfAFailedWrite) {
  struct Case {
    int error_number;
    std::uint32_t pending_before, code;
  };
  const std::vector<Case> cases{
      {EIO, 0, path_file_access_error},
      {ENOSPC, 0, path_file_access_error},
      {EDQUOT, 0, path_file_access_error},
      {EIO, permission_denied, permission_denied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error_number);
    console::output_file_reset();
    put_in_noting_sync_calls();
    console::run_control_reset();
    fail_with = 0;
    console::open_file("obra", file_number);
    ASSERT_EQ(console::pending_error(), 0u);
    write_items({{"T1", false, true}});
    console::raise_runtime_error(c.pending_before);
    fail_with = c.error_number;

    console::sync_written_files();

    EXPECT_EQ(console::pending_error(), c.code);
    EXPECT_TRUE(console::open_file_kind(file_number).has_value());
  }
  // The folder's sync at the open: the file opens, the error is raised.
  console::output_file_reset();
  put_in_noting_sync_calls();
  console::run_control_reset();
  fail_with = EIO;
  console::open_file("nova", file_number);
  EXPECT_EQ(console::pending_error(), path_file_access_error);
  EXPECT_TRUE(console::open_file_kind(file_number).has_value());
}

// Keys typed while the program waits on the disk are kept beyond the 15 of
// the ordinary queue: during the open of a new name (its folder's sync), a
// write to a disk file and the file's sync. A write to a FIFO waits for
// another program, not for the disk: there the ordinary 15 hold. Each
// stand-in call types 40 keys while it runs and notes how many wait.
std::vector<int> waiting_after_40;

void type_40_keys() {
  for (int i = 0; i < 40; ++i) console::key_pressed(console::Key::byte('a'));
  waiting_after_40.push_back(console::queued_key_count());
  console::keyboard_reset();
}

TEST_F(OutputFileTest, KeysTypedDuringAWaitOnTheDiskAreKeptBeyond15) {
  waiting_after_40.clear();
  console::set_ordinary_file_calls({.write =
                                        [](int fd, const void* bytes, std::size_t count) {
                                          type_40_keys();
                                          return ::write(fd, bytes, count);
                                        },
                                    .file_data =
                                        [](int) {
                                          type_40_keys();
                                          return 0;
                                        },
                                    .folder =
                                        [](int) {
                                          type_40_keys();
                                          return 0;
                                        }});
  console::keyboard_reset();
  console::open_file("nova", file_number);
  EXPECT_EQ(waiting_after_40, std::vector<int>{40}) << "typed during the open of a new name";
  waiting_after_40.clear();
  write_items({{"T1", false, true}});
  // The item and its CR LF: two writes.
  EXPECT_EQ(waiting_after_40, (std::vector<int>{40, 40})) << "typed during a write to a disk file";
  waiting_after_40.clear();
  console::sync_written_files();
  EXPECT_EQ(waiting_after_40, std::vector<int>{40}) << "typed during the sync";
  ASSERT_EQ(console::pending_error(), 0u);
  console::close_files();
  EXPECT_EQ(read_file("nova"), "T1\r\n");

  ASSERT_EQ(::mkfifo("canal", 0600), 0);
  const int reader = ::open("canal", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  console::open_file("canal", file_number);
  ASSERT_EQ(console::pending_error(), 0u);
  console::keyboard_reset();  // the open's own wait is over
  waiting_after_40.clear();
  write_items({{"T1", false, true}});
  EXPECT_EQ(waiting_after_40, (std::vector<int>{15, 15})) << "typed during a write to a FIFO";
  console::close_files();
  ::close(reader);
  console::keyboard_reset();
}

// Without a stand-in the system's calls run: a real file syncs cleanly.
TEST_F(OutputFileTest, SystemSyncCallsSucceedOnARealFile) {
  console::open_file("obra", file_number);
  write_items({{"T1", false, true}});
  console::sync_written_files();
  EXPECT_EQ(console::pending_error(), 0u);
  console::close_files();
  EXPECT_EQ(read_file("obra"), "T1\r\n");
}

TEST_F(OutputFileTest, ReaderGoneIsAWriteErrorNotTheEndOfTheProcess) {
  ASSERT_EQ(::mkfifo("canal", 0600), 0);
  const int reader = ::open("canal", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  console::open_file("canal", file_number);
  ASSERT_EQ(console::pending_error(), 0u);
  write_items({{"T1", false, true}});
  char bytes[8] = {};
  EXPECT_EQ(::read(reader, bytes, sizeof bytes), 4);
  ::close(reader);

  write_items({{"T2", false, true}});
  EXPECT_EQ(console::pending_error(), path_file_access_error);
}

// A file size limit makes a record's item fail: the items before it stay,
// no CR LF follows, and the next record goes on on the same line.
TEST_F(OutputFileTest, FailingItemCutsTheRecordAndTheNextGoesOnOnTheSameLine) {
  struct Case {
    rlim_t limit;
    const char* file;
  };
  const std::vector<Case> cases{
      {3, "E1,X\r\n"},     // the number item finds the file at its limit
      {6, "E1, 10X\r\n"},  // the number item is written short
  };
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    console::output_file_reset();
    console::run_control_reset();
    console::open_file("obra", file_number);
    ASSERT_EQ(console::pending_error(), 0u);

    rlimit limited = saved;
    limited.rlim_cur = c.limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    write_items({{"E1"}, {","}, {" 1000.5", true}, {","}, {" 2000", true, true}});
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(console::pending_error(), path_file_access_error);

    console::run_control_reset();  // answered Yes
    write_items({{"X", false, true}});
    console::close_files();
    EXPECT_EQ(console::pending_error(), 0u);
    EXPECT_EQ(read_file("obra"), c.file);
  }
}

// Root passes file modes, so the refused opens run in a child process as
// the unprivileged user 65534, which reports the pending error back.
TEST_F(OutputFileTest, RefusedAccessRaises70) {
  fs::permissions(folder_, fs::perms(0755));
  fs::create_directory("fechada");
  write_file("fechada/livre", "");
  fs::permissions("fechada/livre", fs::perms(0666));
  fs::permissions("fechada", fs::perms(0555));
  write_file("so_leitura", "old");
  fs::permissions("so_leitura", fs::perms(0444));

  struct Case {
    const char* name;
    std::uint32_t code;
  };
  const std::vector<Case> cases{
      {"so_leitura", permission_denied},
      {"fechada/nova", permission_denied},
      {"fechada/livre", 0},
      {"/proc/version", permission_denied},
  };
  constexpr std::uint32_t no_privilege_drop = 0xFFFFFFFF;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(report[0]);
      std::uint32_t code = no_privilege_drop;
      if (::geteuid() != 0 ||
          (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)) {
        console::run_control_reset();
        console::open_file(c.name, file_number);
        code = console::pending_error();
      }
      const bool sent = ::write(report[1], &code, sizeof code) == sizeof code;
      ::_exit(sent ? 0 : 1);
    }
    ::close(report[1]);
    std::uint32_t code = 0;
    const ssize_t got = ::read(report[0], &code, sizeof code);
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof code));
    if (code == no_privilege_drop) GTEST_SKIP() << "cannot become user 65534 here";
    EXPECT_EQ(code, c.code);
  }
  EXPECT_EQ(read_file("so_leitura"), "old");
  fs::permissions("fechada", fs::perms(0755));
}

TEST_F(OutputFileTest, ScreenDevicePrintsRecordsAtTheCursorWithoutTheBlanks) {
  struct Case {
    const char* name;
    bool screen;
  };
  const std::vector<Case> cases{
      {"SCRN:", true}, {"scrn:", true}, {"Scrn:anything", true}, {"SCRN", false}, {"SCR:", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    console::output_file_reset();
    console::run_control_reset();
    console::text_screen_reset();
    console::open_file(c.name, file_number);
    ASSERT_EQ(console::pending_error(), 0u);
    EXPECT_EQ(console::open_file_kind(file_number),
              c.screen ? console::FileKind::screen : console::FileKind::ordinary);
    write_items({{"T1"}, {","}, {" 3", true}});
    // The screen takes no blank after the number: the cursor stands after "T1, 3".
    if (c.screen) {
      EXPECT_EQ(console::cursor_column(), 6);
    }
    write_items({{"", false, true}});
    write_items({{"E1", false, true}});

    const std::string row1 = support::row_text(1).substr(0, 5);
    const std::string row2 = support::row_text(2).substr(0, 5);
    if (c.screen) {
      EXPECT_EQ(row1, "T1, 3");
      EXPECT_EQ(row2, "E1   ");
      EXPECT_EQ(console::cursor_row(), 3);
      EXPECT_EQ(console::cursor_column(), 1);
    } else {
      EXPECT_EQ(read_file(c.name), "T1, 3 \r\nE1\r\n");
      EXPECT_EQ(console::cursor_row(), 1);
    }
  }
  console::output_file_reset();
  EXPECT_EQ(folder_names(), (std::vector<std::string>{"SCR:", "SCRN"}));
}

}  // namespace
