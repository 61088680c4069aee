#include "framework/system_info.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "framework/framework_hooks.h"
#include "platform/file_system.h"
#include "platform/threads.h"

namespace {

// Written once by DetectProcessor before other threads exist.
std::uint32_t gFeatures = 0;
std::int32_t gProcessors = 1;

std::atomic<std::int32_t> gMainRunning{0};

bool HookIsMainRunning() { return IsMainRunning(); }

}  // namespace

std::uint32_t FeatureFlagsFromCpuid(std::uint32_t maxLeaf, std::uint32_t leaf1Edx,
                                    std::uint32_t maxExtendedLeaf, std::uint32_t ext1Edx) {
  std::uint32_t flags = 0;
  if (maxLeaf >= 1) {
    if (leaf1Edx & (1u << 23)) flags |= kProcessorFeatureMMX;
    if (leaf1Edx & (1u << 25)) flags |= kProcessorFeatureSSE;
    if (leaf1Edx & (1u << 26)) flags |= kProcessorFeatureSSE2;
  }
  if (maxExtendedLeaf >= 0x80000001u) {
    if (ext1Edx & (1u << 30)) flags |= kProcessorFeature3DNowExt;
    if (ext1Edx & (1u << 31)) flags |= kProcessorFeature3DNow;
  }
  return flags;
}

std::int32_t CountLogicalProcessors() {
  // The affinity mask respects containers and taskset; the online count is
  // the fall-back.
  int n = platformAffinityProcessorCount();
  if (n <= 0) n = platformOnlineProcessorCount();
  return n > 0 ? n : 1;
}

void DetectProcessor() {
  std::uint32_t leaf0[4], leaf1[4] = {}, ext0[4], ext1[4] = {};
  platformCpuid(0, leaf0);
  if (leaf0[0] >= 1) platformCpuid(1, leaf1);
  platformCpuid(0x80000000u, ext0);
  if (ext0[0] >= 0x80000001u) platformCpuid(0x80000001u, ext1);
  gFeatures = FeatureFlagsFromCpuid(leaf0[0], leaf1[3], ext0[0], ext1[3]);
  gProcessors = CountLogicalProcessors();
}

std::uint32_t GetProcessorFeatures() { return gFeatures; }

std::int32_t GetNumberOfProcessors() { return gProcessors > 0 ? gProcessors : 1; }

void GetOsVersion(std::int32_t* major, std::int32_t* minor, char16_t* servicePack) {
  char system[128], release[128], machine[128];
  std::int32_t parts[2] = {0, 0};
  if (platformSystemName(system, release, machine, sizeof release)) {
    const char* p = release;
    for (std::int32_t& part : parts) {
      std::int64_t value = 0;
      while (*p >= '0' && *p <= '9') {
        if (value < 100000) value = value * 10 + (*p - '0');
        ++p;
      }
      part = static_cast<std::int32_t>(value);
      if (*p != '.') break;
      ++p;
    }
  }
  if (major) *major = parts[0];
  if (minor) *minor = parts[1];
  if (servicePack) servicePack[0] = 0;
}

TString ComposeOsName(const TString& system, const TString& release, const TString& machine) {
  TString name = system;
  if (!release.IsEmpty()) {
    name.AppendChar(u' ');
    name.Append(release);
  }
  name.Trim();
  if (!machine.IsEmpty()) {
    name.AppendText(u" (");
    name.Append(machine);
    name.AppendChar(u')');
  }
  return name;
}

TString GetOsName() {
  char system[128], release[128], machine[128];
  if (!platformSystemName(system, release, machine, sizeof system)) return TString(u"Linux");
  return ComposeOsName(TString::FromNarrow(system, 0), TString::FromNarrow(release, 0),
                       TString::FromNarrow(machine, 0));
}

bool IsVistaOrLater() { return true; }

TString GetModuleFilePath() {
  char path[4096];
  if (!platformProgramPath(path, sizeof path)) return TString();
  return TString::FromNarrow(path, 0);
}

std::uint32_t GetCurrentProcessIdentifier() { return platformProcessId(); }

bool IsMainRunning() { return gMainRunning.load(std::memory_order_acquire) > 0; }

void EnterMainRunning() {
  gMainRunning.fetch_add(1, std::memory_order_acq_rel);
  FrameworkHooks().isMainRunning = &HookIsMainRunning;
}

void LeaveMainRunning() { gMainRunning.fetch_sub(1, std::memory_order_acq_rel); }
