// Thread contexts and singletons.
//
// A singleton's instance does not live in a plain global: each singleton
// class draws one slot index while the program's statics are initialised,
// and its instance pointer is stored in that slot of a TThreadContext (256
// pointer-sized slots).  A thread sees the context in its thread-local slot,
// or the default context (the first one created) when it has none.  The
// context table is guarded by a reader/writer lock.
#pragma once

#include <cstdint>

#include "platform/system.h"

// One thread-local storage slot holding a pointer per thread.
class TThreadLocalSlot {
 public:
  // Throws TReadableException "Failed to allocate a thread local storage
  // slot!" when the system has none left.
  TThreadLocalSlot();
  ~TThreadLocalSlot();
  TThreadLocalSlot(const TThreadLocalSlot&) = delete;
  TThreadLocalSlot& operator=(const TThreadLocalSlot&) = delete;

  void* GetValue() const;
  void SetValue(void* value);

 private:
  PlatformTlsKey mKey = 0;
  bool mValid = false;
};

class TThreadContext {
 public:
  static constexpr std::int32_t kSlotCount = 256;

  explicit TThreadContext(std::int32_t index) : mIndex(index) {}
  std::int32_t Index() const { return mIndex; }

  // Draws the next free slot index (static initialisation).  Throws
  // std::out_of_range once all 256 slots are drawn.
  static std::int32_t AllocateSlot();
  // Makes a new context, runs every registered per-context factory while it
  // is current, and returns its index.
  static std::int32_t Create();
  // The calling thread's context, or the default one.
  static TThreadContext* Current();
  // Index of the calling thread's own context; -1 when it has none.
  static std::int32_t CurrentIndex();
  // A slot of the calling thread's context (null / ignored for an index
  // outside 0-255).
  static void* GetValue(std::int32_t slot);
  static void SetValue(std::int32_t slot, void* value);
  // Registers a per-context factory: contexts made later call it.
  static void RegisterFactory(std::int32_t slot, void* (*factory)());
  // Empties the factory list (last step of the shutdown).
  static void ClearRegistrations();
  // Number of contexts made so far.
  static std::int32_t Count();

  void* Slot(std::int32_t slot) const { return slot >= 0 && slot < kSlotCount ? mSlots[slot] : nullptr; }
  void SetSlot(std::int32_t slot, void* value) {
    if (slot >= 0 && slot < kSlotCount) mSlots[slot] = value;
  }

 private:
  std::int32_t mIndex;
  void* mSlots[kSlotCount] = {};
};

// Scoped: makes the context of `index` (-1: none) the calling thread's own
// and restores the previous one at the end of the scope.  An index that
// names no context throws std::out_of_range ("invalid vector<T> subscript").
class TThreadContextSwitch {
 public:
  explicit TThreadContextSwitch(std::int32_t index);
  ~TThreadContextSwitch();
  TThreadContextSwitch(const TThreadContextSwitch&) = delete;
  TThreadContextSwitch& operator=(const TThreadContextSwitch&) = delete;

 private:
  static void SwitchTo(std::int32_t index);
  std::int32_t mPrevious;
};

// Base of the framework's singletons.  The instance of T lives in T's slot
// of the current context.
template <class T>
class TSingleton {
 public:
  using Factory = T* (*)();
  using Destroyer = void (*)(T*);

  TSingleton() { TThreadContext::SetValue(Slot(), static_cast<TSingleton*>(this)); }
  virtual ~TSingleton() = default;
  virtual void OnCreated() {}
  virtual void OnDestroying() {}

  // The instance in the current context, or null.
  static T* Instance() { return static_cast<T*>(static_cast<TSingleton*>(TThreadContext::GetValue(Slot()))); }
  // T's slot index, drawn once (during static initialisation, see below;
  // asking earlier, from another static initialiser, draws it then).
  static std::int32_t Slot() {
    static const std::int32_t slot = TThreadContext::AllocateSlot();
    return slot;
  }

  static inline Factory sFactory = nullptr;
  static inline Destroyer sDestroyer = nullptr;
  // Whether every context gets its own instance (so for every framework
  // singleton).
  static inline bool sPerContext = true;

  // The factory as the context table calls it.
  static void* CallFactory() {
    return sFactory ? static_cast<void*>(static_cast<TSingleton*>(sFactory())) : nullptr;
  }

 private:
  static inline const std::int32_t sSlotAtStart = Slot();
};

// The standard destroyer.
template <class T>
void DeleteSingleton(T* instance) {
  delete instance;
}

// Creates T's instance with the factory (one instance per T), registers the
// factory for later contexts and calls OnCreated.  A TReadableException from
// the factory leaves the slot null and passes on.
template <class T>
T* CreateSingleton(T* (*factory)(), void (*destroyer)(T*) = &DeleteSingleton<T>);

// Calls OnDestroying and the destroyer, then empties T's slot.
template <class T>
void DestroySingleton();

// --- templates ---------------------------------------------------------------

class TReadableException;
void ThreadContextRethrowIfReadable(std::int32_t slot);

template <class T>
T* CreateSingleton(T* (*factory)(), void (*destroyer)(T*)) {
  TSingleton<T>::sFactory = factory;
  TSingleton<T>::sDestroyer = destroyer;
  const std::int32_t slot = TSingleton<T>::Slot();
  T* instance = nullptr;
  try {
    instance = factory();
    TThreadContext::SetValue(slot, static_cast<TSingleton<T>*>(instance));
    if (TSingleton<T>::sPerContext) TThreadContext::RegisterFactory(slot, &TSingleton<T>::CallFactory);
  } catch (...) {
    ThreadContextRethrowIfReadable(slot);
    throw;
  }
  instance->OnCreated();
  return instance;
}

template <class T>
void DestroySingleton() {
  T* instance = TSingleton<T>::Instance();
  if (!instance) return;
  instance->OnDestroying();
  if (TSingleton<T>::sDestroyer) {
    TSingleton<T>::sDestroyer(instance);
  } else {
    DeleteSingleton<T>(instance);
  }
  TThreadContext::SetValue(TSingleton<T>::Slot(), nullptr);
}
