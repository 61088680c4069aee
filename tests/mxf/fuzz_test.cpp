// A bounded, repeatable mutation run over real track files and the writer's
// files through the fuzz entry; the libFuzzer program (scripts/fuzz_mxf.sh)
// explores further.  Under the sanitizers this catches out-of-bounds reads,
// and every run is bounded in time by its fixed number of inputs.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mxf/writer.h"
#include "tests/mxf/fuzz_target.h"
#include "tests/mxf/mxf_test_util.h"
#include "tests/support/fuzz_mutation.h"

namespace {

using namespace mxftest;

// One mutation of the kinds that hit lengths, counts and offsets.
void Mutate(Bytes& b, std::mt19937& rng) {
  if (b.empty()) return;
  switch (rng() % 6) {
    case 0:
      fuzzrun::RandomBytes(b, rng);
      break;
    case 1:
      fuzzrun::Truncate(b, rng);
      break;
    case 2:  // an extreme 2-, 4- or 8-byte field, its last byte at times random
    case 3: {
      static constexpr std::uint8_t kFills[] = {0x00, 0xff, 0x7f, 0x80};
      const std::size_t width = std::size_t{2} << (rng() % 3);
      const auto at = fuzzrun::ExtremeField(b, rng, width, kFills);
      if (at && rng() % 2 == 0) b[*at + width - 1] = static_cast<std::uint8_t>(rng());
      break;
    }
    case 4: {  // a BER length byte
      const std::uint8_t bers[] = {0x80, 0x81, 0x84, 0x88, 0x89, 0xff};
      b[rng() % b.size()] = bers[rng() % 6];
      break;
    }
    default:  // a block copied from elsewhere (keys where they do not belong)
      fuzzrun::CopyBlock(b, rng);
      break;
  }
}

TEST(FuzzTest, BoundedMutationRun) {
  std::vector<Bytes> seeds = fuzzrun::TestDataSeeds(
      {"mxf/smpte_dci_2k_picture.mxf", "mxf/interop_dci_2k_picture.mxf", "mxf/op1a_jpeg2000_422_10bit.mxf",
       "mxf/smpte_encrypted_picture.mxf", "mxf/smpte_stereoscopic_picture.mxf", "mxf/timed_text.mxf"});
  TempDir dir;
  std::vector<Bytes> frames;
  for (int i = 0; i < 4; ++i) frames.push_back(TinyCodestream(96, 64, 12, 40 + i));
  for (int variant = 0; variant < 3; ++variant) {
    mxfwrite::TrackFileOptions o;
    o.interop = variant == 1;
    o.write_index = variant != 2;
    o.write_rip = variant != 2;
    const std::string path = dir.File("seed.mxf");
    ASSERT_EQ(mxfwrite::WriteJpeg2000TrackFile(path.c_str(), frames, o), Kumu::RESULT_OK);
    seeds.push_back(ReadBytes(path));
  }
  std::mt19937 rng(7);
  fuzzrun::RunMutations(seeds, 2000, rng, Mutate, MxfFuzzOneInput);
  MxfFuzzOneInput(nullptr, 0);
  // The reads reached the growth of the frame buffer.
  EXPECT_GT(MxfFuzzGrownReads(), 0u);
}

}  // namespace
