// Logic and shift kernels of the sse2, ssse3, sse41 and avx builds against
// scalar formulas: AND, OR, XOR with a constant and between vectors, shifts
// in place at counts 0, width-1, width and beyond (negative included), every
// length around the steps, every destination offset, guard bytes, in place
// and a destination equal to either source.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "primitives/convert/vec_logic_builds.h"
#include "primitives/core/test_hooks.h"
#include "tests/primitives/convert/convert_support.h"

namespace {

template <class T>
struct Case {
  std::string name;
  std::function<T(T, T)> rule;                            // (element, second source element)
  std::function<void(const T*, const T*, T*, int)> run;   // into a destination; may be empty
  std::function<void(const T*, T*, int)> runInPlace;      // (second source, source and destination)
};

template <class T>
std::vector<T> randoms(unsigned seed, std::size_t n) {
  std::mt19937 rng(seed);
  std::vector<T> v(n);
  for (T& x : v) x = static_cast<T>(rng());
  return v;
}

template <class T>
void checkCase(const Case<T>& c) {
  SCOPED_TRACE(c.name);
  const std::vector<T> a = randoms<T>(1, 300), b = randoms<T>(2, 300);
  std::vector<int> lengths;
  for (int len = 1; len <= 40; ++len) lengths.push_back(len);
  for (int len : {63, 64, 65, 127, 128, 129, 255, 256, 257}) lengths.push_back(len);
  for (int len : lengths) {
    const std::size_t bytes = std::size_t(len) * sizeof(T);
    std::vector<T> want(len);
    for (int i = 0; i < len; ++i) want[i] = c.rule(a[i], b[i]);
    for (std::size_t dof = 0; dof < 16; dof += (len > 40 ? 3 : 1)) {
      for (std::size_t so : {std::size_t{0}, dof, std::size_t{5}}) {
        Guarded s2(bytes, (so + 3) % 16);
        s2.fill(b.data());
        if (c.run) {
          Guarded s1(bytes, so), d(bytes, dof);
          s1.fill(a.data());
          c.run(s1.as<T>(), s2.as<T>(), d.as<T>(), len);
          ASSERT_TRUE(d.guardsIntact()) << "len " << len << " dst offset " << dof;
          ASSERT_EQ(0, std::memcmp(d.window().data(), want.data(), bytes))
              << "len " << len << " offsets " << so << "/" << dof;
        }
        Guarded io(bytes, dof);
        io.fill(a.data());
        c.runInPlace(s2.as<T>(), io.as<T>(), len);
        ASSERT_TRUE(io.guardsIntact()) << "in place, len " << len;
        ASSERT_EQ(0, std::memcmp(io.window().data(), want.data(), bytes)) << "in place, len " << len << " at " << dof;
      }
    }
  }
  // A length of 0 or below touches nothing.
  T one[1] = {a[0]};
  for (int len : {0, -1}) {
    if (c.run) c.run(one, one, one, len);
    c.runInPlace(one, one, len);
    ASSERT_EQ(one[0], a[0]);
  }
}

// Cases of one build.  Constants wider than the element use their low bits.
template <class T, class F, class FI, class Op>
void addLogicC(std::vector<Case<T>>& out, const char* name, F f, FI fI, Op op) {
  for (int v : {0x1ff, 0x12345, -1, static_cast<int>(0x80000001u), 0x5a5a5a5a}) {
    const T c = static_cast<T>(v);
    out.push_back({std::string(name) + " " + std::to_string(v), [=](T x, T) { return op(x, c); },
                   [=](const T* s, const T*, T* d, int n) { f(s, v, d, n); },
                   [=](const T*, T* io, int n) { fI(v, io, n); }});
  }
}
template <class T, class F, class FI, class Op>
void addLogic2(std::vector<Case<T>>& out, const char* name, F f, FI fI, Op op) {
  const auto rule = [=](T x, T y) { return static_cast<T>(op(x, y)); };
  out.push_back({name, rule, f, fI});
  // The destination the same array as the first or the second source.
  out.push_back({std::string(name) + " dst = src1", rule, nullptr,
                 [=](const T* s2, T* io, int n) { f(io, s2, io, n); }});
  out.push_back({std::string(name) + " dst = src2", rule, nullptr,
                 [=](const T* s2, T* io, int n) { f(s2, io, io, n); }});
}
template <class T, class FI, class Rule>
void addShift(std::vector<Case<T>>& out, const char* name, FI fI, Rule rule) {
  const int w = 8 * sizeof(T);
  for (int n : {0, 1, w - 1, w, w + 1, 31, 32, 33, 1000, -1, -2147483647 - 1}) {
    // The count is read as unsigned: from the width on, zero or sign fill.
    const std::uint32_t u = static_cast<std::uint32_t>(n);
    out.push_back({std::string(name) + " by " + std::to_string(n), [=](T x, T) { return rule(x, u); }, nullptr,
                   [=](const T*, T* io, int len) { fI(n, io, len); }});
  }
}

constexpr auto kAnd = [](auto x, auto y) { return static_cast<decltype(x)>(x & y); };
constexpr auto kOr = [](auto x, auto y) { return static_cast<decltype(x)>(x | y); };
constexpr auto kXor = [](auto x, auto y) { return static_cast<decltype(x)>(x ^ y); };

template <class T>
T shl(T x, std::uint32_t n) {
  using U = std::make_unsigned_t<T>;
  return n >= 8 * sizeof(T) ? T(0) : static_cast<T>(static_cast<U>(static_cast<std::uint64_t>(static_cast<U>(x)) << n));
}
template <class T>
T shr(T x, std::uint32_t n) {  // logical for unsigned T, arithmetic for signed T
  if (n >= 8 * sizeof(T)) return x < 0 ? T(-1) : T(0);
  return static_cast<T>(x >> n);
}

struct LogicBuild {
  const char* name;
  std::int32_t gen;
  std::function<void(std::vector<Case<Prim8u>>&, std::vector<Case<Prim16u>>&, std::vector<Case<Prim16s>>&,
                     std::vector<Case<Prim32s>>&)>
      cases;
};

#define PRIM_COMMON_CASES(g)                                                                 \
  addLogicC<Prim8u>(c8, "AndC_8u", g##_ownsAndC_8u, g##_ownsAndC_8u_I, kAnd);                \
  addLogicC<Prim8u>(c8, "OrC_8u", g##_ownsOrC_8u, g##_ownsOrC_8u_I, kOr);                    \
  addLogicC<Prim8u>(c8, "XorC_8u", g##_ownsXorC_8u, g##_ownsXorC_8u_I, kXor);                \
  addLogicC<Prim16u>(c16, "AndC_16u", g##_ownsAndC_16u, g##_ownsAndC_16u_I, kAnd);           \
  addLogicC<Prim16u>(c16, "OrC_16u", g##_ownsOrC_16u, g##_ownsOrC_16u_I, kOr);               \
  addLogicC<Prim16u>(c16, "XorC_16u", g##_ownsXorC_16u, g##_ownsXorC_16u_I, kXor);           \
  addLogicC<Prim32s>(c32, "AndC_32s", g##_ownsAndC_32s, g##_ownsAndC_32s_I, kAnd);           \
  addLogicC<Prim32s>(c32, "OrC_32s", g##_ownsOrC_32s, g##_ownsOrC_32s_I, kOr);               \
  addLogicC<Prim32s>(c32, "XorC_32s", g##_ownsXorC_32s, g##_ownsXorC_32s_I, kXor);           \
  addShift<Prim8u>(c8, "LShiftC_8u_I", g##_ownsLShiftC_8u_I, shl<Prim8u>);                   \
  addShift<Prim8u>(c8, "RShiftC_8u_I", g##_ownsRShiftC_8u_I, shr<Prim8u>);                   \
  addShift<Prim16u>(c16, "LShiftC_16u_I", g##_ownsLShiftC_16u_I, shl<Prim16u>);              \
  addShift<Prim16u>(c16, "RShiftC_16u_I", g##_ownsRShiftC_16u_I, shr<Prim16u>);              \
  addShift<Prim16s>(c16s, "RShiftC_16s_I", g##_ownsRShiftC_16s_I, shr<Prim16s>);             \
  addShift<Prim32s>(c32, "LShiftC_32s_I", g##_ownsLShiftC_32s_I, shl<Prim32s>);              \
  addShift<Prim32s>(c32, "RShiftC_32s_I", g##_ownsRShiftC_32s_I, shr<Prim32s>);              \
  addLogic2<Prim8u>(c8, "And_8u", g##_ownsAnd_8u, g##_ownsAnd_8u_I, kAnd);                   \
  addLogic2<Prim8u>(c8, "Or_8u", g##_ownsOr_8u, g##_ownsOr_8u_I, kOr);                       \
  addLogic2<Prim8u>(c8, "Xor_8u", g##_ownsXor_8u, g##_ownsXor_8u_I, kXor);                   \
  addLogic2<Prim16u>(c16, "And_16u", g##_ownsAnd_16u, g##_ownsAnd_16u_I, kAnd);              \
  addLogic2<Prim16u>(c16, "Or_16u", g##_ownsOr_16u, g##_ownsOr_16u_I, kOr);                  \
  addLogic2<Prim16u>(c16, "Xor_16u", g##_ownsXor_16u, g##_ownsXor_16u_I, kXor);
#define PRIM_CASES_32(g)                                                                     \
  addLogic2<Prim32s>(c32, "And_32s", g##_ownsAnd_32s, g##_ownsAnd_32s_I, kAnd);              \
  addLogic2<Prim32s>(c32, "Or_32s", g##_ownsOr_32s, g##_ownsOr_32s_I, kOr);                  \
  addLogic2<Prim32s>(c32, "Xor_32s", g##_ownsXor_32s, g##_ownsXor_32s_I, kXor);
#define PRIM_BUILD_CASES(g, n, more)                                                         \
  LogicBuild {                                                                               \
    #g, n, [](auto& c8, auto& c16, auto& c16s, auto& c32) { PRIM_COMMON_CASES(g) more }      \
  }
const LogicBuild kBuilds[] = {PRIM_BUILD_CASES(sse2, primGenSse2, ),
                              PRIM_BUILD_CASES(ssse3, primGenSsse3, PRIM_CASES_32(ssse3)),
                              PRIM_BUILD_CASES(sse41, primGenSse41, PRIM_CASES_32(sse41)),
                              PRIM_BUILD_CASES(avx, primGenAvx, PRIM_CASES_32(avx))};
#undef PRIM_BUILD_CASES
#undef PRIM_CASES_32
#undef PRIM_COMMON_CASES

void PrintTo(const LogicBuild& b, std::ostream* os) { *os << b.name; }

class LogicTest : public ::testing::TestWithParam<LogicBuild> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam().gen)) GTEST_SKIP() << "processor cannot run " << GetParam().name;
    GetParam().cases(c8, c16, c16s, c32);
  }
  std::vector<Case<Prim8u>> c8;
  std::vector<Case<Prim16u>> c16;
  std::vector<Case<Prim16s>> c16s;
  std::vector<Case<Prim32s>> c32;
};

TEST_P(LogicTest, EightBitKernels) {
  for (const auto& c : c8) checkCase(c);
}
TEST_P(LogicTest, SixteenBitKernels) {
  for (const auto& c : c16) checkCase(c);
  for (const auto& c : c16s) checkCase(c);
}
TEST_P(LogicTest, ThirtyTwoBitKernels) {
  for (const auto& c : c32) checkCase(c);
}

// Bits never cross between neighbouring bytes; listed constants.
TEST_P(LogicTest, ListedValues) {
  auto find = [&](const std::string& name) -> const Case<Prim8u>& {
    for (const auto& c : c8)
      if (c.name == name) return c;
    throw std::runtime_error(name);
  };
  Prim8u v[2] = {0x80, 0x01};
  find("LShiftC_8u_I by 1").runInPlace(nullptr, v, 2);
  EXPECT_EQ(v[0], 0x00);
  EXPECT_EQ(v[1], 0x02);
  Prim8u w[2] = {0x01, 0x80};
  find("RShiftC_8u_I by 1").runInPlace(nullptr, w, 2);
  EXPECT_EQ(w[0], 0x00);
  EXPECT_EQ(w[1], 0x40);
  Prim8u x[3] = {0x12, 0xf0, 0x0f};
  find("AndC_8u 511").runInPlace(nullptr, x, 3);  // the constant 0xff
  EXPECT_EQ(x[1], 0xf0);
  Prim8u y[3] = {0x12, 0xf0, 0x0f};
  find("Xor_8u").run(y, y, y, 3);  // an array with itself gives zeros
  EXPECT_EQ(y[0] | y[1] | y[2], 0);
}

INSTANTIATE_TEST_SUITE_P(Builds, LogicTest, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<LogicBuild>& info) { return std::string(info.param.name); });

}  // namespace
