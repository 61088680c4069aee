// Hostile codestreams: truncated and corrupted headers and the damaged files
// of the shared test data fail with a diagnostic and never crash, read out of
// bounds or allocate without bound (run under AddressSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>

#include "decoder/codestream/codestream_header.h"
#include "tests/decoder/codestream_builder.h"
#include "tests/support/testdata.h"

using namespace Codec;
using namespace codec_test;

namespace {

// Every code a main-header parse may report.
bool IsHeaderException(std::uint32_t code) {
  return code == 45 || code == 47 || code == 48 || (code >= 62 && code <= 83);
}
bool IsKnownCodestreamCode(std::uint32_t code) {
  return code <= 83 && code != 3 && code != 13 && code != 35 && code != 36;
}

// Offset of the codestream in a file: 0 for a raw codestream, else the first
// SOC followed by SIZ (inside a JP2 codestream box); npos when there is none.
std::size_t CodestreamStart(const Bytes& f) {
  for (std::size_t i = 0; i + 4 <= f.size(); ++i)
    if (f[i] == 0xFF && f[i + 1] == 0x4F && f[i + 2] == 0xFF && f[i + 3] == 0x51) return i;
  return std::string::npos;
}

// Bytes of the main header up to and including the first SOT code, found by
// walking the segments by their lengths (test-side walk, independent of the
// decoder); 0 when there is no SOT.
std::size_t MainHeaderEnd(const Bytes& f) {
  std::size_t p = 2;
  while (p + 4 <= f.size()) {
    const std::uint32_t code = (f[p] << 8) | f[p + 1];
    if (code == 0xFF90) return p + 2;
    if ((code & 0xFFF0) == 0xFF30) {
      p += 2;
      continue;
    }
    p += 2 + ((f[p + 2] << 8) | f[p + 3]);
  }
  return 0;
}

void CheckOutcome(const ParseOutcome& r, const std::string& what) {
  for (std::uint32_t c : r.codes) EXPECT_TRUE(IsKnownCodestreamCode(c)) << what << " code " << c;
  if (r.failed) {
    EXPECT_TRUE(IsHeaderException(r.exceptionCode)) << what << " exception " << r.exceptionCode;
    ASSERT_FALSE(r.codes.empty()) << what;
    EXPECT_EQ(r.codes.back(), r.exceptionCode) << what;  // the exception is reported, last
  }
}

const char* const kRealFiles[] = {"conformance/p0_01.j2k",
                                  "conformance/p0_02.j2k",
                                  "conformance/p0_03.j2k",
                                  "conformance/p0_04.j2k",
                                  "conformance/p0_05.j2k",
                                  "conformance/p0_08.j2k",
                                  "conformance/p0_15.j2k",
                                  "conformance/p1_01.j2k",
                                  "conformance/p1_02.j2k",
                                  "conformance/p1_04.j2k",
                                  "cinema/X_4_2K_24_185_CBR_WB_000.j2k",
                                  "cinema/profile-cinema4k.j2c"};

}  // namespace

TEST(HostileHeaders, EveryTruncationOfARealHeaderFails) {
  for (const char* name : kRealFiles) {
    const std::string path = testDataPath(name);
    if (path.empty()) GTEST_SKIP() << "test data " << name << " is absent";
    const Bytes file = ReadFile(path);
    const std::size_t end = MainHeaderEnd(file);
    ASSERT_GT(end, 0u) << name;
    for (std::size_t cut = 0; cut < end; ++cut) {
      const Bytes part(file.begin(), file.begin() + cut);
      CodestreamHeader h;
      const ParseOutcome r = ParseMainHeader(part, h);
      const std::string what = std::string(name) + " cut at " + std::to_string(cut);
      EXPECT_TRUE(r.failed) << what;
      // The stream runs out, or a quantisation body shortened by the cut is too short.
      EXPECT_TRUE(r.exceptionCode == 82 || r.exceptionCode == 69) << what << " exception " << r.exceptionCode;
      CheckOutcome(r, what);
    }
    CodestreamHeader h;
    const ParseOutcome whole = ParseMainHeader(Bytes(file.begin(), file.begin() + end), h);
    EXPECT_FALSE(whole.failed) << name << " " << whole.exceptionCode;
  }
}

