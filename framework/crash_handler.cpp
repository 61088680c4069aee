#include "framework/crash_handler.h"

#include <atomic>
#include <cstring>

#include "framework/log.h"
#include "framework/text.h"
#include "platform/raw_io.h"

namespace {

constexpr std::int32_t kMaxFrames = 256;
constexpr std::size_t kLineSize = 4096;

// Everything the handler writes into is static: the handler runs once per
// process (the signal layer lets only the first faulting thread in).
void* gRawFrames[kMaxFrames];
void* gFrames[kMaxFrames + 1];
char gTraceLine[kLineSize];
char gSymbol[2048];
char gOutput[kLineSize + 128];
// The whole report (the code line and every frame line, each with its
// "CrashLog: " and CR LF), gathered so that it goes into the log in one
// append: runs and threads that log meanwhile never come between its lines.
char gReport[(kMaxFrames + 3) * (kLineSize + 16)];
PlatformDemangler gDemangler;
char gProductName[64] = "Tarvo";
// The handler's own descriptor of the log.  Not the log's: when another run
// has cut the log, the handler opens the new file in its place.
int gOwnLogFd = -1;
bool gSeparatorWritten = false;
std::atomic<bool> gInstalled{false};
std::atomic<bool> gSymbolsReady{false};

// Text in a fixed buffer: always zero-terminated, cut at its capacity.
class FixedText {
 public:
  FixedText(char* buffer, std::size_t capacity) : mData(buffer), mCapacity(capacity) {
    if (mCapacity > 0) mData[0] = 0;
  }
  void Add(const char* text) {
    for (; text && *text; ++text) AddChar(*text);
  }
  void AddChar(char c) {
    if (mLength + 1 >= mCapacity) return;
    mData[mLength++] = c;
    mData[mLength] = 0;
  }
  // Hexadecimal with at least `minDigits` digits.
  void AddHex(std::uintptr_t value, int minDigits, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[2 * sizeof value];
    int count = 0;
    do {
      reversed[count++] = digits[value & 0xF];
      value >>= 4;
    } while (value != 0 && count < static_cast<int>(sizeof reversed));
    while (count < minDigits && count < static_cast<int>(sizeof reversed)) reversed[count++] = '0';
    while (count > 0) AddChar(reversed[--count]);
  }
  // As printf's %p: 0x and lower-case digits, "(nil)" for null.
  void AddPointer(const void* pointer) {
    if (!pointer) {
      Add("(nil)");
      return;
    }
    Add("0x");
    AddHex(reinterpret_cast<std::uintptr_t>(pointer), 1, false);
  }
  const char* Text() const { return mData; }
  std::size_t Length() const { return mLength; }

 private:
  char* mData;
  std::size_t mCapacity;
  std::size_t mLength = 0;
};

void OnFatalSignal(const PlatformCrashInfo& info) { TopLevelExceptionFilter(info); }

// The log's descriptor for the handler's writes, -1 when there is no log.
int CrashLogFd() {
  if (gOwnLogFd < 0 && LogCrashPath()[0]) gOwnLogFd = platformRawOpenForAppend(LogCrashPath(), false);
  return gOwnLogFd;
}

// Adds one "CrashLog" line to `entry` (the first line the handler writes
// has a blank line before it), and shows it on the console when the log
// echoes or when there is no log (`fd` -1).
void AddCrashLine(FixedText& entry, int fd, const char* text) {
  if (!gSeparatorWritten && entry.Length() == 0) entry.Add("\r\n");
  entry.Add("CrashLog: ");
  entry.Add(text);
  entry.Add("\r\n");
  if (fd < 0 || LogCrashEcho()) {
    FixedText echo(gOutput, sizeof gOutput);
    echo.Add(gProductName);
    echo.Add(" LOG> CrashLog: ");
    echo.Add(text);
    echo.Add("\n");
    platformRawWriteAll(fd < 0 ? 2 : 1, echo.Text(), echo.Length());
  }
}

// Writes the lines of `entry` to the log in one append, as every run that
// shares the log appends, but for the lock: tried once, never waited for
// (its holder may be a stopped process, or a thread of this one that the
// crash stopped in its cut).
void WriteCrashEntry(int fd, const FixedText& entry) {
  if (fd < 0 || entry.Length() == 0) return;
  AppendToSharedLog(&gOwnLogFd, LogCrashPath(), entry.Text(), entry.Length(), 0);
  gSeparatorWritten = true;
}

struct ReportTarget {
  FixedText* entry;
  int fd;
};

void TraceLineToReport(const char* text, void* context) {
  const ReportTarget* target = static_cast<const ReportTarget*>(context);
  AddCrashLine(*target->entry, target->fd, text);
}

}  // namespace

