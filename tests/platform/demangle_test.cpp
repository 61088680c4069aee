// The crash handler's demangler against the runtime's own (__cxa_demangle,
// which allocates and so cannot serve inside a signal handler).
#include "platform/demangle.h"

#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "platform/crash_signals.h"

namespace {

std::string Reference(const char* mangled) {
  int status = 0;
  char* text = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string result = status == 0 && text ? text : "";
  std::free(text);
  return result;
}

class Demangle : public ::testing::Test {
 protected:
  bool Run(const char* mangled, std::string* out, std::size_t size = 4096) {
    std::string buffer(size, '\x7f');
    const bool ok = platformDemangle(mangled, buffer.data(), size, mWork.get());
    *out = buffer.c_str();
    return ok;
  }
  std::unique_ptr<PlatformDemangler> mWork = std::make_unique<PlatformDemangler>();
};

// Names of the forms the demangler reads: each must come out exactly as the
// runtime's demangler writes it.
const char* const kSupported[] = {
    "_Z3fooi",
    "_ZN3foo3barEv",
    "_ZNK3foo3getEv",
    "_ZN3fooC2Ev",
    "_ZN3fooD1Ev",
    "_ZN3fooD0Ev",
    "_ZN3fooIiEC1Ev",
    "_ZN12_GLOBAL__N_14funcEv",
    "_ZNSt6vectorIiSaIiEE9push_backERKi",
    "_ZNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEE6appendEPKc",
    "_ZN5Outer5InnerC2ERKS0_",
    "_ZN3fooplERKS_",
    "_ZlsRSoRK3Bar",
    "_Z3fooB5cxx11v",
    "_Z3fooILi3EEvv",
    "_Z3fooILin3EEvv",
    "_Z3fooILb1EEvv",
    "_Z3fooILj3EEvv",
    "_Z1fIiEvT_",
    "_Z1fIiiEvT0_",
    "_ZSt4swapIiEvRT_S1_",
    "_Z4swapIiEvRT_S1_",
    "_Z1fPKvPVi",
    "_Z1fRKPKc",
    "_ZN1AIiE1fIcEEvT_",
    "_ZN9__gnu_cxx13new_allocatorIcED2Ev",
    "_Z1fSt6vectorIiSaIiEE",
    "_Z1fDnDsDi",
    "_Z1fOi",
    "_ZN3foo3barEv.cold",
    "_Z1fz",
    "_Z1fPPc",
    "_ZN3foo3bazERS_S0_",
    "_ZNKR3foo3getEv",
    "_ZNO3foo3getEv",
    "_ZN3foo4dataE",
    "_Z1fN1a1bE",
    "_Z1fN1a1bIiEES1_",
    "_ZN1a1bIiE1cEv",
    "_ZNSt10unique_ptrIiSt14default_deleteIiEED2Ev",
    "_Z1fmxyhtsn",
    "_ZN1AixEi",
    "_ZN1AclEv",
    "_ZN1AnwEm",
    "_ZN1AdaEPv",
    "_ZN1AaSERKS_",
    "_ZN1AeqERKS_",
    "_Z14RunGuardedMainPFiPvES_",
    "_Z1fPFviE",
    "_Z1fRFviES0_",
    "_Z1fPFvvEPFPKciE",
    "_ZNKSt8functionIFvvEEclEv",
    "_ZNSt8functionIFiRKiEEC2ERKS3_",
};

TEST_F(Demangle, CommonFormsMatchTheRuntime) {
  for (const char* mangled : kSupported) {
    std::string mine;
    ASSERT_TRUE(Run(mangled, &mine)) << mangled;
    const std::string reference = Reference(mangled);
    ASSERT_FALSE(reference.empty()) << mangled;
    EXPECT_EQ(mine, reference) << mangled;
  }
}

TEST_F(Demangle, UnsupportedFormsAreRefusedNotGuessed) {
  const char* const refused[] = {
      "main",                     // not mangled
      "_Z",                       // empty
      "_Z1fPPFviE",               // pointer to a pointer to a function
      "_Z1fA3_i",                 // array
      "_ZZ4mainE1x",              // local name
      "_Z1fIJiEEvv",              // pack
      "_Z1fM1AFvvE",              // member pointer
      "_Z3fooS_",                 // substitution that does not exist
      "_Z3fooT_",                 // template parameter outside a template
      "_Z3fo",                    // name shorter than its length
      "_Z999999999999999999foo",  // absurd length
      "_Z1f3ba",                  // parameter shorter than its length
      "_ZN3fooEvQ",               // trailing garbage
  };
  for (const char* mangled : refused) {
    std::string mine = "x";
    EXPECT_FALSE(Run(mangled, &mine)) << mangled;
    EXPECT_EQ(mine, "") << mangled;
  }
}

TEST_F(Demangle, ShortOutputIsRefusedAndTerminated) {
  std::string mine;
  EXPECT_FALSE(Run("_ZNSt6vectorIiSaIiEE9push_backERKi", &mine, 16));
  EXPECT_EQ(mine, "");
  char one[1] = {'x'};
  EXPECT_FALSE(platformDemangle("_Z3fooi", one, 1, mWork.get()));
  EXPECT_EQ(one[0], 0);
  EXPECT_FALSE(platformDemangle("_Z3fooi", nullptr, 0, mWork.get()));
}

TEST_F(Demangle, DeepNestingGivesUpInsteadOfOverflowing) {
  // A pointer to a pointer to ... a thousand levels: deeper than the reader
  // goes.
  std::string mangled = "_Z1f";
  mangled.append(1000, 'P');
  mangled += "i";
  std::string mine;
  EXPECT_FALSE(Run(mangled.c_str(), &mine));
  // Long but legal names that do not fit the working memory are refused.
  std::string wide = "_Z1f";
  for (int i = 0; i < 400; ++i) wide += "3abc";
  std::string unused;
  Run(wide.c_str(), &unused);
}

TEST_F(Demangle, DamagedNamesNeverCrash) {
  std::mt19937 random(1234);
  for (const char* mangled : kSupported) {
    const std::string original = mangled;
    for (int round = 0; round < 200; ++round) {
      std::string damaged = original;
      const int edits = 1 + static_cast<int>(random() % 3);
      for (int e = 0; e < edits && !damaged.empty(); ++e) {
        const std::size_t at = random() % damaged.size();
        switch (random() % 3) {
          case 0:
            damaged[at] = static_cast<char>(' ' + random() % 95);
            break;
          case 1:
            damaged.erase(at, 1);
            break;
          default:
            damaged.insert(at, 1, "NSIEKPRT_0123LZ"[random() % 15]);
            break;
        }
      }
      std::string mine;
      if (Run(damaged.c_str(), &mine)) {
        EXPECT_FALSE(mine.empty()) << damaged;
      }
    }
  }
}

TEST_F(Demangle, SymbolsOfThisProgramAreNamedThroughTheDynamicTable) {
  char name[512];
  std::uintptr_t displacement = 1;
  void* address = reinterpret_cast<void*>(&platformDemangle);
  ASSERT_TRUE(platformSymbolize(address, false, name, sizeof name, &displacement, mWork.get()));
  EXPECT_STREQ(name, "platformDemangle(char const*, char*, unsigned long, PlatformDemangler*)");
  EXPECT_EQ(displacement, 0u);
  // A return address inside a function names that function, at its distance.
  void* inside = static_cast<char*>(address) + 5;
  ASSERT_TRUE(platformSymbolize(inside, true, name, sizeof name, &displacement, mWork.get()));
  EXPECT_EQ(displacement, 5u);
  EXPECT_EQ(std::string(name).rfind("platformDemangle(", 0), 0u);
  // No symbol: "???" and 0.
  EXPECT_FALSE(platformSymbolize(nullptr, false, name, sizeof name, &displacement, mWork.get()));
  EXPECT_STREQ(name, "???");
  EXPECT_EQ(displacement, 0u);
  int onTheStack = 0;
  EXPECT_FALSE(platformSymbolize(&onTheStack, false, name, sizeof name, &displacement, mWork.get()));
  EXPECT_STREQ(name, "???");
}

}  // namespace
