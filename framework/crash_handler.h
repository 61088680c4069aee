// The crash handler: when a thread takes a fatal signal (a bad memory
// access, an illegal instruction, an arithmetic fault, an abort), it writes
// the signal's code and a symbolic stack trace of the faulting thread to the
// log under "CrashLog" and ends the process with exit code 1.  A file the
// program named for removal at an abnormal end (platform/abnormal_end.h),
// such as a movie being written, is removed before anything else.
//
// The whole path runs inside the signal handler, so it never allocates and
// takes no lock the faulting thread could hold: the lines are formatted
// into static buffers and written with write(2) straight to the log's
// descriptor (opened by path when the log has not written yet), the whole
// report in one append, so that nothing another thread or run logs
// meanwhile lands between its lines.  Symbols
// come from the dynamic symbol table (programs link with -rdynamic) and are
// demangled without allocation.
//
// C++ exceptions that reach main are not signals: RunGuardedMain
// (system_startup.h) catches them, logs them through
// LogUnhandledException, shuts the framework down and gives exit code 1.
#pragma once

#include <cstdint>
#include <exception>

#include "platform/crash_signals.h"

// The fatal signal as the handler sees it.
using TCrashException = PlatformCrashInfo;

// Installs the handler for the process: the fatal signals, the calling
// thread's alternate stack and the preloaded stack walker.  Idempotent.
void InstallCrashHandler();
// Gives the calling thread its alternate signal stack so that even its
// stack overflow is handled.  Every thread the program starts calls it at
// its start (the main thread gets one from InstallCrashHandler).
void PrepareThreadForCrashHandling();

// The handler's entry: runs HandleCrash and returns 1 (the exception is
// handled: the process ends with exit code 1).
int TopLevelExceptionFilter(const TCrashException& exception);
// Writes "Handling Exception! Code : <signal in hex>" and the stack trace
// to the log under "CrashLog".
void HandleCrash(const TCrashException& exception);

// Loads what the stack walk needs (done by InstallCrashHandler, so that the
// handler itself never loads anything).
void InitSymbols();
// The return addresses of the calling thread from the interrupted frame
// outward: frames before the one at `exception.programCounter` (the
// handler's own) are left out; then `framesToSkip` more; at most
// `maxFrames` when that is positive.  The count.
std::int32_t WalkStack(const TCrashException& exception, void** frames, std::int32_t capacity,
                       std::int32_t maxFrames, std::int32_t framesToSkip);
// One line per frame: "<address>: <symbol> +<displacement, 5 hex digits>",
// "???" and +00000 for a frame without a symbol.  `line` receives each
// zero-terminated line (at most 4095 characters).  The first frame is the
// interrupted one (no return address).
void FormatStackTrace(void* const* frames, std::int32_t count, void (*line)(const char* text, void* context),
                      void* context);

// Writes one "CrashLog" line without allocation or locks, through static
// buffers, in one append: one thread at a time (the handler's).
void WriteCrashLogLine(const char* text);

// Logs a C++ exception that reached main's guard under "CrashLog":
// "Unhandled exception: <what>".
void LogUnhandledException(std::exception_ptr exception);
