#include "converter/console.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "converter/framework_bridge.h"

namespace {

std::atomic<std::uint32_t> gConsoleFlags{kConsoleNotes};

constexpr std::size_t kLineBuffer = 4096;

int FormatV(char* buffer, std::size_t size, const char* format, va_list args) {
  if (!buffer || size == 0) return -1;
  const int n = std::vsnprintf(buffer, size, format, args);
  if (n < 0) {
    buffer[0] = 0;
    return -1;
  }
  return static_cast<std::size_t>(n) >= size ? static_cast<int>(size - 1) : n;
}

void Emit(std::uint32_t bit, FILE* stream, const char* format, va_list args) {
  char text[kLineBuffer];
  if (FormatV(text, sizeof(text), format, args) < 0) return;
  ConverterLogMessage("Cmd-line", text);
  if (ConverterLogEchoesToConsole()) return;
  if (gConsoleFlags.load() & bit) {
    std::fputs(text, stream);
    std::fputs("\n", stream);
    std::fflush(stream);
  }
}

}  // namespace

void SetConsoleFlags(std::uint32_t flags) { gConsoleFlags.store(flags); }
std::uint32_t GetConsoleFlags() { return gConsoleFlags.load(); }

int FormatToBuffer(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatV(buffer, size, format, args);
  va_end(args);
  return n;
}

void PrintInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(kConsoleInfo, stdout, format, args);
  va_end(args);
}

void PrintNote(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(kConsoleNotes, stderr, format, args);
  va_end(args);
}
