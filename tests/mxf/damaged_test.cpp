// Truncated and corrupted copies of real track files, made in a temporary
// folder: every probe, open and frame read either succeeds with the right
// bytes or fails with a clear result.  Run under the sanitizers these also
// show that nothing reads out of bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "mxf/AS_DCP.h"
#include "tests/mxf/mxf_test_util.h"
#include "tests/support/testdata.h"

namespace {

using namespace mxftest;
using ASDCP::JP2K::MXFReader;

const std::uint8_t kJpeg2000Key[] = {0x06, 0x0e, 0x2b, 0x34, 0x01, 0x02, 0x01, 0x01,
                                     0x0d, 0x01, 0x03, 0x01, 0x15, 0x01, 0x08};
const std::uint8_t kIndexKey[] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01,
                                  0x0d, 0x01, 0x02, 0x01, 0x01, 0x10, 0x01, 0x00};
const std::uint8_t kPrimerKey[] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01, 0x01,
                                   0x0d, 0x01, 0x02, 0x01, 0x01, 0x05, 0x01, 0x00};

// Offsets where `key` (n bytes) occurs.
std::vector<std::size_t> FindAll(const Bytes& b, const std::uint8_t* key, std::size_t n) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i + n <= b.size(); ++i) {
    if (std::memcmp(b.data() + i, key, n) == 0) out.push_back(i);
  }
  return out;
}

void PutBe(Bytes& b, std::size_t at, std::uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i, v >>= 8)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
}

// The frames of a file as the reader gives them (the reference for damaged copies).
std::vector<Bytes> AllFrames(const std::string& path) {
  std::vector<Bytes> out;
  MXFReader reader;
  if (reader.OpenRead(path.c_str()).Failure()) return out;
  ASDCP::JP2K::FrameBuffer fb(1302083);
  for (ASDCP::ui32_t i = 0; reader.ReadFrame(i, fb).Success(); ++i)
    out.emplace_back(fb.RoData(), fb.RoData() + fb.Size());
  return out;
}

struct Outcome {
  Kumu::Result_t probe = Kumu::RESULT_OK;
  Kumu::Result_t open = Kumu::RESULT_OK;
  std::vector<Kumu::Result_t> frames;  // one per frame of the original (plus one past)
};

// Probes, opens and reads a damaged file; every frame read that succeeds must
// give the original bytes of that frame.
Outcome Exercise(const std::string& path, const std::vector<Bytes>& original, bool check_bytes = true) {
  Outcome o;
  ASDCP::EssenceType_t type = ASDCP::ESS_UNKNOWN;
  o.probe = ASDCP::EssenceType(path.c_str(), type);
  MXFReader reader;
  o.open = reader.OpenRead(path.c_str());
  if (o.open.Failure()) return o;
  ASDCP::JP2K::PictureDescriptor d{};
  EXPECT_EQ(reader.FillPictureDescriptor(d), Kumu::RESULT_OK);
  ASDCP::JP2K::FrameBuffer fb(1302083);
  for (std::size_t i = 0; i <= original.size(); ++i) {
    const Kumu::Result_t r = reader.ReadFrame(static_cast<ASDCP::ui32_t>(i), fb);
    o.frames.push_back(r);
    if (r.Success() && check_bytes) {
      EXPECT_LT(i, original.size()) << path;
      if (i < original.size()) {
        EXPECT_EQ(Bytes(fb.RoData(), fb.RoData() + fb.Size()), original[i]) << path << " frame " << i;
      }
    }
  }
  return o;
}

class DamagedFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(DamagedFileTest, TruncationsAtManyOffsets) {
  const char* files[] = {"mxf/smpte_dci_2k_picture.mxf", "mxf/interop_dci_2k_picture.mxf",
                         "mxf/smpte_rgb8_picture.mxf", "mxf/op1a_jpeg2000_422_10bit.mxf",
                         "mxf/smpte_encrypted_picture.mxf"};
  for (const char* name : files) {
    REQUIRE_TESTDATA(path, name);
    SCOPED_TRACE(name);
    const Bytes whole = ReadBytes(path);
    const std::vector<Bytes> frames = AllFrames(path);
    std::vector<std::size_t> cuts;
    for (std::size_t n = 0; n < 64; ++n) cuts.push_back(n);
    for (std::size_t n = 64; n < whole.size(); n += 211) cuts.push_back(n);
    for (std::size_t back = 1; back <= 70; ++back) cuts.push_back(whole.size() - back);
    const std::string copy = dir_.File("cut.mxf");
    for (std::size_t cut : cuts) {
      WriteBytes(copy, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
      const Outcome o = Exercise(copy, frames);
      if (cut == 0) {
        EXPECT_EQ(o.probe, Kumu::RESULT_ENDOFFILE);
        EXPECT_EQ(o.open, Kumu::RESULT_ENDOFFILE);
      } else if (cut < 17) {
        EXPECT_EQ(o.probe, Kumu::RESULT_READFAIL) << cut;
        EXPECT_EQ(o.open, Kumu::RESULT_READFAIL) << cut;
      } else if (cut < 16384 && cut < 4000) {
        // Inside the header partition pack or its metadata.
        EXPECT_TRUE(o.probe.Failure()) << cut;
        EXPECT_TRUE(o.open.Failure()) << cut;
      }
    }
  }
}

TEST_F(DamagedFileTest, TruncatedEssenceKeepsTheFramesBeforeTheCut) {
  REQUIRE_TESTDATA(path, "mxf/smpte_dci_2k_picture.mxf");
  const Bytes whole = ReadBytes(path);
  const std::vector<Bytes> frames = AllFrames(path);
  const std::vector<std::size_t> keys = FindAll(whole, kJpeg2000Key, sizeof kJpeg2000Key);
  ASSERT_EQ(keys.size(), 24u);
  // Cut inside frame 10's value: footer, index and RIP are gone.
  const std::string copy = dir_.File("cut.mxf");
  WriteBytes(copy, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keys[10] + 100)));
  const Outcome o = Exercise(copy, frames);
  ASSERT_EQ(o.open, Kumu::RESULT_OK);
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(o.frames[i], Kumu::RESULT_OK) << i;
  EXPECT_EQ(o.frames[10], Kumu::RESULT_ENDOFFILE);
  for (std::size_t i = 11; i < o.frames.size(); ++i) EXPECT_EQ(o.frames[i], ASDCP::RESULT_RANGE) << i;

  // Cut inside frame 10's key: the frames before it stay readable.
  WriteBytes(copy, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keys[10] + 7)));
  const Outcome k = Exercise(copy, frames);
  ASSERT_EQ(k.open, Kumu::RESULT_OK);
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(k.frames[i], Kumu::RESULT_OK) << i;
  EXPECT_EQ(k.frames[10], ASDCP::RESULT_RANGE);
}

TEST_F(DamagedFileTest, CorruptFrameLengths) {
  REQUIRE_TESTDATA(path, "mxf/smpte_rgb8_picture.mxf");
  const Bytes whole = ReadBytes(path);
  const std::vector<Bytes> frames = AllFrames(path);
  const std::vector<std::size_t> keys = FindAll(whole, kJpeg2000Key, sizeof kJpeg2000Key);
  ASSERT_EQ(keys.size(), 24u);
  ASSERT_EQ(whole[keys[5] + 16], 0x83);  // 4-byte BER lengths
  const std::string copy = dir_.File("len.mxf");
  struct Case {
    std::uint8_t ber[4];
    Kumu::Result_t result;
  };
  const Case cases[] = {
      {{0x83, 0xff, 0xff, 0xff}, Kumu::RESULT_ENDOFFILE},    // 16 MiB: past the end of the file
      {{0x80, 0x00, 0x00, 0x00}, ASDCP::RESULT_FORMAT},      // indefinite length
      {{0x8f, 0x00, 0x00, 0x00}, ASDCP::RESULT_FORMAT},      // more than 8 length bytes
      {{0x83, 0x00, 0x05, 0x00}, ASDCP::RESULT_KLV_CODING},  // runs into the footer partition
  };
  for (const Case& c : cases) {
    Bytes b = whole;
    std::memcpy(&b[keys[5] + 16], c.ber, 4);
    if (c.result == ASDCP::RESULT_KLV_CODING) {
      // Frame 23 then reaches over the footer; patch that one instead.
      b = whole;
      std::memcpy(&b[keys[23] + 16], c.ber, 4);
    }
    WriteBytes(copy, b);
    const Outcome o = Exercise(copy, frames);
    ASSERT_EQ(o.open, Kumu::RESULT_OK);
    const std::size_t bad = c.result == ASDCP::RESULT_KLV_CODING ? 23 : 5;
    EXPECT_EQ(o.frames[bad], c.result) << o.frames[bad].Symbol();
    EXPECT_EQ(o.frames[bad == 5 ? 4 : 22], Kumu::RESULT_OK);
  }
  // A frame larger than the caller's buffer.
  Bytes b = whole;
  PutBe(b, keys[5] + 17, 939 + 1000, 3);  // claims more bytes than the frame has; still inside the file
  WriteBytes(copy, b);
  MXFReader reader;
  ASSERT_EQ(reader.OpenRead(copy.c_str()), Kumu::RESULT_OK);
  ASDCP::JP2K::FrameBuffer fb(1000);
  EXPECT_EQ(reader.ReadFrame(5, fb), ASDCP::RESULT_SMALLBUF);
  EXPECT_EQ(reader.ReadFrame(4, fb), Kumu::RESULT_OK);
}

