// Helpers of the code-block decoder tests: a state in its own aligned
// buffer, random coefficient blocks, and the decoding of an encoded block
// through one build of the decoder.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/jpeg2000/codeblock.h"
#include "primitives/jpeg2000/codeblock_builds.h"
#include "tests/primitives/jpeg2000/codeblock_encoder.h"

namespace cbtest {

// The begin and decode builds of one generation.
struct Build {
  const char* name;
  decltype(&px_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000) begin;
  decltype(&px_imgCodeBlockDecodePasses_JPEG2000) decode;
};
inline const Build kBuilds[7] = {
    {"px", px_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, px_imgCodeBlockDecodePasses_JPEG2000},
    {"sse2", sse2_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, sse2_imgCodeBlockDecodePasses_JPEG2000},
    {"ssse3", ssse3_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, ssse3_imgCodeBlockDecodePasses_JPEG2000},
    {"movbe", ssse3_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, ssse3_imgCodeBlockDecodePasses_JPEG2000},
    {"sse41", sse41_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, sse41_imgCodeBlockDecodePasses_JPEG2000},
    {"avx", avx_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, avx_imgCodeBlockDecodePasses_JPEG2000},
    {"avx2", avx2_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, avx2_imgCodeBlockDecodePasses_JPEG2000},
};

// A state sized and initialised for maxW x maxH, at a chosen distance from a
// 64-byte boundary (a multiple of 4).
class StateBuffer {
 public:
  StateBuffer(int maxW, int maxH, int misalign = 0) {
    int size = 0;
    if (imgCodeBlockDecoderStateSize_JPEG2000(maxW, maxH, &size) != primResultOk) std::abort();
    size_ = static_cast<std::size_t>(size);
    mem_.assign(size_ + 128, 0xCD);
    auto addr = reinterpret_cast<std::uintptr_t>(mem_.data());
    offset_ = ((64 - (addr & 63)) & 63) + static_cast<std::size_t>(misalign);
    if (imgCodeBlockDecoderInit_JPEG2000(get(), maxW, maxH) != primResultOk) std::abort();
  }
  PrimCodeBlockDecoderState* get() {
    return reinterpret_cast<PrimCodeBlockDecoderState*>(mem_.data() + offset_);
  }
  const std::uint8_t* bytes() const { return mem_.data() + offset_; }
  std::size_t size() const { return size_; }

 private:
  std::vector<std::uint8_t> mem_;
  std::size_t offset_ = 0;
  std::size_t size_ = 0;
};

// Random coefficients below 2^bitPlanes in magnitude; `density` is the chance
// of a nonzero sample, and magnitudes are spread over all planes.
inline std::vector<std::int32_t> randomCoefficients(std::mt19937& rng, int w, int h, int bitPlanes,
                                                    double density) {
  std::vector<std::int32_t> c(static_cast<std::size_t>(w) * h, 0);
  if (bitPlanes <= 0) return c;
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (auto& v : c) {
    if (u(rng) >= density) continue;
    const int top = std::uniform_int_distribution<int>(0, bitPlanes - 1)(rng);
    const std::uint32_t mag =
        (1u << top) |
        (std::uniform_int_distribution<std::uint32_t>(0, 0xFFFFFFFFu)(rng) & ((1u << top) - 1u));
    v = static_cast<std::int32_t>(mag);
    if (rng() & 1) v = -v;
  }
  return c;
}

enum class Budget {
  Total,  // the number of coded passes, once before the first segment
  // As the JPEG 2000 decoder does for bypass code-blocks in several layers:
  // 1024 before each segment but the last, that one's own pass count.
  Layered,
  Generous,  // 1024 before every call (only when every pass was coded)
};

struct DecodeRun {
  std::vector<std::uint32_t> coef;
  std::vector<PrimResult> results;
  int passesLeft = 0;
  std::uint32_t errorWord = 0;
};

// Decodes an encoded block into a width x height destination with a row
// step of `stride` samples.
inline DecodeRun decodeBlock(const Build& b, const EncodedBlock& eb, const EncodeOptions& o, Budget budget,
                             std::uint32_t extraFlags = 0, int stride = 0) {
  if (stride < o.width) stride = o.width;
  StateBuffer st(o.width, o.height);
  std::vector<std::int32_t> dst(static_cast<std::size_t>(stride) * o.height + 1, 0x5A5A5A5A);
  DecodeRun run;
  const PrimResult rb =
      b.begin(dst.data(), stride * 4, o.width, o.height, st.get(), o.band, o.bitPlanes, o.style | extraFlags);
  run.results.push_back(rb);
  if (budget == Budget::Total) imgCodeBlockDecodeSetPasses_JPEG2000(eb.passes, st.get());
  for (const Segment& s : eb.segments) {
    if (budget == Budget::Layered)
      imgCodeBlockDecodeSetPasses_JPEG2000(&s == &eb.segments.back() ? s.passes : 1024, st.get());
    if (budget == Budget::Generous) imgCodeBlockDecodeSetPasses_JPEG2000(1024, st.get());
    // The bytes live in a buffer of their own length so that reading beyond
    // them is caught by the sanitizers.
    std::vector<std::uint8_t> bytes(s.bytes);
    static const std::uint8_t kEmpty = 0;
    run.results.push_back(
        b.decode(bytes.empty() ? &kEmpty : bytes.data(), static_cast<int>(bytes.size()), st.get()));
  }
  imgCodeBlockDecodeGetPasses_JPEG2000(st.get(), &run.passesLeft);
  run.errorWord = st.get()->control.errorWord;
  run.coef.resize(static_cast<std::size_t>(o.width) * o.height);
  for (int y = 0; y < o.height; ++y)
    for (int x = 0; x < o.width; ++x)
      run.coef[static_cast<std::size_t>(y) * o.width + x] =
          static_cast<std::uint32_t>(dst[static_cast<std::size_t>(y) * stride + x]);
  return run;
}

}  // namespace cbtest
