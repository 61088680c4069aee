#include "framework/thread_context.h"

#include <atomic>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "framework/exceptions.h"
#include "framework/read_write_lock.h"

namespace {

constinit std::atomic<std::int32_t> gNextSlot{0};

// The process's context table, built during static initialisation in this
// order: lock, thread-local slot, factory list, context list, first context.
struct TContextTable {
  TReadWriteLock lock;
  TThreadLocalSlot current;
  std::vector<std::pair<std::int32_t, void* (*)()>> factories;
  std::vector<std::unique_ptr<TThreadContext>> contexts;
  TThreadContext* defaultContext = nullptr;

  TContextTable() {
    contexts.push_back(std::make_unique<TThreadContext>(0));
    defaultContext = contexts.front().get();
  }
};

TContextTable& Table() {
  static TContextTable table;
  return table;
}

[[maybe_unused]] TContextTable& gTableAtStart = Table();

TThreadContext* ContextAt(TContextTable& table, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= table.contexts.size()) {
    throw std::out_of_range("invalid vector<T> subscript");
  }
  return table.contexts[static_cast<std::size_t>(index)].get();
}

}  // namespace

void ThreadContextRethrowIfReadable(std::int32_t slot) {
  try {
    throw;
  } catch (const TReadableException&) {
    TThreadContext::SetValue(slot, nullptr);
  } catch (...) {
  }
}

// --- TThreadLocalSlot ------------------------------------------------------------

TThreadLocalSlot::TThreadLocalSlot() {
  mValid = platformTlsAlloc(&mKey);
  if (!mValid) throw TReadableException(TString(u"Failed to allocate a thread local storage slot!"));
}

TThreadLocalSlot::~TThreadLocalSlot() {
  if (mValid) platformTlsFree(mKey);
}

void* TThreadLocalSlot::GetValue() const { return mValid ? platformTlsGet(mKey) : nullptr; }

void TThreadLocalSlot::SetValue(void* value) {
  if (mValid) platformTlsSet(mKey, value);
}

// --- TThreadContext --------------------------------------------------------------

std::int32_t TThreadContext::AllocateSlot() {
  std::int32_t slot = gNextSlot.fetch_add(1);
  if (slot >= kSlotCount) throw std::out_of_range("no thread context slot left");
  return slot;
}

std::int32_t TThreadContext::Create() {
  TContextTable& table = Table();
  TWriteLock hold(table.lock);
  const auto n = static_cast<std::int32_t>(table.contexts.size());
  table.contexts.push_back(std::make_unique<TThreadContext>(n));
  TThreadContext* context = table.contexts.back().get();
  if (!table.defaultContext) table.defaultContext = context;
  TThreadContextSwitch current(n);
  for (const auto& [slot, factory] : table.factories) context->SetSlot(slot, factory());
  return n;
}

TThreadContext* TThreadContext::Current() {
  TContextTable& table = Table();
  auto* own = static_cast<TThreadContext*>(table.current.GetValue());
  return own ? own : table.defaultContext;
}

std::int32_t TThreadContext::CurrentIndex() {
  auto* own = static_cast<TThreadContext*>(Table().current.GetValue());
  return own ? own->mIndex : -1;
}

void* TThreadContext::GetValue(std::int32_t slot) { return Current()->Slot(slot); }

void TThreadContext::SetValue(std::int32_t slot, void* value) { Current()->SetSlot(slot, value); }

void TThreadContext::RegisterFactory(std::int32_t slot, void* (*factory)()) {
  TContextTable& table = Table();
  TWriteLock hold(table.lock);
  table.factories.emplace_back(slot, factory);
}

void TThreadContext::ClearRegistrations() {
  TContextTable& table = Table();
  TWriteLock hold(table.lock);
  table.factories.clear();
}

std::int32_t TThreadContext::Count() {
  TContextTable& table = Table();
  TReadLock hold(table.lock);
  return static_cast<std::int32_t>(table.contexts.size());
}

// --- TThreadContextSwitch --------------------------------------------------------

TThreadContextSwitch::TThreadContextSwitch(std::int32_t index) : mPrevious(TThreadContext::CurrentIndex()) {
  SwitchTo(index);
}

TThreadContextSwitch::~TThreadContextSwitch() {
  try {
    SwitchTo(mPrevious);
  } catch (...) {
  }
}

void TThreadContextSwitch::SwitchTo(std::int32_t index) {
  const std::int32_t previous = TThreadContext::CurrentIndex();
  if (index == previous) return;
  TContextTable& table = Table();
  if (index == -1) {
    table.current.SetValue(nullptr);
    return;
  }
  TThreadContext* context;
  {
    TReadLock hold(table.lock);
    context = ContextAt(table, index);
  }
  table.current.SetValue(context);
}
