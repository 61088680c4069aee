// Owning holders of the decoder's records.
//
// Every structure of the decoder owns its parts through these few holders, so
// a record can be emptied, re-sized and destroyed in one step and a failed
// decode leaves nothing behind when the state is closed.  Allocation never
// throws std::bad_alloc out of the decoder: a sized reset whose memory cannot
// be had throws the decoder's own Except_faultMalloc diagnostic, so no caller
// ever sees a null array together with a nonzero count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "decoder/diagnostics.h"

namespace Codec {

[[noreturn]] void ThrowFaultMalloc();

// Makes one object with `new (nothrow)`; throws Except_faultMalloc when it fails.
template <typename T, typename... Args>
T* NewOrThrow(Args&&... args) {
  T* p = new (std::nothrow) T(std::forward<Args>(args)...);
  if (!p) ThrowFaultMalloc();
  return p;
}

// Owns one object.
template <typename T>
class OwnedPtr {
 public:
  OwnedPtr() = default;
  explicit OwnedPtr(T* p) : p_(p) {}
  ~OwnedPtr() { Reset(); }
  OwnedPtr(const OwnedPtr&) = delete;
  OwnedPtr& operator=(const OwnedPtr&) = delete;

  void Reset(T* p = nullptr) {
    T* old = p_;
    p_ = p;
    delete old;
  }
  // Destroys the current object and owns a freshly constructed one.
  template <typename... Args>
  T& Make(Args&&... args) {
    Reset();
    p_ = NewOrThrow<T>(std::forward<Args>(args)...);
    return *p_;
  }
  T* Release() { return std::exchange(p_, nullptr); }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// Owns n value-initialised elements and knows n.
template <typename T>
class OwnedArray {
 public:
  OwnedArray() = default;
  ~OwnedArray() { Reset(); }
  OwnedArray(const OwnedArray&) = delete;
  OwnedArray& operator=(const OwnedArray&) = delete;

  // Releases the old elements; n > 0 makes n fresh ones (value-initialised:
  // zero for plain values, constructed for records).
  void Reset(std::size_t n = 0) {
    T* old = p_;
    p_ = nullptr;
    count_ = 0;
    delete[] old;
    if (n == 0) return;
    if (n > kMaxElements) ThrowFaultMalloc();
    p_ = new (std::nothrow) T[n]();
    if (!p_) ThrowFaultMalloc();
    count_ = n;
  }

  std::size_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  T* Data() const { return p_; }
  T& operator[](std::size_t i) const { return p_[i]; }
  T* begin() const { return p_; }
  T* end() const { return p_ + count_; }

 private:
  static constexpr std::size_t kMaxElements = (std::size_t{1} << 31) / (sizeof(T) ? sizeof(T) : 1);
  T* p_ = nullptr;
  std::size_t count_ = 0;
};

// Owns n bytes, not initialised.
class OwnedBuffer {
 public:
  OwnedBuffer() = default;
  ~OwnedBuffer() { Reset(); }
  OwnedBuffer(const OwnedBuffer&) = delete;
  OwnedBuffer& operator=(const OwnedBuffer&) = delete;

  void Reset(std::size_t n = 0);
  std::uint8_t* Data() const { return p_; }
  std::size_t Size() const { return size_; }

 private:
  std::uint8_t* p_ = nullptr;
  std::size_t size_ = 0;
};

// Refers to an object that it owns only while its flag is set.
template <typename T>
class OwnedRef {
 public:
  OwnedRef() = default;
  ~OwnedRef() { ReleaseOwned(); }
  OwnedRef(const OwnedRef&) = delete;
  OwnedRef& operator=(const OwnedRef&) = delete;

