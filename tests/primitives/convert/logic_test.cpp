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
#include "tests/primitives/convert/walk_support.h"

namespace {

template <class T>
std::vector<T> randoms(unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<T> v(301);
  for (T& x : v) x = static_cast<T>(rng());
  return v;
}
template <class T>
const std::vector<T> kFirst = randoms<T>(1);
template <class T>
const std::vector<T> kSecond = randoms<T>(2);  // used from element 1 on: another alignment
template <class T>
const T* second() {
  return kSecond<T>.data() + 1;
}

// One kernel form: run(src, dst, len) leaves rule(src[i], second[i]) in dst.
// The in-place kernels copy src into dst first.
template <class T>
struct Case {
  std::string name;
  std::function<T(T, T)> rule;
  std::function<void(const T*, T*, int)> run;
  bool sameArray;  // also run with dst the source array itself
};
template <class T>
std::function<void(const T*, T*, int)> copyThen(std::function<void(T*, int)> inPlace) {
  return [=](const T* s, T* d, int n) {
    if (s != d) std::memcpy(d, s, n * sizeof(T));
    inPlace(d, n);
  };
}

template <class T>
void checkCase(const Case<T>& c) {
  SCOPED_TRACE(c.name);
  std::vector<T> want(300);
  for (int i = 0; i < 300; ++i) want[i] = c.rule(kFirst<T>[i], second<T>()[i]);
  checkWalks(kFirst<T>, want, sweepLengths(40, {63, 64, 65, 127, 128, 129, 255, 256, 257}), c.run,
             c.sameArray);
  T one = kFirst<T>[0];  // a length of 0 or below touches nothing
  c.run(&one, &one, 0), c.run(&one, &one, -1);
  ASSERT_EQ(one, kFirst<T>[0]);
}

template <class T, class F, class FI, class Op>
void addLogicC(std::vector<Case<T>>& out, const std::string& name, F f, FI fI, Op op) {
  for (int v : {0x1ff, 0x12345, -1, static_cast<int>(0x80000001u)}) {  // narrow elements: the low bits
    const auto rule = [=](T x, T) { return static_cast<T>(op(x, static_cast<T>(v))); };
    out.push_back(
        {name + " " + std::to_string(v), rule, [=](const T* s, T* d, int n) { f(s, v, d, n); }, true});
    out.push_back(
        {name + "_I " + std::to_string(v), rule, copyThen<T>([=](T* d, int n) { fI(v, d, n); }), false});
  }
}
template <class T, class F, class FI, class Op>
void addLogic2(std::vector<Case<T>>& out, const std::string& name, F f, FI fI, Op op) {
  const auto rule = [=](T x, T y) { return static_cast<T>(op(x, y)); };
  out.push_back({name, rule, [=](const T* s, T* d, int n) { f(s, second<T>(), d, n); }, true});
  out.push_back(
      {name + " dst = src2", rule, copyThen<T>([=](T* d, int n) { f(second<T>(), d, d, n); }), false});
  out.push_back({name + "_I", rule, copyThen<T>([=](T* d, int n) { fI(second<T>(), d, n); }), false});
}
template <class T, class FI, class Rule>
void addShift(std::vector<Case<T>>& out, const std::string& name, FI fI, Rule rule) {
  const int w = 8 * sizeof(T);
  for (int c : {0, 1, w - 1, w, w + 1, 32, 1000, -1, -2147483647 - 1}) {
    const auto u = static_cast<std::uint32_t>(c);  // read as unsigned
    out.push_back({name + " by " + std::to_string(c), [=](T x, T) { return rule(x, u); },
                   copyThen<T>([=](T* d, int n) { fI(c, d, n); }), false});
  }
}

constexpr auto kAnd = [](auto x, auto y) { return x & y; };
constexpr auto kOr = [](auto x, auto y) { return x | y; };
constexpr auto kXor = [](auto x, auto y) { return x ^ y; };
template <class T>
T shl(T x, std::uint32_t n) {
  using U = std::make_unsigned_t<T>;
  return n >= 8 * sizeof(T) ? T(0) : static_cast<T>(static_cast<U>(std::uint64_t{static_cast<U>(x)} << n));
}
template <class T>
T shr(T x, std::uint32_t n) {  // logical for unsigned T, arithmetic for signed T
  return n >= 8 * sizeof(T) ? (x < 0 ? T(-1) : T(0)) : static_cast<T>(x >> n);
}

struct Cases {
  std::vector<Case<Prim8u>> c8;
  std::vector<Case<Prim16u>> c16;
  std::vector<Case<Prim16s>> c16s;
  std::vector<Case<Prim32s>> c32;
};
struct LogicBuild {
  const char* name;
  std::int32_t gen;
  void (*fill)(Cases&);
};
void PrintTo(const LogicBuild& b, std::ostream* os) { *os << b.name; }

// The three widths of one family (the 16s shift is the odd one out).
#define PRIM_WIDTHS(add, g, F, op, C8, C16, C32)                              \
  add<Prim8u>(c.C8, #F "_8u", g##_owns##F##_8u, g##_owns##F##_8u_I, op);      \
  add<Prim16u>(c.C16, #F "_16u", g##_owns##F##_16u, g##_owns##F##_16u_I, op); \
  add<Prim32s>(c.C32, #F "_32s", g##_owns##F##_32s, g##_owns##F##_32s_I, op);
#define PRIM_SHIFTS(g, F, rule)                                         \
  addShift<Prim8u>(c.c8, #F "_8u_I", g##_owns##F##_8u_I, rule<Prim8u>); \
  addShift<Prim16u>(c.c16, #F "_16u_I", g##_owns##F##_16u_I, rule<Prim16u>);
#define PRIM_LOGIC_CASES(g)                                                          \
  [](Cases& c) {                                                                     \
    PRIM_WIDTHS(addLogicC, g, AndC, kAnd, c8, c16, c32)                              \
    PRIM_WIDTHS(addLogicC, g, OrC, kOr, c8, c16, c32)                                \
    PRIM_WIDTHS(addLogicC, g, XorC, kXor, c8, c16, c32)                              \
    PRIM_SHIFTS(g, LShiftC, shl)                                                     \
    PRIM_SHIFTS(g, RShiftC, shr)                                                     \
    addShift<Prim16s>(c.c16s, "RShiftC_16s_I", g##_ownsRShiftC_16s_I, shr<Prim16s>); \
    addShift<Prim32s>(c.c32, "LShiftC_32s_I", g##_ownsLShiftC_32s_I, shl<Prim32s>);  \
    addShift<Prim32s>(c.c32, "RShiftC_32s_I", g##_ownsRShiftC_32s_I, shr<Prim32s>);  \
    addLogic2<Prim8u>(c.c8, "And_8u", g##_ownsAnd_8u, g##_ownsAnd_8u_I, kAnd);       \
    addLogic2<Prim8u>(c.c8, "Or_8u", g##_ownsOr_8u, g##_ownsOr_8u_I, kOr);           \
    addLogic2<Prim8u>(c.c8, "Xor_8u", g##_ownsXor_8u, g##_ownsXor_8u_I, kXor);       \
    addLogic2<Prim16u>(c.c16, "And_16u", g##_ownsAnd_16u, g##_ownsAnd_16u_I, kAnd);  \
    addLogic2<Prim16u>(c.c16, "Or_16u", g##_ownsOr_16u, g##_ownsOr_16u_I, kOr);      \
    addLogic2<Prim16u>(c.c16, "Xor_16u", g##_ownsXor_16u, g##_ownsXor_16u_I, kXor);  \
    PRIM_LOGIC_32_##g                                                                \
  }
// The 32-bit two-vector kernels exist from the ssse3 build on.
#define PRIM_LOGIC_32(g)                                                          \
  addLogic2<Prim32s>(c.c32, "And_32s", g##_ownsAnd_32s, g##_ownsAnd_32s_I, kAnd); \
  addLogic2<Prim32s>(c.c32, "Or_32s", g##_ownsOr_32s, g##_ownsOr_32s_I, kOr);     \
  addLogic2<Prim32s>(c.c32, "Xor_32s", g##_ownsXor_32s, g##_ownsXor_32s_I, kXor);
#define PRIM_LOGIC_32_sse2
#define PRIM_LOGIC_32_ssse3 PRIM_LOGIC_32(ssse3)
#define PRIM_LOGIC_32_sse41 PRIM_LOGIC_32(sse41)
#define PRIM_LOGIC_32_avx PRIM_LOGIC_32(avx)
const LogicBuild kBuilds[] = {{"sse2", primGenSse2, PRIM_LOGIC_CASES(sse2)},
                              {"ssse3", primGenSsse3, PRIM_LOGIC_CASES(ssse3)},
                              {"sse41", primGenSse41, PRIM_LOGIC_CASES(sse41)},
                              {"avx", primGenAvx, PRIM_LOGIC_CASES(avx)}};

class LogicTest : public ::testing::TestWithParam<LogicBuild> {
 protected:
  void SetUp() override {
    if (!primTestGenerationSupported(GetParam().gen))
      GTEST_SKIP() << "processor cannot run " << GetParam().name;
    GetParam().fill(cases);
  }
  Cases cases;
};

TEST_P(LogicTest, EightBitKernels) {
  for (const auto& c : cases.c8) checkCase(c);
}
TEST_P(LogicTest, SixteenBitKernels) {
  for (const auto& c : cases.c16) checkCase(c);
  for (const auto& c : cases.c16s) checkCase(c);
}
TEST_P(LogicTest, ThirtyTwoBitKernels) {
  for (const auto& c : cases.c32) checkCase(c);
}

INSTANTIATE_TEST_SUITE_P(Builds, LogicTest, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<LogicBuild>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
