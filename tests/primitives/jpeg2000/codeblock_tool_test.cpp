// Code-blocks coded by an independent encoder: Debian's opj_compress codes
// small grey images losslessly as a single code-block (no wavelet levels, one
// layer, every code-block style), the test reads that code-block's segments
// from the codestream and decodes them; the coefficients must be the image's
// samples less 128.  Skipped when the tool is not installed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "primitives/core/test_hooks.h"
#include "tests/primitives/jpeg2000/codeblock_harness.h"

using namespace cbtest;

namespace {

const char* kTool = "/usr/bin/opj_compress";

struct Block {
  int zeroPlanes = 0;
  int passes = 0;
  std::vector<int> segmentPasses;
  std::vector<std::vector<std::uint8_t>> segments;
};

struct Codestream {
  int width = 0, height = 0;
  int levels = 0;
  int guardBits = 0;
  std::vector<int> exponents;  // per subband: LL, then HL, LH, HH of each level
  int style = 0;               // code-block style byte of COD
  std::vector<Block> blocks;   // one per subband, in the same order
};

int be16(const std::vector<std::uint8_t>& b, std::size_t i) { return (b.at(i) << 8) | b.at(i + 1); }
int be32(const std::vector<std::uint8_t>& b, std::size_t i) { return (be16(b, i) << 16) | be16(b, i + 2); }

// Bits of a packet header, with the bit stuffed after every 0xFF.
class HeaderBits {
 public:
  HeaderBits(const std::vector<std::uint8_t>& b, std::size_t pos) : b_(b), pos_(pos) {}
  int bit() {
    if (left_ == 0) {
      left_ = prev_ == 0xFF ? 7 : 8;
      prev_ = cur_ = b_.at(pos_++);
    }
    --left_;
    return (cur_ >> left_) & 1;
  }
  int bits(int n) {
    int v = 0;
    while (n-- > 0) v = (v << 1) | bit();
    return v;
  }
  // Byte position of the packet body.
  std::size_t end() const { return pos_ + (prev_ == 0xFF ? 1 : 0); }

 private:
  const std::vector<std::uint8_t>& b_;
  std::size_t pos_;
  int left_ = 0;
  unsigned cur_ = 0, prev_ = 0;
};

int floorLog2(int v) {
  int r = 0;
  while (v > 1) {
    v >>= 1;
    ++r;
  }
  return r;
}

// Passes in each codeword segment of a single-layer code-block.
std::vector<int> segmentSplit(int passes, int style) {
  std::vector<int> out;
  if (style & 0x04) return std::vector<int>(passes, 1);
  if (!(style & 0x01) || passes <= 10) return {passes};
  out.push_back(10);
  for (int k = 10; k < passes;) {
    const int n = std::min(2, passes - k);  // raw significance and refinement
    out.push_back(n);
    k += n;
    if (k < passes) {
      out.push_back(1);  // clean-up
      ++k;
    }
  }
  return out;
}

// Reads one packet of `bands` subbands, each a single code-block, at byte i;
// returns the position after it.
std::size_t parsePacket(const std::vector<std::uint8_t>& b, std::size_t i, int bands, int style,
                        std::vector<Block>& out) {
  HeaderBits h(b, i);
  EXPECT_EQ(h.bit(), 1);  // packet not empty
  std::vector<std::size_t> lengths;
  const std::size_t first = out.size();
  for (int band = 0; band < bands; ++band) {
    Block blk;
    EXPECT_EQ(h.bit(), 1);  // code-block included (tag tree of one leaf)
    while (h.bit() == 0) ++blk.zeroPlanes;
    int passes = 1;
    if (h.bit()) {
      passes = 2;
      if (h.bit()) {
        const int v = h.bits(2);
        passes = 3 + v;
        if (v == 3) {
          const int w = h.bits(5);
          passes = 6 + w;
          if (w == 31) passes = 37 + h.bits(7);
        }
      }
    }
    blk.passes = passes;
    int lblock = 3;
    while (h.bit()) ++lblock;
    blk.segmentPasses = segmentSplit(passes, style);
    for (int n : blk.segmentPasses)
      lengths.push_back(static_cast<std::size_t>(h.bits(lblock + floorLog2(n))));
    out.push_back(blk);
  }
  std::size_t body = h.end();
  std::size_t k = 0;
  for (std::size_t blk = first; blk < out.size(); ++blk)
    for (std::size_t seg = 0; seg < out[blk].segmentPasses.size(); ++seg, ++k) {
      out[blk].segments.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(body),
                                     b.begin() + static_cast<std::ptrdiff_t>(body + lengths[k]));
      body += lengths[k];
    }
  return body;
}

