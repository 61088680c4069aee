// bench-libs: prim_jpeg2000 prim_core
//
// One 2048x1080 component through five levels of the inverse wavelet
// transforms (9/7 in float and in 16-bit fixed point, 5/3 in 16 and 32
// bits), each with every build of the row and column primitives.  The
// counter "x_px" is the build's speed relative to the px build of the same
// transform.  The borders of each line are extended the simple way; the
// figures are about the primitives, not about a complete decoder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "primitives/core/test_hooks.h"
#include "primitives/jpeg2000/wavelet_builds.h"

namespace {

constexpr int kWidth = 2048, kHeight = 1080, kLevels = 5, kMargin = 4;

template <class T>
using RowFn = PrimResult (*)(const T*, int, const T*, int, int, int, T*, int, int);
template <class T>
using Col53Fn = PrimResult (*)(const T*, const T*, const T*, const T*, T*, T*, int);
template <class T>
using Col97Fn = PrimResult (*)(const T*, const T*, const T*, const T*, T*, T*, T*, T*, int);

struct Build {
  const char* name;
  int generation;
  RowFn<Prim16s> rows53_16;
  Col53Fn<Prim16s> col53_16;
  RowFn<Prim32s> rows53_32;
  Col53Fn<Prim32s> col53_32;
  RowFn<Prim16s> rows97_16;
  Col97Fn<Prim16s> col97_16;
  RowFn<Prim32f> rows97_32f;
  Col97Fn<Prim32f> col97_32f;
};

#define BUILD(gen, index)                                                                                    \
  Build {                                                                                                    \
#gen, index, gen##_imgInvLift53Rows_16s_C1R, gen##_imgInvLift53ColumnStep_16s_C1,                        \
        gen##_imgInvLift53Rows_32s_C1R, gen##_imgInvLift53ColumnStep_32s_C1, gen##_imgInvLift97Rows_16s_C1R, \
        gen##_imgInvLift97ColumnStep_16s_C1, gen##_imgInvLift97Rows_32f_C1R,                                 \
        gen##_imgInvLift97ColumnStep_32f_C1                                                                  \
  }
const Build kBuilds[] = {BUILD(px, 0),    BUILD(sse2, 1), BUILD(ssse3, 2),
                         BUILD(sse41, 4), BUILD(avx, 5),  BUILD(avx2, 6)};
#undef BUILD

// The image, its scratch rows and one line with margins for the row pass.
template <class T>
struct Work {
  std::vector<T> source, image, out, lowLine, highLine;
  Work() : source(size_t(kWidth) * kHeight), image(source.size()), out(source.size()) {
    lowLine.resize(kWidth / 2 + 2 * kMargin + 2);
    highLine.resize(kWidth / 2 + 2 * kMargin + 2);
    for (size_t i = 0; i < source.size(); ++i) source[i] = T(static_cast<int>(i * 7919 % 255) - 127);
  }
};

// Copies n samples into a line with kMargin mirrored samples on each side.
template <class T>
void extendLine(const T* src, int n, std::vector<T>& line) {
  T* p = line.data() + kMargin;
  std::memcpy(p, src, sizeof(T) * n);
  for (int i = 1; i <= kMargin; ++i) {
    p[-i] = src[std::min(i, n - 1)];
    p[n - 1 + i] = src[std::max(n - 1 - i, 0)];
  }
}

// Rows of one level: low half then high half of each row into the output.
template <class T>
void rowPass(Work<T>& w, RowFn<T> rows, int width, int height) {
  const int pairs = width / 2;
  for (int y = 0; y < height; ++y) {
    T* row = w.image.data() + size_t(y) * kWidth;
    extendLine(row, pairs, w.lowLine);
    extendLine(row + pairs, pairs, w.highLine);
    rows(w.lowLine.data() + kMargin, 1, w.highLine.data() + kMargin, 1, pairs, 1, row, 1, 0);
  }
}

// Columns of one level with the 5/3 step: low rows in the top half, high rows
// in the bottom half, output through the scratch image.
template <class T>
void columnPass53(Work<T>& w, Col53Fn<T> step, int width, int height) {
  const int half = height / 2;
  auto in = [&](int r) { return w.image.data() + size_t(r) * kWidth; };
  auto out = [&](int r) { return w.out.data() + size_t(r) * kWidth; };
  std::memcpy(out(0), in(0), sizeof(T) * width);
  for (int n = 1; n < half; ++n)
    step(in(n), in(half + n - 1), in(half + n), out(2 * n - 2), out(2 * n - 1), out(2 * n), width);
  for (int r = 0; r < 2 * half; ++r) std::memcpy(in(r), out(r), sizeof(T) * width);
}

template <class T>
void columnPass97(Work<T>& w, Col97Fn<T> step, int width, int height) {
  const int half = height / 2;
  auto in = [&](int r) { return w.image.data() + size_t(r) * kWidth; };
  auto out = [&](int r) { return w.out.data() + size_t(r) * kWidth; };
  for (int r = 0; r < 4; ++r) std::memcpy(out(r), in(r), sizeof(T) * width);
  for (int n = 2; n < half; ++n)
    step(in(n), in(half + n - 1), in(half + n), out(2 * n - 4), out(2 * n - 3), out(2 * n - 2),
         out(2 * n - 1), out(2 * n), width);
  for (int r = 0; r < 2 * half; ++r) std::memcpy(in(r), out(r), sizeof(T) * width);
}

template <class T, class Col, class ColPass>
void inverse(Work<T>& w, RowFn<T> rows, Col col, ColPass colPass) {
  // Each run starts from the same coefficients.
  std::memcpy(w.image.data(), w.source.data(), sizeof(T) * w.source.size());
  for (int level = kLevels - 1; level >= 0; --level) {
    const int width = (kWidth + (1 << level) - 1) >> level;
    const int height = (kHeight + (1 << level) - 1) >> level;
    colPass(w, col, width, height);
    rowPass(w, rows, width, height);
  }
}

enum class Kind { Lift53_16s, Lift53_32s, Lift97_16s, Lift97_32f };

template <class T>
void runOnce(Kind kind, const Build& b, Work<T>& w) {
  if constexpr (std::is_same_v<T, Prim16s>) {
    if (kind == Kind::Lift53_16s)
      inverse(w, b.rows53_16, b.col53_16, columnPass53<T>);
    else
      inverse(w, b.rows97_16, b.col97_16, columnPass97<T>);
  } else if constexpr (std::is_same_v<T, Prim32s>) {
    inverse(w, b.rows53_32, b.col53_32, columnPass53<T>);
  } else {
    inverse(w, b.rows97_32f, b.col97_32f, columnPass97<T>);
  }
}

template <class T>
double secondsPerRun(Kind kind, const Build& b) {
  Work<T> w;
  double best = 1e30;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    runOnce(kind, b, w);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

template <class T>
void bench(benchmark::State& state, Kind kind, const Build* b) {
  if (!primTestGenerationSupported(b->generation)) {
    state.SkipWithError("this processor cannot run the build");
    return;
  }
  static std::map<Kind, double> pxSeconds;
  if (!pxSeconds.count(kind)) pxSeconds[kind] = secondsPerRun<T>(kind, kBuilds[0]);
  Work<T> w;
  for (auto _ : state) {
    runOnce(kind, *b, w);
    benchmark::DoNotOptimize(w.image.data());
  }
  const double mine = secondsPerRun<T>(kind, *b);
  state.counters["x_px"] = pxSeconds[kind] / mine;
}

const int registered = [] {
  for (const Build& b : kBuilds) {
    const std::string n = b.name;
    benchmark::RegisterBenchmark(("InverseDwt97_32f/" + n).c_str(), bench<Prim32f>, Kind::Lift97_32f, &b)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("InverseDwt97_16s/" + n).c_str(), bench<Prim16s>, Kind::Lift97_16s, &b)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("InverseDwt53_16s/" + n).c_str(), bench<Prim16s>, Kind::Lift53_16s, &b)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("InverseDwt53_32s/" + n).c_str(), bench<Prim32s>, Kind::Lift53_32s, &b)
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}();

}  // namespace
