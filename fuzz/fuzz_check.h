// What every fuzz target shares: a check that stops the run with a message
// (libFuzzer then saves the input that broke it), and the input as bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace qv::fuzz {

inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// The first byte of the input picks a variant; the rest is the data.
struct Input {
  uint8_t choice = 0;
  std::span<const uint8_t> rest;
};
inline Input Split(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  return {data[0], std::span<const uint8_t>(data + 1, size - 1)};
}

}  // namespace qv::fuzz
