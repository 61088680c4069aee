#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>

#include "framework/console.h"
#include "framework/system_info.h"
#include "tests/framework/framework_test_env.h"
#include "tests/framework/temp_home.h"

namespace {

TEST(SystemInformation, FeatureFlagsFromTheIdentificationWords) {
  const std::uint32_t mmx = 1u << 23, sse = 1u << 25, sse2 = 1u << 26;
  const std::uint32_t ext3dnow = 1u << 30, amd3dnow = 1u << 31;
  EXPECT_EQ(FeatureFlagsFromCpuid(1, mmx | sse | sse2, 0x80000001u, 0), 1u | 8u | 16u);
  EXPECT_EQ(FeatureFlagsFromCpuid(1, 0, 0x80000001u, ext3dnow | amd3dnow), 2u | 4u);
  // Leaves beyond the maximum are not looked at.
  EXPECT_EQ(FeatureFlagsFromCpuid(0, mmx | sse, 0x80000000u, amd3dnow), 0u);
  EXPECT_EQ(FeatureFlagsFromCpuid(1, sse, 0, amd3dnow), 8u);
}

TEST(SystemInformation, DetectedProcessor) {
  DetectProcessor();
#if defined(__x86_64__)
  // Every x86-64 processor has MMX, SSE and SSE2.
  EXPECT_EQ(GetProcessorFeatures() & 25u, 25u);
#endif
  cpu_set_t set;
  CPU_ZERO(&set);
  ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
  EXPECT_EQ(GetNumberOfProcessors(), CPU_COUNT(&set));
  EXPECT_GE(GetNumberOfProcessors(), 1);
}

TEST(SystemInformation, ProcessorCountFollowsTheAffinityMask) {
  // A thread pinned to one processor (as under taskset) counts one.
  std::int32_t counted = 0;
  std::thread pinned([&] {
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    int first = 0;
    while (!CPU_ISSET(first, &set)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof one, &one), 0);
    counted = CountLogicalProcessors();
  });
  pinned.join();
  EXPECT_EQ(counted, 1);
}

TEST(SystemInformation, OperatingSystemName) {
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  const std::string name = Narrow(GetOsName());
  EXPECT_EQ(name, std::string(names.sysname) + " " + names.release + " (" + names.machine + ")");
  EXPECT_TRUE(ComposeOsName(TString(u"Linux"), TString(u"6.1.0"), TString(u"x86_64"))
                  .EqualsText(u"Linux 6.1.0 (x86_64)"));
  EXPECT_TRUE(
      ComposeOsName(TString(u"Linux "), TString(), TString(u"aarch64")).EqualsText(u"Linux (aarch64)"));
  EXPECT_TRUE(ComposeOsName(TString(u"Linux"), TString(u"6.1"), TString()).EqualsText(u"Linux 6.1"));

  std::int32_t major = -1, minor = -1;
  char16_t servicePack[128] = {u'x'};
  GetOsVersion(&major, &minor, servicePack);
  EXPECT_EQ(
      std::to_string(major) + "." + std::to_string(minor),
      std::string(names.release).substr(0, std::to_string(major).size() + 1 + std::to_string(minor).size()));
  EXPECT_EQ(servicePack[0], 0);
  GetOsVersion(nullptr, nullptr, nullptr);
  // A constant here, whatever the kernel's version.
  EXPECT_TRUE(IsVistaOrLater());
}

TEST(SystemInformation, ProgramAndProcess) {
  const std::string program = Narrow(GetModuleFilePath());
  EXPECT_EQ(program.substr(program.find_last_of('/') + 1), "framework_runtime_tests");
  EXPECT_EQ(GetCurrentProcessIdentifier(), static_cast<std::uint32_t>(getpid()));
}

TEST(SystemInformation, MainRunningCounter) {
  HooksGuard hooks;
  // Before main enters, the lower layers count main as running.
  EXPECT_TRUE(FrameworkIsMainRunning());
  EnterMainRunning();
  EXPECT_TRUE(IsMainRunning());
  EnterMainRunning();
  LeaveMainRunning();
  EXPECT_TRUE(IsMainRunning());
  EXPECT_TRUE(FrameworkIsMainRunning());
  LeaveMainRunning();
  EXPECT_FALSE(IsMainRunning());
  EXPECT_FALSE(FrameworkIsMainRunning());
}

TEST(ConsoleLines, LinesGoToTheStandardOutput) {
  testing::internal::CaptureStdout();
  WriteConsoleLine(TString(u"Gr\u00fc\u00dfe \u2192 ok"));
  WriteConsoleLine(TString());
  WriteConsoleText("plain");
  WriteConsoleText(nullptr);
  // An unpaired surrogate cannot be written as such: it is replaced.
  const char16_t broken[] = {u'a', 0xD800, u'b', 0};
  WriteConsoleLine(TString(broken));
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string expectedStart =
      "Gr\xc3\xbc\xc3\x9f"
      "e \xe2\x86\x92 ok\n\nplain\n\na";
  ASSERT_GE(out.size(), expectedStart.size());
  EXPECT_EQ(out.substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(out[out.size() - 2], 'b');
  EnableLowFragmentationHeap();
}

}  // namespace