TEST(HostileHeaders, CorruptedRealHeadersNeverCrash) {
  std::mt19937 rng(2026);
  std::map<std::uint32_t, int> seen;
  for (const char* name : kRealFiles) {
    const std::string path = testDataPath(name);
    if (path.empty()) GTEST_SKIP() << "test data " << name << " is absent";
    const Bytes file = ReadFile(path);
    const std::size_t end = MainHeaderEnd(file);
    for (int round = 0; round < 400; ++round) {
      Bytes mutated(file.begin(), file.begin() + std::min(file.size(), end + 64));
      const int changes = 1 + static_cast<int>(rng() % 4);
      for (int i = 0; i < changes; ++i) {
        const std::size_t at = 2 + rng() % (end - 2);
        switch (rng() % 3) {
          case 0:
            mutated[at] = static_cast<std::uint8_t>(rng());
            break;
          case 1:
            mutated[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
          default:
            mutated[at] = (rng() & 1) ? 0xFF : 0x00;
            break;
        }
      }
      CodestreamHeader h;
      const ParseOutcome r = ParseMainHeader(mutated, h);
      CheckOutcome(r, std::string(name) + " round " + std::to_string(round));
      ++seen[r.failed ? r.exceptionCode : 0];
    }
  }
  // The corruptions reach more than one kind of refusal.
  EXPECT_GE(seen.size(), 4u);
}

TEST(HostileHeaders, HandMadeHostileSegments) {
  // Every marker length, from 0 to 0xFFFF in coarse steps, on every segment kind
  // the main header knows: never a read past the data.
  const std::uint16_t codes[] = {0xFF52, 0xFF53, 0xFF5C, 0xFF5D, 0xFF5F, 0xFF64, 0xFF55, 0xFF51, 0xFF70};
  for (std::uint16_t code : codes) {
    for (std::uint32_t len = 0; len <= 0xFFFF; len += (len < 64 ? 1 : 997)) {
      Builder b = Start();
      b.segment(0xFF52, CodBody()).segment(0xFF5C, QcdBody());
      b.u16(code).u16(len);
      for (std::uint32_t i = 0; i < 40; ++i) b.u8(i * 37);
      b.u16(0xFF90);
      CodestreamHeader h;
      CheckOutcome(ParseMainHeader(b.b, h),
                   "marker " + std::to_string(code) + " length " + std::to_string(len));
    }
  }
}

TEST(HostileHeaders, AssortedFilesFailCleanly) {
  const std::string dir = testDataPath("assorted");
  if (dir.empty()) GTEST_SKIP() << "test data assorted/ is absent";
  int parsed = 0, refused = 0, noCodestream = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const Bytes file = ReadFile(entry.path().string());
    const std::size_t start = CodestreamStart(file);
    CodestreamHeader h;
    if (start == std::string::npos) {
      // Not a codestream at all (or not one a part-1 decoder reads): SOC is missing.
      const ParseOutcome r = ParseMainHeader(file, h);
      CheckOutcome(r, entry.path().filename().string());
      EXPECT_TRUE(r.failed) << entry.path().filename();
      ++noCodestream;
      continue;
    }
    const ParseOutcome r = ParseMainHeader(Bytes(file.begin() + start, file.end()), h);
    CheckOutcome(r, entry.path().filename().string());
    (r.failed ? refused : parsed)++;
    if (!r.failed) {
      EXPECT_GE(h.componentCount, 1u);
      EXPECT_LE(h.TileCount(), 65535u);
    }
  }
  EXPECT_GT(parsed, 50);
  EXPECT_GT(refused, 5);
  std::printf("assorted: %d headers read, %d refused, %d without a codestream\n", parsed, refused,
              noCodestream);
}

namespace {

struct DamagedFile {
  const char* file;
  std::vector<std::uint32_t> codes;  // everything the sink receives, the exception last
};
void PrintTo(const DamagedFile& d, std::ostream* os) { *os << d.file; }

// Damaged files of the shared test data (an independent decoder refuses each
// of them too) and the diagnostic each must end with.
const DamagedFile kDamaged[] = {
    {"is_jpeg.jp2", {63}},                                          // no codestream: SOC missing
    {"issue393.jp2", {38, 22, 45}},                                 // PPM in the main header
    {"3635.pdf.asan.77.2930.jp2", {47}},                            // RGN in the main header
    {"issue418.jp2", {40, 71}},                                     // bit depth beyond 38
    {"huge-tile-size.jp2", {71}},                                   // tile size beyond 31 bits
    {"gdal_fuzzer_check_number_of_tiles.jp2", {71}},                // too many tiles
    {"2539.pdf.SIGFPE.706.1712.jp2", {71}},                         // a zero divisor in SIZ
    {"27ac957758a35d00d6765a0c86350d9c.SIGFPE.d25.537.jpc", {71}},  // a zero divisor in SIZ
    {"bitwiser-codestreamheader-corrupted-xsiz-10918.jp2", {71}},   // corrupted Xsiz
    {"edf_c2_225881.jp2", {72}},                                    // image origin beyond its end
    {"issue400.jp2", {73}},                                         // progression order out of range
    {"issue165.jp2", {78}},                                         // POC resolution beyond 33
    {"gdal_fuzzer_assert_in_j2k_read_SQcd_SQcc.patch.jp2", {66}},   // QCC for a missing component
    {"edf_c2_1674177.jp2", {17, 70}},                               // marker length below 2
    {"ojph-ht.j2c", {38, 4, 48}},                 // high-throughput code-blocks (CAP unknown)
    {"htj2k_cpf_broadcast.jhc", {38, 4, 4, 48}},  // high-throughput code-blocks
    {"grok-ht.jhc", {38, 4, 48}},                 // high-throughput code-blocks
};

class DamagedFiles : public ::testing::TestWithParam<DamagedFile> {};

}  // namespace

TEST_P(DamagedFiles, FailWithTheirDiagnostic) {
  const DamagedFile& d = GetParam();
  REQUIRE_TESTDATA(path, std::string("assorted/") + d.file);
  const Bytes file = ReadFile(path);
  std::size_t start = CodestreamStart(file);
  if (start == std::string::npos) start = 0;
  CodestreamHeader h;
  const ParseOutcome r = ParseMainHeader(Bytes(file.begin() + start, file.end()), h);
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.codes, d.codes);
}

INSTANTIATE_TEST_SUITE_P(Assorted, DamagedFiles, ::testing::ValuesIn(kDamaged),
                         [](const ::testing::TestParamInfo<DamagedFile>& info) {
                           std::string n = info.param.file;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n.substr(0, 60);
                         });