// The entry array of the first index segment: offset of its first entry and the entry size.
bool FindIndexEntries(const Bytes& b, std::size_t& first, std::size_t& item) {
  const std::vector<std::size_t> segs = FindAll(b, kIndexKey, sizeof kIndexKey);
  if (segs.empty() || b[segs[0] + 16] != 0x83) return false;
  const std::size_t length = (b[segs[0] + 17] << 16) | (b[segs[0] + 18] << 8) | b[segs[0] + 19];
  std::size_t at = segs[0] + 20;
  const std::size_t end = at + length;
  while (at + 4 <= end) {
    const int tag = (b[at] << 8) | b[at + 1];
    const std::size_t len = (b[at + 2] << 8) | b[at + 3];
    if (tag == 0x3f0a) {
      item = (b[at + 8] << 24) | (b[at + 9] << 16) | (b[at + 10] << 8) | b[at + 11];
      first = at + 12;
      return true;
    }
    at += 4 + len;
  }
  return false;
}

TEST_F(DamagedFileTest, CorruptIndexOffsets) {
  REQUIRE_TESTDATA(path, "mxf/smpte_dci_2k_picture.mxf");
  const Bytes whole = ReadBytes(path);
  const std::vector<Bytes> frames = AllFrames(path);
  std::size_t first = 0, item = 0;
  ASSERT_TRUE(FindIndexEntries(whole, first, item));
  ASSERT_GE(item, 11u);
  const std::string copy = dir_.File("index.mxf");
  struct Case {
    std::uint64_t offset;
    Kumu::Result_t result;
  };
  const Case cases[] = {
      {0xffffffffffffff00ull, Kumu::RESULT_BADSEEK},  // far past the end
      {0x100000000ull, Kumu::RESULT_BADSEEK},         // past 4 GiB
      {30000, Kumu::RESULT_BADSEEK},                  // past the body partition
      {100, ASDCP::RESULT_FORMAT},                    // inside a frame, not at a key
  };
  for (const Case& c : cases) {
    Bytes b = whole;
    PutBe(b, first + 3 * item + 3, c.offset, 8);
    WriteBytes(copy, b);
    const Outcome o = Exercise(copy, frames);
    ASSERT_EQ(o.open, Kumu::RESULT_OK);
    EXPECT_EQ(o.frames[3], c.result) << o.frames[3].Symbol();
    EXPECT_EQ(o.frames[2], Kumu::RESULT_OK);
    EXPECT_EQ(o.frames[4], Kumu::RESULT_OK);
  }
  // An entry array claiming more entries than it holds.
  Bytes b = whole;
  PutBe(b, first - 8, 0x10000000, 4);
  WriteBytes(copy, b);
  EXPECT_EQ(Exercise(copy, frames).open, ASDCP::RESULT_KLV_CODING);
}