Codestream parse(const std::vector<std::uint8_t>& b) {
  Codestream cs;
  EXPECT_EQ(be16(b, 0), 0xFF4F);
  std::size_t i = 2;
  for (;;) {
    const int marker = be16(b, i);
    const int len = be16(b, i + 2);
    if (marker == 0xFF51) {
      cs.width = be32(b, i + 6) - be32(b, i + 14);
      cs.height = be32(b, i + 10) - be32(b, i + 18);
    } else if (marker == 0xFF52) {
      EXPECT_EQ(b.at(i + 4) & 6, 0);  // no SOP, no EPH
      cs.levels = b.at(i + 9);
      cs.style = b.at(i + 12);
    } else if (marker == 0xFF5C) {
      cs.guardBits = b.at(i + 4) >> 5;
      for (int k = 0; k < len - 3; ++k) cs.exponents.push_back(b.at(i + 5 + k) >> 3);
    } else if (marker == 0xFF90) {
      break;
    }
    i += 2 + static_cast<std::size_t>(len);
  }
  // Tile-part header up to SOD.
  i += 2 + static_cast<std::size_t>(be16(b, i + 2));
  while (be16(b, i) != 0xFF93) i += 2 + static_cast<std::size_t>(be16(b, i + 2));
  i += 2;
  // One layer: a packet per resolution, LL first.
  i = parsePacket(b, i, 1, cs.style, cs.blocks);
  for (int r = 0; r < cs.levels; ++r) i = parsePacket(b, i, 3, cs.style, cs.blocks);
  return cs;
}

std::uint32_t decoderFlags(int style) {
  std::uint32_t f = primCbKeepDestination;
  if (style & 0x01) f |= primCbBypass;
  if (style & 0x02) f |= primCbResetContexts;
  if (style & 0x04) f |= primCbTerminateEachPass;
  if (style & 0x08) f |= primCbVerticallyCausal;
  if (style & 0x10) f |= primCbCheckTermination;
  if (style & 0x20) f |= primCbSegmentationSymbols;
  return f;
}

// Forward reversible 5/3 lifting of one line of even length, in place: low
// samples to the first half, high samples to the second (whole-sample
// symmetric extension at both ends).
void forward53(std::vector<int>& x) {
  const int n = static_cast<int>(x.size());
  const int half = n / 2;
  std::vector<int> d(half), lo(half);
  for (int k = 0; k < half; ++k) {
    const int right = 2 * k + 2 < n ? x[2 * k + 2] : x[n - 2];
    d[k] = x[2 * k + 1] - ((x[2 * k] + right) >> 1);
  }
  for (int k = 0; k < half; ++k) {
    const int left = k > 0 ? d[k - 1] : d[0];
    lo[k] = x[2 * k] + ((left + d[k] + 2) >> 2);
  }
  for (int k = 0; k < half; ++k) {
    x[k] = lo[k];
    x[half + k] = d[k];
  }
}

