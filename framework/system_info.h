// Queries about the machine and the process: processor features and
// logical processor count (found once by DetectProcessor at start-up), the
// operating system's version and name, the program's file, the process id,
// and whether main is running.
#pragma once

#include <cstdint>

#include "framework/tstring.h"

// Processor feature flags.
enum : std::uint32_t {
  kProcessorFeatureMMX = 1,
  kProcessorFeature3DNow = 2,
  kProcessorFeature3DNowExt = 4,
  kProcessorFeatureSSE = 8,
  kProcessorFeatureSSE2 = 16,
};

// Finds the feature flags and the logical processor count (start-up, main
// thread, before other threads exist).
void DetectProcessor();
// The flags found by DetectProcessor (0 before it ran).
std::uint32_t GetProcessorFeatures();
// The logical processor count found by DetectProcessor; at least 1 (1
// before it ran).
std::int32_t GetNumberOfProcessors();

// Feature flags from the processor's identification words: leaf 1 EDX and
// leaf 0x80000001 EDX, each taken only when the leaf exists.
std::uint32_t FeatureFlagsFromCpuid(std::uint32_t maxLeaf, std::uint32_t leaf1Edx,
                                    std::uint32_t maxExtendedLeaf, std::uint32_t ext1Edx);
// The logical processor count: the processors this process may run on
// (affinity mask), else the processors online, else 1.
std::int32_t CountLogicalProcessors();

// The kernel's version: major and minor from its release text; the
// service-pack text (128 units, may be null) is empty on this system.
void GetOsVersion(std::int32_t* major, std::int32_t* minor, char16_t* servicePack);
// The operating system's name, release and architecture, e.g.
// "Linux 6.1.0-18-amd64 (x86_64)".
TString GetOsName();
// The name from its parts: system name, " ", release, " (", machine, ")";
// empty parts are left out.
TString ComposeOsName(const TString& system, const TString& release, const TString& machine);
// Whether the shell and scheduling services of the newer systems are there:
// a constant on this system (true), never derived from the kernel version.
bool IsVistaOrLater();

// The path of the program file; empty when it cannot be found.
TString GetModuleFilePath();
// The process id.
std::uint32_t GetCurrentProcessIdentifier();

// Whether main runs: its nesting counter is above 0.  Until main first
// enters, the framework treats main as running.
bool IsMainRunning();
// main's counter: EnterMainRunning at main's start (the first call also
// makes the framework consult the counter), LeaveMainRunning at its end.
void EnterMainRunning();
void LeaveMainRunning();
