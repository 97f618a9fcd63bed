// Time per record of the output file: the items of a station record written
// through the console's output file, then the record's sync to the disk
// (fdatasync), beside the same record written without the sync. Measured in
// wall time (a sync waits for the device, not the processor) on two file
// systems: the disk that holds this program's folder, and tmpfs (/dev/shm).
//
//   record_sync_bench [--benchmark_...]
#include <benchmark/benchmark.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "survey_entry/console/console_testing.h"
#include "survey_entry/console/output_file.h"
#include "survey_entry/console/run_control.h"

namespace {

namespace fs = std::filesystem;

constexpr int file_number = 2;

struct Item {
  const char* text;
  bool space;
};
// "E1, 1000.5 , 2000 , 100.25 , 0 , 1.5 , 1 " and CR LF: 44 bytes in 13
// items, each handed to the system as the routine hands it.
const std::vector<Item> station_record{
    {"E1", false},  {",", false},      {" 1000.5", true}, {",", false}, {" 2000", true},
    {",", false},   {" 100.25", true}, {",", false},      {" 0", true}, {",", false},
    {" 1.5", true}, {",", false},      {" 1", true},
};

std::string file_system_name(const fs::path& folder) {
  struct statfs info {};
  if (::statfs(folder.c_str(), &info) != 0) return "unknown";
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:
      return "ext4";
    case 0x01021994:
      return "tmpfs";
    case 0x58465342:
      return "xfs";
    case 0x9123683E:
      return "btrfs";
    case 0x794C7630:
      return "overlayfs";
    default:
      return "other";
  }
}

void BM_Record(benchmark::State& state, const fs::path& folder, bool sync) {
  const fs::path path = folder / ("record_sync_bench." + std::to_string(::getpid()));
  console::run_control_reset();
  console::output_file_reset();
  console::open_file(path.string(), file_number);
  if (console::error_pending()) {
    state.SkipWithError("the file cannot be opened");
    return;
  }
  for (auto _ : state) {
    for (std::size_t i = 0; i < station_record.size(); ++i) {
      const Item& item = station_record[i];
      console::print_text_to_file(
          file_number, item.text,
          {.blank = item.space, .line_end = i + 1 == station_record.size()});
    }
    if (sync) console::sync_written_files();
  }
  const bool failed = console::error_pending();
  console::close_files();
  console::output_file_reset();
  console::run_control_reset();
  std::error_code ignored;
  fs::remove(path, ignored);
  if (failed) state.SkipWithError("a write or a sync failed");
  state.SetItemsProcessed(state.iterations());
}

void register_folder(const std::string& label, const fs::path& folder) {
  const std::string where = label + "(" + file_system_name(folder) + "," + folder.string() + ")";
  benchmark::RegisterBenchmark(("BM_RecordWrite/" + where).c_str(), BM_Record, folder, false)
      ->UseRealTime();
  benchmark::RegisterBenchmark(("BM_RecordWriteAndSync/" + where).c_str(), BM_Record, folder, true)
      ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  register_folder("disk", fs::canonical("/proc/self/exe").parent_path());
  if (fs::is_directory("/dev/shm")) register_folder("tmpfs", "/dev/shm");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
