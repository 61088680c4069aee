// bench-libs: framework_runtime
// Command memory: the pool's allocator against the framework's general
// allocator, for the sizes of the framework's two commands, with a few
// chunks kept alive so that scans meet used and freed chunks; and posting
// plus dispatching through one command queue.
#include <benchmark/benchmark.h>

#include <vector>

#include "framework/command_pool.h"
#include "framework/memory.h"
#include "framework/thread_communicator.h"
#include "framework/tstring.h"

namespace {

constexpr int kLive = 16;

void BM_PoolAllocateFree(benchmark::State& state) {
  TCommandPoolAllocator pool(4096);
  std::vector<void*> live(kLive, nullptr);
  int i = 0;
  for (auto _ : state) {
    void*& slot = live[static_cast<std::size_t>(i++ % kLive)];
    FreeCommandChunk(slot);
    slot = pool.Allocate((i & 1) ? 32 : 40);
    benchmark::DoNotOptimize(slot);
  }
  for (void* p : live) FreeCommandChunk(p);
}
BENCHMARK(BM_PoolAllocateFree);

void BM_FrameworkAllocateFree(benchmark::State& state) {
  std::vector<void*> live(kLive, nullptr);
  int i = 0;
  for (auto _ : state) {
    void*& slot = live[static_cast<std::size_t>(i++ % kLive)];
    TMemory::Free(slot);
    slot = TMemory::Allocate("#CommandPoolAllocator", (i & 1) ? 32 : 40);
    benchmark::DoNotOptimize(slot);
  }
  for (void* p : live) TMemory::Free(p);
}
BENCHMARK(BM_FrameworkAllocateFree);

class TEmptyCommand : public TCommand {
 public:
  bool IsDeletedOnMainThread() const override { return false; }
  void Execute() override {}
};

void BM_QueuePushDispatch(benchmark::State& state) {
  TCommandQueue queue;
  TEmptyCommand command;
  command.AddReference();  // the benchmark's own: the queue never deletes it
  for (auto _ : state) {
    for (int k = 0; k < 8; ++k) queue.Push(&command);
    queue.Dispatch();
  }
  state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_QueuePushDispatch);

}  // namespace
