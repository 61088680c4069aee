// A bounded, repeatable mutation run over real codestreams through the fuzz
// entry; the libFuzzer program (scripts/fuzz_decoder.sh) explores further.
// Under the sanitizers this catches reads and writes out of bounds; every
// run is bounded by its fixed number of inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "decode_helpers.h"
#include "tests/decoder/fuzz_target.h"
#include "tests/support/testdata.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One mutation of the kinds that hit lengths, counts, indices and packet data.
void Mutate(Bytes& b, std::mt19937& rng) {
  if (b.empty()) return;
  switch (rng() % 5) {
    case 0:  // random bytes
      for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
      break;
    case 1:  // truncation
      b.resize(rng() % b.size());
      break;
    case 2: {  // an extreme 1-, 2- or 4-byte big-endian field
      const std::size_t width = std::size_t{1} << (rng() % 3);
      if (b.size() < width) break;
      const std::size_t at = rng() % (b.size() - width + 1);
      const std::uint8_t pattern[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
      const std::uint8_t fill = pattern[rng() % 5];
      for (std::size_t i = 0; i < width; ++i) b[at + i] = fill;
      break;
    }
    case 3: {  // a bit flipped in the first bytes (the headers)
      const std::size_t n = std::min<std::size_t>(b.size(), 400);
      b[rng() % n] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      break;
    }
    default: {  // a block copied from elsewhere (markers where they do not belong)
      const std::size_t n = 1 + rng() % 32;
      if (b.size() < 2 * n) break;
      const std::size_t from = rng() % (b.size() - n), to = rng() % (b.size() - n);
      std::copy(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + n),
                b.begin() + static_cast<std::ptrdiff_t>(to));
      break;
    }
  }
}

TEST(DecoderFuzz, BoundedMutationRun) {
  std::vector<Bytes> seeds;
  for (const char* name : {"conformance/p0_01.j2k", "conformance/p0_09.j2k", "conformance/p0_12.j2k",
                           "conformance/p1_01.j2k", "conformance/p1_07.j2k", "partone/a2_colr.j2c",
                           "cinema/profile-cinema2k.j2c"}) {
    const std::string path = testDataPath(name);
    if (!path.empty()) seeds.push_back(codec_test::ReadFile(path));
  }
  if (seeds.empty()) GTEST_SKIP() << "no seed codestreams under " << DCP_TESTDATA_DIR;
  // Fewer inputs under the sanitizers, which run ten times slower.
  const int runs = std::getenv("DCP_SANITIZED") ? 60 : 250;
  std::mt19937 rng(11);
  for (const Bytes& seed : seeds) {
    codec_test::DecoderFuzzOneInput(seed.data(), seed.size());
    for (int i = 0; i < runs; ++i) {
      Bytes b = seed;
      for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) Mutate(b, rng);
      codec_test::DecoderFuzzOneInput(b.data(), b.size());
    }
  }
}

}  // namespace