TEST_F(DamagedFileTest, CorruptHeaderFields) {
  REQUIRE_TESTDATA(path, "mxf/interop_dci_2k_picture.mxf");
  const Bytes whole = ReadBytes(path);
  const std::vector<Bytes> frames = AllFrames(path);
  const std::string copy = dir_.File("header.mxf");
  auto expect_both = [&](const Bytes& b, Kumu::Result_t result, const char* what) {
    WriteBytes(copy, b);
    const Outcome o = Exercise(copy, frames);
    EXPECT_EQ(o.probe, result) << what << ": " << o.probe.Symbol();
    EXPECT_EQ(o.open, result) << what << ": " << o.open.Symbol();
  };
  ASSERT_EQ(whole[16], 0x83);
  const std::size_t pack = 20;  // value of the header partition pack

  Bytes b = whole;
  b[0] = 0x07;
  expect_both(b, Kumu::RESULT_FAIL, "not a key");
  b = whole;
  b[13] = 0x05;  // primer key where the partition pack belongs
  expect_both(b, ASDCP::RESULT_KLV_CODING, "not a partition pack");
  b = whole;
  b[13] = 0x04;  // a footer partition pack first
  expect_both(b, ASDCP::RESULT_FORMAT, "footer first");
  b = whole;
  PutBe(b, pack + 32, 0x4000000000000000ull, 8);
  expect_both(b, ASDCP::RESULT_KLV_CODING, "huge header byte count");
  b = whole;
  PutBe(b, pack + 32, whole.size(), 8);
  expect_both(b, Kumu::RESULT_READFAIL, "header byte count past the end");
  b = whole;
  b[17] = 0xff;  // partition pack length 0xff.... : past the end
  expect_both(b, Kumu::RESULT_READFAIL, "pack length");

  // Primer with an absurd entry count.
  const std::vector<std::size_t> primer = FindAll(whole, kPrimerKey, sizeof kPrimerKey);
  ASSERT_EQ(primer.size(), 1u);
  b = whole;
  PutBe(b, primer[0] + 20, 0x7fffffff, 4);
  expect_both(b, ASDCP::RESULT_KLV_CODING, "primer count");

  // A local set whose first property claims more bytes than the set holds.
  const std::size_t first_set = primer[0] + 20 + ((whole[primer[0] + 18] << 8) | whole[primer[0] + 19]);
  ASSERT_EQ(whole[first_set + 4], 0x02);
  ASSERT_EQ(whole[first_set + 5], 0x53);
  b = whole;
  PutBe(b, first_set + 22, 0xffff, 2);
  expect_both(b, ASDCP::RESULT_KLV_CODING, "property length");

  // A copy of the footer partition pack over the first set: a stray pack
  // inside the metadata, not the partition that follows it.
  const std::uint8_t footer_key[] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01,
                                     0x01, 0x0d, 0x01, 0x02, 0x01, 0x01, 0x04};
  const std::vector<std::size_t> footer = FindAll(whole, footer_key, sizeof footer_key);
  ASSERT_EQ(footer.size(), 1u);
  ASSERT_EQ(whole[footer[0] + 16], 0x83);
  const std::size_t footer_size = 20 + ((whole[footer[0] + 18] << 8) | whole[footer[0] + 19]);
  b = whole;
  std::copy_n(whole.begin() + static_cast<std::ptrdiff_t>(footer[0]), footer_size,
              b.begin() + static_cast<std::ptrdiff_t>(first_set));
  expect_both(b, ASDCP::RESULT_KLV_CODING, "stray partition pack");
}

TEST_F(DamagedFileTest, BrokenRandomIndexPackFallsBackToThePartitionChain) {
  REQUIRE_TESTDATA(path, "mxf/smpte_dci_2k_picture.mxf");
  const Bytes whole = ReadBytes(path);
  const std::vector<Bytes> frames = AllFrames(path);
  const std::string copy = dir_.File("rip.mxf");
  for (std::uint32_t tail : {0u, 0xffffffffu, 61u, 1000u}) {
    Bytes b = whole;
    PutBe(b, b.size() - 4, tail, 4);
    WriteBytes(copy, b);
    const Outcome o = Exercise(copy, frames);
    ASSERT_EQ(o.open, Kumu::RESULT_OK) << tail;
    for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(o.frames[i], Kumu::RESULT_OK) << i;
  }
}

TEST_F(DamagedFileTest, RandomByteDamageNeverCrashes) {
  const char* files[] = {"mxf/smpte_dci_2k_picture.mxf", "mxf/interop_dci_2k_picture.mxf",
                         "mxf/op1a_jpeg2000_422_10bit.mxf", "mxf/smpte_encrypted_picture.mxf",
                         "mxf/timed_text.mxf"};
  std::mt19937 rng(20261207);
  const std::string copy = dir_.File("random.mxf");
  for (const char* name : files) {
    REQUIRE_TESTDATA(path, name);
    const Bytes whole = ReadBytes(path);
    const std::vector<Bytes> frames = AllFrames(path);
    for (int iteration = 0; iteration < 150; ++iteration) {
      Bytes b = whole;
      const int flips = 1 + static_cast<int>(rng() % 8);
      for (int f = 0; f < flips; ++f) {
        // Mostly the metadata and index regions, where lengths live.
        const std::size_t region = rng() % 2 == 0 ? std::min<std::size_t>(b.size(), 6000) : b.size();
        b[rng() % region] = static_cast<std::uint8_t>(rng());
      }
      WriteBytes(copy, b);
      Exercise(copy, frames, false);
    }
  }
}

}  // namespace
