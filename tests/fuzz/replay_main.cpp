// Runs a fuzz target's entry point on stored inputs, without libFuzzer, so
// that the ordinary test run (any compiler, any sanitizer) replays the kept
// corpora. Each argument is an input file, or a folder whose files all run,
// in name order. A failed check in the target aborts and fails the run; so
// does an argument that cannot be read or that gives no input at all, so a
// missing corpus is never taken for a clean one.
//   fuzz_<target>_replay FILE_OR_FOLDER...
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool add_inputs(const fs::path& argument, std::vector<fs::path>& inputs) {
  std::error_code error;
  if (fs::is_regular_file(argument, error)) {
    inputs.push_back(argument);
    return true;
  }
  if (!fs::is_directory(argument, error)) {
    std::fprintf(stderr, "replay: %s is neither a file nor a folder\n", argument.c_str());
    return false;
  }
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(argument, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  if (error) {
    std::fprintf(stderr, "replay: cannot list %s: %s\n", argument.c_str(), error.message().c_str());
    return false;
  }
  std::sort(files.begin(), files.end());
  inputs.insert(inputs.end(), files.begin(), files.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!add_inputs(argv[i], inputs)) return 2;
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no inputs\n");
    return 2;
  }
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "replay: cannot open %s\n", input.c_str());
      return 2;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    // Named first, so that a failed check's abort shows which input it was.
    std::printf("%s (%zu bytes)\n", input.c_str(), bytes.size());
    std::fflush(stdout);
    const std::size_t size = bytes.size();
    bytes.push_back(0);  // libFuzzer never passes a null pointer, not even for no bytes
    LLVMFuzzerTestOneInput(bytes.data(), size);
  }
  std::printf("replay: %zu inputs, no failed check\n", inputs.size());
  return 0;
}
