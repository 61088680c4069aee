// The crash handler's pieces that can run outside a signal handler: the
// frame lines and the stack walk.
#include "framework/crash_handler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/demangle.h"

namespace {

void Collect(const char* text, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(text);
}

std::string Hex(const void* address) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", address);
  return text;
}

TEST(CrashHandler, FrameLinesNameTheSymbolOrGiveQuestionMarks) {
  InitSymbols();
  void* function = reinterpret_cast<void*>(&platformDemangle);
  int local = 0;
  void* frames[] = {function, static_cast<char*>(function) + 0x1B, &local, nullptr};
  std::vector<std::string> lines;
  FormatStackTrace(frames, 4, &Collect, &lines);
  ASSERT_EQ(lines.size(), 4u);
  const std::string name = "platformDemangle(char const*, char*, unsigned long, PlatformDemangler*)";
  // The first frame is the interrupted instruction itself.
  EXPECT_EQ(lines[0], Hex(function) + ": " + name + " +00000");
  // Later frames are return addresses: the call before them names the
  // function, the distance is from its start.
  EXPECT_EQ(lines[1], Hex(frames[1]) + ": " + name + " +0001B");
  EXPECT_EQ(lines[2], Hex(&local) + ": ??? +00000");
  EXPECT_EQ(lines[3], "(nil): ??? +00000");
}

__attribute__((noinline)) std::int32_t WalkFromHere(void** frames, std::int32_t capacity, void* pc,
                                                    std::int32_t max, std::int32_t skip) {
  TCrashException exception{};
  exception.programCounter = pc;
  return WalkStack(exception, frames, capacity, max, skip);
}

TEST(CrashHandler, TheWalkStartsAtTheInterruptedFrameAndHonoursItsLimits) {
  InitSymbols();
  void* frames[64];
  // Unknown interrupted address: it comes first, then the walk as found.
  void* pc = reinterpret_cast<void*>(&platformDemangle);
  const std::int32_t all = WalkFromHere(frames, 64, pc, 0, 0);
  ASSERT_GE(all, 3);
  EXPECT_EQ(frames[0], pc);
  void* second = frames[1];
  // Skipping and a maximum.
  const std::int32_t limited = WalkFromHere(frames, 64, pc, 2, 1);
  EXPECT_EQ(limited, 2);
  EXPECT_EQ(frames[0], second);
  // The capacity is never exceeded.
  EXPECT_EQ(WalkFromHere(frames, 1, pc, 0, 0), 1);
  EXPECT_EQ(WalkFromHere(frames, 0, pc, 0, 0), 0);
}

}  // namespace
