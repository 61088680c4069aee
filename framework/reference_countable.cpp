#include "framework/reference_countable.h"

#include "framework/exceptions.h"
#include "framework/framework_hooks.h"
#include "framework/memory.h"
#include "framework/tstring.h"

namespace {
constexpr std::int32_t kMainLogicalThread = 3;
}

void* TReferenceCountable::operator new(std::size_t size) {
  return TMemory::Allocate("TReferenceCountable", size);
}

void TReferenceCountable::operator delete(void* block) noexcept { TMemory::Delete(block); }

void TReferenceCountable::Release() noexcept {
  std::int32_t expected = mCount.load(std::memory_order_acquire);
  while (!mCount.compare_exchange_weak(expected, -1, std::memory_order_acq_rel)) {
  }
  if (!IsDeletable()) return;

  const TFrameworkHooks& hooks = FrameworkHooks();
  if (IsDeletedOnMainThread() && FrameworkIsMainRunning() && FrameworkThreadManagerExists() &&
      FrameworkLogicalThreadId() != kMainLogicalThread && hooks.postCommand) {
    // Hand the deletion to the main thread; without command memory the
    // object is deleted here instead (a null command is never posted).
    if (TCommand* command = new (std::nothrow) TDeleteCommand<TReferenceCountable>(this)) {
      hooks.postCommand(kMainLogicalThread, command);
      return;
    }
  }
  delete this;
}

void* TCommand::AllocateMemory(std::size_t size) noexcept {
  try {
    if (auto fn = FrameworkHooks().allocateCommandMemory) return fn(size);
    return TMemory::Allocate("#CommandPoolAllocator", size);
  } catch (...) {
    return nullptr;  // no memory: callers skip the command
  }
}

void TCommand::FreeMemory(void* block) noexcept {
  if (!block) return;
  if (auto fn = FrameworkHooks().freeCommandMemory) {
    fn(block);
  } else {
    TMemory::Free(block);
  }
}

void* TCommand::operator new(std::size_t size) {
  if (void* block = AllocateMemory(size)) return block;
  throw TOutOfMemoryException();
}

void* TCommand::operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateMemory(size);
}

void TCommand::operator delete(void* block) noexcept { FreeMemory(block); }

void TCommand::operator delete(void* block, const std::nothrow_t&) noexcept { FreeMemory(block); }

const char16_t TMemoryLowMemoryWarningCommand::kText[] =
    u"Memory is getting low! Please free up some memory, save the current document under a new "
    u"name and !restart! $MProductString.\n\nThis message is only shown once...";

void TMemoryLowMemoryWarningCommand::Execute() {
  TString message = TString::ExpandTemplates(TString(kText));
  if (auto report = FrameworkHooks().reportMessage) report(message, 1);
}
