// Reference-counted objects, the two-word holder TPtr<T>, and the commands
// posted between logical threads.
//
// The last release of a TReferenceCountable asks the object whether it may
// be deleted at all and whether it must be deleted on the main logical
// thread (id 3).  When the release happens elsewhere while the thread
// framework runs, the deletion is wrapped in a TDeleteCommand and posted to
// thread 3, which runs it when the queued commands are dispatched.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

class TReferenceCountable {
 public:
  TReferenceCountable() noexcept = default;
  // A copy is a new object: it starts uncounted.
  TReferenceCountable(const TReferenceCountable&) noexcept {}
  TReferenceCountable& operator=(const TReferenceCountable&) noexcept { return *this; }
  virtual ~TReferenceCountable() = default;

  // Whether the last release must delete the object on the main thread.
  virtual bool IsDeletedOnMainThread() const { return true; }
  // Whether a release may delete the object at all.
  virtual bool IsDeletable() const { return true; }

  static void* operator new(std::size_t size);
  static void operator delete(void* block) noexcept;

  // Count + 1 (atomic).
  void AddReference() noexcept { mCount.fetch_add(1, std::memory_order_relaxed); }
  // Count - 1 (atomic); the last holder's drop hands the object to Release.
  void ReleaseReference() noexcept {
    if (mCount.fetch_sub(1, std::memory_order_acq_rel) == 1) Release();
  }
  // Called when the count has just dropped to 0: sets it to -1, then deletes
  // the object in place, posts its deletion to the main thread, or keeps it
  // (see the class comment).
  void Release() noexcept;

  std::int32_t ReferenceCount() const noexcept { return mCount.load(std::memory_order_acquire); }

 private:
  std::atomic<std::int32_t> mCount{0};
};

// Two-word holder: the object pointer used for access and the counted
// pointer (the same object) whose count is kept.
template <class T>
class TPtr {
 public:
  TPtr() noexcept = default;
  TPtr(T* object) noexcept : mObject(object), mCounted(object) {  // NOLINT: implicit by design
    if (mCounted) mCounted->AddReference();
  }
  TPtr(const TPtr& other) noexcept : mObject(other.mObject), mCounted(other.mCounted) {
    if (mCounted) mCounted->AddReference();
  }
  TPtr(TPtr&& other) noexcept : mObject(other.mObject), mCounted(other.mCounted) {
    other.mObject = nullptr;
    other.mCounted = nullptr;
  }
  ~TPtr() { Release(); }

  TPtr& operator=(const TPtr& other) noexcept {
    if (mObject == other.mObject) return *this;
    if (other.mCounted) other.mCounted->AddReference();
    TReferenceCountable* old = mCounted;
    mObject = other.mObject;
    mCounted = other.mCounted;
    if (old) old->ReleaseReference();
    return *this;
  }
  TPtr& operator=(TPtr&& other) noexcept {
    if (mObject == other.mObject) return *this;
    TReferenceCountable* old = mCounted;
    mObject = other.mObject;
    mCounted = other.mCounted;
    other.mObject = nullptr;
    other.mCounted = nullptr;
    if (old) old->ReleaseReference();
    return *this;
  }

  // Holds `object` instead (nothing when it already holds it).
  void Reset(T* object) noexcept {
    if (mObject == object) return;
    if (object) object->AddReference();
    TReferenceCountable* old = mCounted;
    mObject = object;
    mCounted = object;
    if (old) old->ReleaseReference();
  }
  // Releases the held object; both words null.
  void Reset() noexcept {
    TReferenceCountable* old = mCounted;
    mObject = nullptr;
    mCounted = nullptr;
    if (old) old->ReleaseReference();
  }
  // Gives up this holder's reference.
  void Release() noexcept {
    TReferenceCountable* old = mCounted;
    mObject = nullptr;
    mCounted = nullptr;
    if (old) old->ReleaseReference();
  }

  T* Get() const noexcept { return mObject; }
  T* operator->() const noexcept { return mObject; }
  T& operator*() const noexcept { return *mObject; }
  explicit operator bool() const noexcept { return mObject != nullptr; }

 private:
  T* mObject = nullptr;
  TReferenceCountable* mCounted = nullptr;
};

// A command posted between logical threads.  Commands live in command
// memory (the command pool once it exists) and go back there when deleted.
// The queues chain commands through mLink and hold one reference per queued
// command.
class TCommand : public TReferenceCountable {
 public:
  TCommand() noexcept = default;
  virtual void Execute() = 0;

  // Command memory: the pool's allocator when installed, else TMemory.
  // AllocateMemory returns null when no memory is to be had.
  static void* AllocateMemory(std::size_t size) noexcept;
  static void FreeMemory(void* block) noexcept;

  // `new TX(...)` throws TOutOfMemoryException without memory;
  // `new (std::nothrow) TX(...)` gives null instead.
  static void* operator new(std::size_t size);
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void* block) noexcept;
  static void operator delete(void* block, const std::nothrow_t&) noexcept;
  static void operator delete(void*, void*) noexcept {}

  TCommand* mLink = nullptr;
  std::int32_t mReserved0 = 0;
  std::int32_t mReserved1 = 0;
};

// Deletes one reference-counted object when executed (on the main thread).
template <class T = TReferenceCountable>
class TDeleteCommand : public TCommand {
 public:
  explicit TDeleteCommand(T* object) noexcept : mObject(object) {}
  bool IsDeletedOnMainThread() const override { return false; }
  bool IsDeletable() const override { return true; }
  void Execute() override {
    T* object = mObject;
    mObject = nullptr;
    delete object;
  }
  T* Object() const noexcept { return mObject; }

 private:
  T* mObject;
};

// Shows the one-time low-memory warning (posted by the emergency pool).
class TMemoryLowMemoryWarningCommand : public TCommand {
 public:
  static const char16_t kText[];
  bool IsDeletedOnMainThread() const override { return false; }
  bool IsDeletable() const override { return true; }
  void Execute() override;
};
