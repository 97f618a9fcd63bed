// The main of every unit and in-process test program: GoogleTest's own,
// plus a watchdog. A test process that is still running after
// SURVEY_TEST_WATCHDOG_SECONDS (default 150) prints the stacks of all its
// threads through gdb, once, so that a hang leaves its place in the log
// before CTest's timeout ends the process.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

unsigned watchdog_seconds() {
  const char* text = std::getenv("SURVEY_TEST_WATCHDOG_SECONDS");
  if (text == nullptr || *text == '\0') return 150;
  return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
}

void print_all_stacks() {
  const std::string command = "gdb -p " + std::to_string(getpid()) +
                              " -batch -nx -q -ex 'thread apply all bt' </dev/null 1>&2";
  std::fprintf(stderr, "\n*** watchdog: the test process is still running; thread stacks:\n");
  std::fflush(stderr);
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "*** watchdog: gdb could not print the stacks\n");
  }
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const unsigned seconds = watchdog_seconds();
  if (seconds > 0) {
    // gdb, a child of this process, may attach to it even where ptrace is
    // limited to descendants.
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    std::thread([seconds] {
      std::this_thread::sleep_for(std::chrono::seconds(seconds));
      print_all_stacks();
    }).detach();
  }
  return RUN_ALL_TESTS();
}
