// What every fuzz target shares: its entry point, and how a broken rule stops the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace tamsu::fuzz {

// Aborts, so the fuzzer keeps the input and a replay fails.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace tamsu::fuzz
