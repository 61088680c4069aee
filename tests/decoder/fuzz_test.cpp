// A bounded, repeatable mutation run over real codestreams through the fuzz
// entry, with the caller's planes lent and not; the libFuzzer program
// (scripts/fuzz_decoder.sh) explores further.  Under the sanitizers this
// catches reads and writes out of bounds; the entry itself aborts when a
// ReadData after a failed or a lent one does not fail or writes the planes.
// Every run is bounded by its fixed number of inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "tests/decoder/fuzz_target.h"
#include "tests/decoder/opj_support.h"
#include "tests/support/fuzz_mutation.h"

namespace {

using fuzzrun::Bytes;

// One mutation of the kinds that hit lengths, counts, indices and packet data.
void Mutate(Bytes& b, std::mt19937& rng) {
  if (b.empty()) return;
  switch (rng() % 5) {
    case 0:
      fuzzrun::RandomBytes(b, rng);
      break;
    case 1:
      fuzzrun::Truncate(b, rng);
      break;
    case 2: {  // an extreme 1-, 2- or 4-byte field
      static constexpr std::uint8_t kFills[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
      fuzzrun::ExtremeField(b, rng, std::size_t{1} << (rng() % 3), kFills);
      break;
    }
    case 3: {  // a bit flipped in the first bytes (the headers)
      const std::size_t n = std::min<std::size_t>(b.size(), 400);
      b[rng() % n] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
      break;
    }
    default:  // a block copied from elsewhere (markers where they do not belong)
      fuzzrun::CopyBlock(b, rng);
      break;
  }
}

TEST(DecoderFuzz, BoundedMutationRun) {
  std::vector<Bytes> seeds = fuzzrun::TestDataSeeds(
      {"conformance/p0_01.j2k", "conformance/p0_09.j2k", "conformance/p0_12.j2k", "conformance/p1_01.j2k",
       "conformance/p1_07.j2k", "partone/a2_colr.j2c", "cinema/profile-cinema2k.j2c"});
  if (seeds.empty()) GTEST_SKIP() << "no seed codestreams under " << DCP_TESTDATA_DIR;
  // The target leaves pictures as large as cinema frames at their headers;
  // a small picture coded as they are (irreversible, three components)
  // takes their data path.
  const std::string picture = testDataPath("partone/a2_colr.ppm");
  codec_test::ScratchDir dir;
  if (codec_test::HaveOpenJpegTools() && !picture.empty() &&
      codec_test::RunQuiet("opj_compress -i " + picture + " -I -n 5 -b 32,32 -p CPRL -o " + dir / "ict.j2k"))
    seeds.push_back(codec_test::ReadFile(dir / "ict.j2k"));
  // Each codestream with its last byte saying planes of the decoder's own
  // (0) and lent planes (1).
  std::vector<Bytes> inputs;
  for (const Bytes& seed : seeds)
    for (const std::uint8_t choice : {0, 1}) {
      inputs.push_back(seed);
      inputs.back().push_back(choice);
    }
  // Fewer inputs under the sanitizers, which run ten times slower.
  const int runs = std::getenv("DCP_SANITIZED") ? 30 : 125;
  std::mt19937 rng(11);
  fuzzrun::RunMutations(inputs, runs, rng, Mutate, codec_test::DecoderFuzzOneInput);
}

}  // namespace
