// A processor replayed from recorded cpuid register sets, installed as the
// core's query source for the life of the object.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <utility>

#include "primitives/core/test_hooks.h"

class RecordedCpu {
 public:
  using Regs = std::array<Prim32u, 4>;  // EAX, EBX, ECX, EDX

  // The reference vendor with the given highest standard leaf and no
  // extended leaves.
  explicit RecordedCpu(Prim32u maxLeaf = 7) { setVendor(maxLeaf, 0x756e6547, 0x49656e69, 0x6c65746e); }
  ~RecordedCpu() {
    primTestSetCpuQuerySource(nullptr);
    primTestResetCpuState();
  }
  RecordedCpu(const RecordedCpu&) = delete;
  RecordedCpu& operator=(const RecordedCpu&) = delete;

  // Leaf 0: EBX, EDX, ECX spell the vendor.
  void setVendor(Prim32u maxLeaf, Prim32u ebx, Prim32u edx, Prim32u ecx) {
    leaves_[{0, 0}] = {maxLeaf, ebx, ecx, edx};
  }
  void setOtherVendor(Prim32u maxLeaf) {
    setVendor(maxLeaf, 0x68747541, 0x69746e65, 0x444d4163);
  }  // AuthenticAMD
  void set(Prim32u leaf, Prim32u sub, Regs r) { leaves_[{leaf, sub}] = r; }
  void setLeaf1(Prim32u eax, Prim32u ecx, Prim32u edx) { set(1, 0, {eax, 0, ecx, edx}); }
  void setLeaf7(Prim32u ebx) { set(7, 0, {0, ebx, 0, 0}); }
  void setXcr0(std::uint64_t v) { xcr0_ = v; }
  void setCpuidSupported(bool on) { supported_ = on; }

  // Installs the recording (again, after changes: forgets cached results).
  void install() { primTestSetCpuQuerySource(&source_); }

  int cpuidCalls() const { return cpuidCalls_.load(); }
  int xgetbvCalls() const { return xgetbvCalls_.load(); }

 private:
  static int supported(void* c) { return static_cast<RecordedCpu*>(c)->supported_ ? 1 : 0; }
  static void cpuid(void* c, Prim32u regs[4], Prim32u leaf, Prim32u sub) {
    auto* self = static_cast<RecordedCpu*>(c);
    ++self->cpuidCalls_;
    auto it = self->leaves_.find({leaf, sub});
    const Regs r = it == self->leaves_.end() ? Regs{0, 0, 0, 0} : it->second;
    for (int i = 0; i < 4; ++i) regs[i] = r[i];
  }
  static std::uint64_t xgetbv(void* c, Prim32u) {
    auto* self = static_cast<RecordedCpu*>(c);
    ++self->xgetbvCalls_;
    return self->xcr0_;
  }

  std::map<std::pair<Prim32u, Prim32u>, Regs> leaves_;
  std::uint64_t xcr0_ = 0;
  bool supported_ = true;
  std::atomic<int> cpuidCalls_{0};
  std::atomic<int> xgetbvCalls_{0};
  PrimCpuQuerySource source_{supported, cpuid, xgetbv, this};
};
