// Turns a fuzz entry point into a plain program: every file of the folders (or the files)
// named on the command line goes through the entry point once, so the seed corpus and every
// saved finding are checked by the ordinary test run without libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // A copy of its own, so that a read past the input's end is caught by the sanitizer.
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  // Named first, so that a trap or a sanitizer report shows which input it was.
  std::fprintf(stderr, "%s\n", file.c_str());
  LLVMFuzzerTestOneInput(copy.data(), copy.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) {
        failures += Replay(file);
        ++count;
      }
    } else if (std::filesystem::exists(path, error)) {
      failures += Replay(path);
      ++count;
    }
  }
  std::printf("replayed %zu input(s)\n", count);
  // No input at all is a misplaced corpus, not a pass.
  return failures == 0 && count > 0 ? 0 : 1;
}