  // Refers to an object owned elsewhere (a previously owned one is destroyed).
  void SetShared(T* p) {
    // Sharing the object it owns would leave a dangling pointer: keep it.
    if (owned_ && p == p_) return;
    ReleaseOwned();
    p_ = p;
  }
  // Destroys a previously owned object and owns a freshly constructed one.
  template <typename... Args>
  T& MakeOwn(Args&&... args) {
    ReleaseOwned();
    p_ = NewOrThrow<T>(std::forward<Args>(args)...);
    owned_ = true;
    return *p_;
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  bool Owned() const { return owned_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  void ReleaseOwned() {
    if (owned_) {
      owned_ = false;
      T* old = std::exchange(p_, nullptr);
      delete old;
    }
    p_ = nullptr;
  }

  T* p_ = nullptr;
  bool owned_ = false;
};

// Doubly linked list owning its nodes and their payloads.
template <typename T>
class OwnedList {
 public:
  struct Node {
    Node* next = nullptr;
    Node* prev = nullptr;
    OwnedPtr<T> payload;
  };

  OwnedList() = default;
  ~OwnedList() { Clear(); }
  OwnedList(const OwnedList&) = delete;
  OwnedList& operator=(const OwnedList&) = delete;

  // A new node with a fresh payload becomes first.
  template <typename... Args>
  T& PushFront(Args&&... args) {
    Node* n = MakeNode(std::forward<Args>(args)...);
    n->next = first_;
    if (first_)
      first_->prev = n;
    else
      last_ = n;
    first_ = n;
    ++count_;
    return *n->payload;
  }
  // A new node with a fresh payload becomes last.
  template <typename... Args>
  T& PushBack(Args&&... args) {
    Node* n = MakeNode(std::forward<Args>(args)...);
    n->prev = last_;
    if (last_)
      last_->next = n;
    else
      first_ = n;
    last_ = n;
    ++count_;
    return *n->payload;
  }
  void PopFront() { Unlink(first_); }
  void PopBack() { Unlink(last_); }
  void Clear() {
    while (first_) PopFront();
  }

  T* First() const { return first_ ? first_->payload.Get() : nullptr; }
  T* Last() const { return last_ ? last_->payload.Get() : nullptr; }
  Node* FirstNode() const { return first_; }
  Node* LastNode() const { return last_; }
  bool Empty() const { return first_ == nullptr; }
  std::size_t Count() const { return count_; }

 private:
  // A node holding a fresh payload, not yet linked (nothing is left behind
  // when the payload's construction throws).
  template <typename... Args>
  static Node* MakeNode(Args&&... args) {
    Node* n = NewOrThrow<Node>();
    try {
      n->payload.Make(std::forward<Args>(args)...);
    } catch (...) {
      delete n;
      throw;
    }
    return n;
  }
  void Unlink(Node* n) {
    if (!n) return;
    if (n->prev)
      n->prev->next = n->next;
    else
      first_ = n->next;
    if (n->next)
      n->next->prev = n->prev;
    else
      last_ = n->prev;
    --count_;
    delete n;
  }

  Node* first_ = nullptr;
  Node* last_ = nullptr;
  std::size_t count_ = 0;
};

// Small blocks that come and go many times per frame (code-block decoder
// states): a 64-byte aligned block of `bytes`, a kept one of that size from
// the calling thread's cache when there is one, else a new one (null when
// memory is exhausted).  ReturnCachedBlock gives it back to the cache of the
// thread that calls it, which keeps a bounded amount for that thread's next
// blocks and frees the rest; the cache is freed when the thread ends.
void* TakeCachedBlock(std::size_t bytes);
void ReturnCachedBlock(void* p, std::size_t bytes);

// One rectangular sample plane from the plane allocator: rows start 64-byte
// aligned, the row step is in bytes.  A plane of width or height 0 holds no
// memory and has step 0.
struct SubbandPlane {
  void* data = nullptr;
  std::int32_t step = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;

  SubbandPlane() = default;
  ~SubbandPlane() { Free(); }
  SubbandPlane(const SubbandPlane&) = delete;
  SubbandPlane& operator=(const SubbandPlane&) = delete;

  // Stores width and height and allocates width x height samples of
  // bytesPerSample bytes each; throws Except_faultMalloc when the plane
  // cannot be had (no memory, or a size beyond what one block may hold).
  void AllocPlaneOrThrow(std::uint32_t w, std::uint32_t h, std::uint32_t bytesPerSample);
  // Gives the block back.  Large blocks go to the calling thread's plane
  // cache, bounded and freed when the thread ends, which hands them to that
  // thread's next planes of the same size: a thread decoding frame after
  // frame of one geometry has the system supply and clear its pages once.
  void Free();
  // Makes the plane a view of w x h samples at `at`, rows `step` bytes apart,
  // in memory it does not own: Free leaves that memory alone.
  void View(void* at, std::int32_t rowStep, std::uint32_t w, std::uint32_t h);
  bool IsView() const { return data && bytes_ == 0; }
  // Moves a view's samples into a block of the plane's own.
  void TakeOwnCopy(std::uint32_t bytesPerSample);

 private:
  std::size_t bytes_ = 0;  // size of the block at data; 0 for a view
};

}  // namespace Codec
