// Replays files (or every file of a directory) through the fuzz entry point, for builds
// without libFuzzer: the seed corpus becomes a regression test.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

void RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An exactly sized copy, so a sanitizer sees any read past the input.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  uint8_t* data = input.empty() ? nullptr : input.data();
  LLVMFuzzerTestOneInput(data, input.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) RunFile(entry.path()), ++runs;
    } else if (std::filesystem::is_regular_file(arg)) {
      RunFile(arg), ++runs;
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      return 2;
    }
  }
  std::printf("%zu inputs replayed\n", runs);
  return runs > 0 ? 0 : 1;
}
