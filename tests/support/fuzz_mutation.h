// Bounded, repeatable mutation runs through a fuzz entry, for unit tests that
// complement a libFuzzer program.  Each test has its own mutation mix (built
// from the pieces here and its format's own) and its own seeds and run count;
// a fixed generator seed makes every run the same.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "tests/support/testdata.h"

namespace fuzzrun {

using Bytes = std::vector<std::uint8_t>;

// The contents of those of the named files of the shared test data that are
// present, in the order named.
inline std::vector<Bytes> TestDataSeeds(std::initializer_list<const char*> names) {
  std::vector<Bytes> seeds;
  for (const char* name : names) {
    const std::string path = testDataPath(name);
    if (path.empty()) continue;
    std::ifstream in(path, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return seeds;
}

// The mutations below take a non-empty input.

// 1 to 4 bytes at random places set to random values.
inline void RandomBytes(Bytes& b, std::mt19937& rng) {
  for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n)
    b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
}

// The input cut to a random shorter length.
inline void Truncate(Bytes& b, std::mt19937& rng) { b.resize(rng() % b.size()); }

// A big-endian field of `width` bytes at a random place set to an extreme
// value: every byte one of `fills`.  Returns where the field starts, or
// nothing (and no change) when the input is shorter than the field.
inline std::optional<std::size_t> ExtremeField(Bytes& b, std::mt19937& rng, std::size_t width,
                                               std::span<const std::uint8_t> fills) {
  if (b.size() < width) return std::nullopt;
  const std::size_t at = rng() % (b.size() - width + 1);
  const std::uint8_t fill = fills[rng() % fills.size()];
  for (std::size_t i = 0; i < width; ++i) b[at + i] = fill;
  return at;
}

// A block of 1 to 32 bytes copied from elsewhere in the input (markers or
// keys where they do not belong); no change when the input is shorter than
// twice the block.
inline void CopyBlock(Bytes& b, std::mt19937& rng) {
  const std::size_t n = 1 + rng() % 32;
  if (b.size() < 2 * n) return;
  const std::size_t from = rng() % (b.size() - n), to = rng() % (b.size() - n);
  std::copy(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + n),
            b.begin() + static_cast<std::ptrdiff_t>(to));
}

// Feeds every seed to fuzzOne(data, size) as it is, then `runs` copies of it,
// each changed by 1 to 3 calls of mutate(bytes, rng).
template <class Mutate, class FuzzOne>
void RunMutations(const std::vector<Bytes>& seeds, int runs, std::mt19937& rng, Mutate mutate,
                  FuzzOne fuzzOne) {
  for (const Bytes& seed : seeds) {
    fuzzOne(seed.data(), seed.size());
    for (int i = 0; i < runs; ++i) {
      Bytes b = seed;
      for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) mutate(b, rng);
      fuzzOne(b.data(), b.size());
    }
  }
}

}  // namespace fuzzrun
