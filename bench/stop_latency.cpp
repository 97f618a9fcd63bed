// Stop to exit as a user sees it: the time from a stop key injected on the X
// server (XTest) or the window manager's close message to the end of the
// process, seen through a process descriptor.
//
// Each run is a new process, stopped once it is idle at the menu or in its
// first question ("1", then "Nome do Ficheiro :"), after a random rest of 50
// to 250 ms so that the stop falls at any moment of an idle wait. The stops
// are Ctrl+Break, Alt+F4 and the close box; each run's exit code must be 0.
//
//   stop_latency [--runs N] PROGRAM [OTHER_PROGRAM...]     (N: 10 per case)
//
// Prints the median, 90th percentile, minimum and maximum of each case in
// milliseconds. Needs an X server with DAMAGE and XTEST in $DISPLAY.
#include <X11/keysym.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/x11_watch.h"

namespace {

using bench::Clock;
using namespace std::chrono_literals;

enum class Stop { ctrl_break, alt_f4, close_box };
enum class Place { menu, question };

const char* name_of(Stop stop) {
  switch (stop) {
    case Stop::ctrl_break:
      return "Ctrl+Break";
    case Stop::alt_f4:
      return "Alt+F4";
    case Stop::close_box:
      return "close box";
  }
  return "";
}

[[noreturn]] void give_up(const std::string& what) {
  std::fprintf(stderr, "stop_latency: %s\n", what.c_str());
  std::exit(1);
}

void send(bench::WindowWatch& watch, Stop stop) {
  switch (stop) {
    case Stop::ctrl_break:
      watch.press(XK_Control_L);
      watch.tap(XK_Pause);
      watch.release(XK_Control_L);
      return;
    case Stop::alt_f4:
      watch.press(XK_Alt_L);
      watch.tap(XK_F4);
      watch.release(XK_Alt_L);
      return;
    case Stop::close_box:
      watch.send_close();
      return;
  }
}

// One run: start, go to the place, rest, stop; the milliseconds to the exit.
double one_stop(const std::string& path, Place place, Stop stop, std::mt19937& random) {
  bench::WindowWatch watch;
  watch.start_and_show(path, 4, 4, bench::colour_green);
  if (place == Place::question) watch.open_first_dialogue();
  std::uniform_int_distribution<int> rest(50, 250);
  std::this_thread::sleep_for(std::chrono::milliseconds(rest(random)));
  const Clock::time_point sent = Clock::now();
  send(watch, stop);
  int status = 0;
  const auto ended = watch.wait_exit(sent + 5s, status);
  if (!ended) give_up(std::string(name_of(stop)) + " did not end " + path + " within 5 s");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    give_up(std::string(name_of(stop)) + " ended " + path + " with status " +
            std::to_string(status));
  }
  return bench::milliseconds_between(sent, *ended);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else {
      paths.emplace_back(argv[i]);
    }
  }
  if (paths.empty() || runs < 1) {
    std::fprintf(stderr, "usage: stop_latency [--runs N] PROGRAM [OTHER_PROGRAM...]\n");
    return 2;
  }

  std::mt19937 random(20261210);
  std::printf("Stop on the X server to the end of the process (ms), %d runs a case\n", runs);
  std::printf("%-40s %-10s %-11s %8s %8s %8s %8s\n", "program", "place", "stop", "median", "p90",
              "min", "max");
  try {
    for (const std::string& path : paths) {
      for (const Place place : {Place::menu, Place::question}) {
        for (const Stop stop : {Stop::ctrl_break, Stop::alt_f4, Stop::close_box}) {
          std::vector<double> times;
          for (int i = 0; i < runs; ++i) times.push_back(one_stop(path, place, stop, random));
          const bench::Spread s = bench::spread_of(times);
          std::printf("%-40s %-10s %-11s %8.2f %8.2f %8.2f %8.2f\n", path.c_str(),
                      place == Place::menu ? "menu" : "question", name_of(stop), s.median, s.p90,
                      s.minimum, s.maximum);
          std::fflush(stdout);
        }
      }
    }
  } catch (const std::exception& error) {
    give_up(error.what());
  }
  std::printf("goal: the end of the process within 30 ms of the stop\n");
  return 0;
}
