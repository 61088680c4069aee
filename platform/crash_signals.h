// The operating-system side of the crash handler: the fatal signals, an
// alternate signal stack per thread, the stack walk and symbol lookup.
//
// Everything a handler calls here is safe inside a signal handler: nothing
// allocates, and nothing takes a lock that the faulting thread could hold
// (the dynamic loader's lock, which dladdr takes, is recursive).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/demangle.h"

// What the handler learns about a fatal signal.
struct PlatformCrashInfo {
  int signal;            // SIGSEGV, SIGBUS, SIGILL, SIGFPE or SIGABRT
  int code;              // the signal's si_code
  void* faultAddress;    // si_addr (the faulting address for memory faults)
  void* programCounter;  // where the thread was interrupted; null when unknown
};

// Called once, on the first thread that takes a fatal signal, after the files
// named by platformRemoveFileOnAbnormalEnd (abnormal_end.h) are removed; the
// process ends with exit code 1 when it returns.  Another thread that faults
// meanwhile waits for that end; a fault inside the handler ends the process
// at once with exit code 1.
using PlatformCrashHandler = void (*)(const PlatformCrashInfo& info);

// Installs `handler` for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT (on the
// alternate stack), gives the calling thread its alternate stack and loads
// the stack walker so that its first use inside a handler does not have to.
// False when a signal could not be set.
bool platformInstallCrashSignals(PlatformCrashHandler handler);
// Puts the default actions back (tests).
void platformRemoveCrashSignals();
// Gives the calling thread an alternate signal stack (once per thread; it is
// released when the thread ends), so that a stack overflow can still be
// handled.  False when none could be made.
bool platformPrepareThreadAltStack();
// Whether the calling thread has an alternate signal stack.
bool platformThreadHasAltStack();

// Loads the unwinder used by platformBacktrace (start-up).
void platformPreloadBacktrace();
// Return addresses of the calling thread's stack, innermost first; the count.
int platformBacktrace(void** frames, int maxFrames);

// Symbol of `address`: the demangled name (the mangled one when it cannot be
// demangled) in `name` and the distance from the symbol's start.  With
// `returnAddress` the lookup uses the call instruction before it.  False,
// with `name` "???" and displacement 0, when no symbol covers the address.
bool platformSymbolize(void* address, bool returnAddress, char* name, std::size_t nameSize,
                       std::uintptr_t* displacement, PlatformDemangler* work);

// Ends the process at once with `code`, running nothing.
[[noreturn]] void platformExitNow(int code);

// Raw text to a descriptor (no allocation; retries short writes).
void platformWriteText(int fd, const char* text);
