// Threads, processes and the processor: the operating-system calls behind
// the framework's thread manager and system information, named for what
// they do.
#pragma once

#include <cstddef>
#include <cstdint>

// A started thread, kept until it is joined or let go.
using PlatformThreadHandle = std::uintptr_t;

// Starts `entry(argument)` on a new joinable thread with the default stack
// size.  False on failure, with the system's error code in *errorCode.
bool platformStartThread(void (*entry)(void*), void* argument, PlatformThreadHandle* handle, int* errorCode);
// Waits for the thread to end and releases the handle.
void platformJoinThread(PlatformThreadHandle handle);
// Releases the handle without waiting; the thread runs on by itself.
void platformDetachThread(PlatformThreadHandle handle);

// Scheduling niceness of the calling thread (-20 highest .. 19 lowest).
// Setting it is best effort: raising the priority needs privileges; false
// when the system refused.
bool platformSetCurrentThreadNiceness(int niceness);
int platformCurrentThreadNiceness();

// The system's text for an error code ("Unknown error" when it has none),
// zero-terminated in `text` of `capacity` bytes.
void platformErrorText(int errorCode, char* text, std::size_t capacity);
// The error code of the last failed system call of this thread.
int platformLastErrorCode();

// One cpuid leaf (sub-leaf 0) into regs = {eax, ebx, ecx, edx}; false (all
// zero) when the processor cannot be asked.
bool platformCpuid(std::uint32_t leaf, std::uint32_t regs[4]);
// Processors this process may run on (its affinity mask); 0 when unknown.
int platformAffinityProcessorCount();
// Processors online; 0 when unknown.
int platformOnlineProcessorCount();

// The kernel's name, release and machine (architecture), zero-terminated,
// each cut to `capacity` bytes; false when the system gives none.
bool platformSystemName(char* system, char* release, char* machine, std::size_t capacity);

// The process id.
std::uint32_t platformProcessId();
// Whether a process of this id exists (also one of another user).
bool platformProcessExists(std::uint32_t pid);
// Calls `visit(context, pid)` for every process of the system.
void platformEachProcess(void (*visit)(void* context, std::uint32_t pid), void* context);
// The file name (without folder) of a process's program, zero-terminated;
// false when it cannot be read.  Where the program path is not readable
// (another user's process) the system's short process name is given
// instead, and *shortName is set.
bool platformProcessProgramName(std::uint32_t pid, char* name, std::size_t capacity, bool* shortName);
// Length of the system's short process names (names beyond it are cut).
constexpr std::size_t kPlatformShortProcessNameLength = 15;
