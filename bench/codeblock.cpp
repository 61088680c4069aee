// bench-libs: prim_jpeg2000 prim_core
//
// Decode time of one typical cinema code-block (32x32, 12 bit-planes,
// Laplacian coefficients) in each build of the code-block decoder, for the
// plain style and for arithmetic-coding bypass; and of a sparse block (7
// bit-planes, mostly zeros and ones), like the many high-band blocks of a
// cinema frame, where run-length columns and lone significance decisions
// take most of the time.  Compare the builds with the
// px line of the same style: the ratio is the figure to keep.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "primitives/jpeg2000/codeblock.h"
#include "primitives/jpeg2000/codeblock_builds.h"
// The reference encoder of the tests makes the coded data.
#include "tests/primitives/jpeg2000/codeblock_encoder.cpp"

namespace {

struct Coded {
  cbtest::EncodeOptions opt;
  cbtest::EncodedBlock block;
};

Coded makeBlock(std::uint32_t style, bool sparse) {
  std::mt19937 rng(2026);
  std::exponential_distribution<double> lap(sparse ? 1.0 / 0.8 : 1.0 / 24.0);
  std::vector<std::int32_t> c(32 * 32);
  for (auto& v : c) {
    const double m = std::min(lap(rng), 4095.0);
    v = static_cast<std::int32_t>(m);
    if (rng() & 1) v = -v;
  }
  const int planes = sparse ? 7 : 12;
  c[0] = sparse ? 100 : 4000;  // the top plane is used
  Coded k;
  k.opt.width = 32;
  k.opt.height = 32;
  k.opt.band = 1;
  k.opt.bitPlanes = planes;
  k.opt.style = style;
  k.block = cbtest::encodeCodeBlock(c, k.opt);
  return k;
}

using BeginFn = decltype(&px_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000);
using DecodeFn = decltype(&px_imgCodeBlockDecodePasses_JPEG2000);

void decodeBench(benchmark::State& bs, BeginFn begin, DecodeFn decode, std::uint32_t style, bool sparse) {
  const Coded k = makeBlock(style, sparse);
  int size = 0;
  imgCodeBlockDecoderStateSize_JPEG2000(32, 32, &size);
  std::vector<std::uint8_t> mem(static_cast<std::size_t>(size) + 64);
  auto* st = reinterpret_cast<PrimCodeBlockDecoderState*>(
      mem.data() + ((64 - (reinterpret_cast<std::uintptr_t>(mem.data()) & 63)) & 63));
  imgCodeBlockDecoderInit_JPEG2000(st, 32, 32);
  std::vector<std::int32_t> dst(32 * 32);
  std::size_t bytes = 0;
  for (const auto& s : k.block.segments) bytes += s.bytes.size();
  for (auto _ : bs) {
    begin(dst.data(), 128, 32, 32, st, 1, k.opt.bitPlanes, style);
    imgCodeBlockDecodeSetPasses_JPEG2000(k.block.passes, st);
    for (const auto& s : k.block.segments) decode(s.bytes.data(), static_cast<int>(s.bytes.size()), st);
    benchmark::DoNotOptimize(dst.data());
  }
  bs.counters["bytes"] = static_cast<double>(bytes);
  bs.counters["blocks/s"] =
      benchmark::Counter(static_cast<double>(bs.iterations()), benchmark::Counter::kIsRate);
}

#define CB_BENCH(gen)                                                                          \
  BENCHMARK_CAPTURE(decodeBench, gen##_plain, gen##_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000,  \
                    gen##_imgCodeBlockDecodePasses_JPEG2000, 0u, false);                       \
  BENCHMARK_CAPTURE(decodeBench, gen##_bypass, gen##_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, \
                    gen##_imgCodeBlockDecodePasses_JPEG2000, 2u, false);                       \
  BENCHMARK_CAPTURE(decodeBench, gen##_sparse, gen##_imgCodeBlockDecodeBegin_32s_C1R_JPEG2000, \
                    gen##_imgCodeBlockDecodePasses_JPEG2000, 0u, true);

CB_BENCH(px)
CB_BENCH(sse2)
CB_BENCH(ssse3)
CB_BENCH(sse41)
CB_BENCH(avx)
CB_BENCH(avx2)

}  // namespace