void InstallCrashHandler() {
  if (gInstalled.exchange(true)) {
    PrepareThreadForCrashHandling();
    return;
  }
  try {
    const TString name = GetProductName();
    const char* narrow = name.ToNarrow(3);
    std::strncpy(gProductName, narrow, sizeof gProductName - 1);
    gProductName[sizeof gProductName - 1] = 0;
  } catch (...) {
  }
  InitSymbols();
  platformInstallCrashSignals(&OnFatalSignal);
}

void PrepareThreadForCrashHandling() { platformPrepareThreadAltStack(); }

int TopLevelExceptionFilter(const TCrashException& exception) {
  HandleCrash(exception);
  return 1;
}

void HandleCrash(const TCrashException& exception) {
  if (!gSymbolsReady.load()) InitSymbols();
  const int fd = CrashLogFd();
  FixedText report(gReport, sizeof gReport);
  FixedText line(gTraceLine, sizeof gTraceLine);
  line.Add("Handling Exception! Code : ");
  line.AddHex(static_cast<std::uintptr_t>(exception.signal), 1, true);
  AddCrashLine(report, fd, line.Text());
  const std::int32_t count = WalkStack(exception, gFrames, kMaxFrames + 1, 0, 0);
  ReportTarget target{&report, fd};
  FormatStackTrace(gFrames, count, &TraceLineToReport, &target);
  WriteCrashEntry(fd, report);
}

void InitSymbols() {
  platformPreloadBacktrace();
  // A first lookup outside any handler, so that the loader has everything
  // it needs for dladdr at hand.
  std::uintptr_t displacement = 0;
  platformSymbolize(reinterpret_cast<void*>(&InitSymbols), false, gSymbol, sizeof gSymbol, &displacement,
                    &gDemangler);
  gSymbolsReady.store(true);
}

std::int32_t WalkStack(const TCrashException& exception, void** frames, std::int32_t capacity,
                       std::int32_t maxFrames, std::int32_t framesToSkip) {
  if (!frames || capacity <= 0) return 0;
  const int raw = platformBacktrace(gRawFrames, kMaxFrames);
  // The walk starts inside the handler; the interrupted frame is where the
  // thread was stopped.  When the unwinder did not come through the signal
  // frame, the interrupted address comes first, then whatever it found.
  int start = 0;
  bool found = false;
  if (exception.programCounter) {
    for (int i = 0; i < raw; ++i) {
      if (gRawFrames[i] == exception.programCounter) {
        start = i;
        found = true;
        break;
      }
    }
  }
  std::int32_t count = 0;
  std::int32_t number = 0;
  auto append = [&](void* address) {
    if (count >= capacity || (maxFrames > 0 && count >= maxFrames)) return;
    if (number++ < framesToSkip) return;
    frames[count++] = address;
  };
  if (!found && exception.programCounter) append(exception.programCounter);
  for (int i = start; i < raw; ++i) {
    if (!gRawFrames[i]) break;
    append(gRawFrames[i]);
  }
  return count;
}

void FormatStackTrace(void* const* frames, std::int32_t count, void (*line)(const char* text, void* context),
                      void* context) {
  if (!frames || !line) return;
  for (std::int32_t i = 0; i < count; ++i) {
    std::uintptr_t displacement = 0;
    platformSymbolize(frames[i], i > 0, gSymbol, sizeof gSymbol, &displacement, &gDemangler);
    FixedText text(gTraceLine, sizeof gTraceLine);
    text.AddPointer(frames[i]);
    text.Add(": ");
    text.Add(gSymbol);
    text.Add(" +");
    text.AddHex(displacement, 5, true);
    line(text.Text(), context);
  }
}

void WriteCrashLogLine(const char* text) {
  const int fd = CrashLogFd();
  FixedText entry(gReport, sizeof gReport);
  AddCrashLine(entry, fd, text);
  WriteCrashEntry(fd, entry);
}

void LogUnhandledException(std::exception_ptr exception) {
  const char* what = "unknown exception";
  try {
    if (exception) std::rethrow_exception(exception);
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  if (TLog* log = TLog::Instance()) {
    log->Write("CrashLog", "Unhandled exception: %s", what);
  } else {
    platformWriteText(2, "Unhandled exception: ");
    platformWriteText(2, what);
    platformWriteText(2, "\n");
  }
}