class CodeBlockFromTool : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kTool, X_OK) != 0) GTEST_SKIP() << kTool << " is not installed";
    dir_ = std::filesystem::temp_directory_path() /
           ("cbtool_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // Codes the image with the given mode switches and decodes it back.
  void roundTrip(int w, int h, int cbw, int cbh, int mode, std::mt19937& rng, int kind) {
    std::vector<std::uint8_t> img(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int v;
        if (kind == 0)
          v = static_cast<int>(rng() & 0xFF);  // noise
        else if (kind == 1)
          v = 128 + static_cast<int>((x * 7 + y * 3) % 9) - 4;  // near flat
        else
          v = (x / 3 + y / 2) % 2 ? 255 : 0;  // extremes
        img[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(v);
      }
    const std::vector<std::uint8_t> bytes = code(img, w, h, cbw, cbh, 0, mode);
    const Codestream cs = parse(bytes);
    ASSERT_EQ(cs.width, w);
    ASSERT_EQ(cs.height, h);
    ASSERT_EQ(cs.style, mode);
    ASSERT_EQ(cs.blocks.size(), 1u);
    std::vector<std::int32_t> expect(img.size());
    for (std::size_t k = 0; k < img.size(); ++k) expect[k] = img[k] - 128;
    decodeAndCompare(cs, cs.blocks[0], 0, cs.exponents.at(0), w, h, expect);
  }

  // Decodes one code-block in every build this processor can run and
  // compares with the expected coefficients.
  static void decodeAndCompare(const Codestream& cs, const Block& blk, int band, int exponent, int w, int h,
                               const std::vector<std::int32_t>& expect) {
    const int planes = cs.guardBits + exponent - 1 - blk.zeroPlanes;
    ASSERT_EQ(blk.passes, passCount(planes));
    for (int g = 0; g < 7; ++g) {
      if (!primTestGenerationSupported(g)) continue;
      SCOPED_TRACE(kBuilds[g].name);
      StateBuffer st(w, h);
      std::vector<std::int32_t> dst(static_cast<std::size_t>(w) * h, 0);
      ASSERT_EQ(kBuilds[g].begin(dst.data(), w * 4, w, h, st.get(), band, planes, decoderFlags(cs.style)),
                primResultOk);
      imgCodeBlockDecodeSetPasses_JPEG2000(blk.passes, st.get());
      for (const auto& seg : blk.segments) {
        const std::uint8_t zero = 0;
        ASSERT_EQ(kBuilds[g].decode(seg.empty() ? &zero : seg.data(), static_cast<int>(seg.size()), st.get()),
                  primResultOk);
      }
      int left = -1;
      imgCodeBlockDecodeGetPasses_JPEG2000(st.get(), &left);
      EXPECT_EQ(left, 0);
      for (std::size_t k = 0; k < expect.size(); ++k)
        ASSERT_EQ(static_cast<std::uint32_t>(dst[k]), signMagnitude(expect[k])) << k;
    }
  }

  std::vector<std::uint8_t> code(const std::vector<std::uint8_t>& img, int w, int h, int cbw, int cbh,
                                 int levels, int mode) {
    const auto pgm = dir_ / "in.pgm";
    const auto j2k = dir_ / "out.j2k";
    {
      std::ofstream f(pgm, std::ios::binary);
      f << "P5\n" << w << " " << h << "\n255\n";
      f.write(reinterpret_cast<const char*>(img.data()), static_cast<std::streamsize>(img.size()));
    }
    const std::string cmd = std::string(kTool) + " -i " + pgm.string() + " -o " + j2k.string() + " -n " +
                            std::to_string(levels + 1) + " -b " + std::to_string(cbw) + "," +
                            std::to_string(cbh) + (mode ? " -M " + std::to_string(mode) : std::string()) +
                            " > /dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream f(j2k, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }

  std::filesystem::path dir_;
};

TEST_F(CodeBlockFromTool, EveryModeSwitch) {
  std::mt19937 rng(17);
  for (int mode = 0; mode < 64; ++mode) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    roundTrip(32, 32, 32, 32, mode, rng, mode % 3);
  }
}

TEST_F(CodeBlockFromTool, SizesAndShortStripes) {
  std::mt19937 rng(18);
  const int sizes[][4] = {{64, 64, 64, 64}, {20, 13, 32, 32}, {7, 3, 8, 8},      {1, 1, 4, 4},
                          {5, 6, 8, 8},     {64, 2, 64, 64},  {128, 32, 128, 32}};
  for (const auto& s : sizes)
    for (int mode : {0, 1, 8, 0x3F, 0x19}) {
      SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]) + " mode " + std::to_string(mode));
      roundTrip(s[0], s[1], s[2], s[3], mode, rng, 0);
    }
}

// One wavelet level: the four subbands each a single code-block, their
// coefficients from a forward 5/3 transform of the image (columns, then
// rows), so that all three context tables meet real data.
TEST_F(CodeBlockFromTool, EverySubbandOfOneLevel) {
  std::mt19937 rng(19);
  for (int mode : {0, 1, 8, 9, 0x3F, 0x24}) {
    for (int kind = 0; kind < 2; ++kind) {
      const int w = 32, h = 32;
      std::vector<std::uint8_t> img(w * h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          img[y * w + x] =
              static_cast<std::uint8_t>(kind == 0 ? rng() & 0xFF : (x * 5 + y * 9) % 200 + (rng() % 16));
      const std::vector<std::uint8_t> bytes = code(img, w, h, 16, 16, 1, mode);
      const Codestream cs = parse(bytes);
      ASSERT_EQ(cs.levels, 1);
      ASSERT_EQ(cs.blocks.size(), 4u);
      ASSERT_EQ(cs.exponents.size(), 4u);
      std::vector<std::vector<int>> c(h, std::vector<int>(w));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) c[y][x] = img[y * w + x] - 128;
      for (int x = 0; x < w; ++x) {
        std::vector<int> col(h);
        for (int y = 0; y < h; ++y) col[y] = c[y][x];
        forward53(col);
        for (int y = 0; y < h; ++y) c[y][x] = col[y];
      }
      for (int y = 0; y < h; ++y) forward53(c[y]);
      // Subbands in codestream order with the decoder's orientation numbers.
      const struct { int x0, y0, orientation; } bands[4] = {{0, 0, 0}, {16, 0, 2}, {0, 16, 1}, {16, 16, 3}};
      for (int b = 0; b < 4; ++b) {
        SCOPED_TRACE("mode " + std::to_string(mode) + " subband " + std::to_string(b));
        std::vector<std::int32_t> expect(16 * 16);
        for (int y = 0; y < 16; ++y)
          for (int x = 0; x < 16; ++x) expect[y * 16 + x] = c[bands[b].y0 + y][bands[b].x0 + x];
        decodeAndCompare(cs, cs.blocks[b], bands[b].orientation, cs.exponents[b], 16, 16, expect);
      }
    }
  }
}

}  // namespace
