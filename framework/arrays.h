// Dynamic arrays: the growable {capacity, count, data} sequence with its
// fixed growth rule, and the fixed-size {data, size} buffers.  All storage
// comes from TMemory through TDefaultArrayAllocator<T>.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cxxabi.h>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "framework/memory.h"

struct TArrayGrowthPolicy {
  // The capacity an array of `count` elements of `elementSize` bytes grows
  // to: one more element for elements of 100 bytes or more; otherwise by
  // the count: 10,000 or more x1.05, 1,000 or more x1.15, 100 or more x1.25,
  // 10 or more x1.5 (products in single precision, truncated), 1 or more +2,
  // else +1.  The result saturates at INT32_MAX.
  static std::int32_t NewCapacity(std::size_t elementSize, std::int32_t count);
};

// Storage of n elements of T from TMemory, tagged with the allocator's type
// name.  Class-type elements are constructed (value-initialised) on
// allocation and destroyed on release; plain types are left uninitialised.
template <class T>
struct TDefaultArrayAllocator {
  // The undecorated name of this allocator type, computed once.
  static const char* TypeName() {
    static const char* const name = [] {
      int status = 0;
      char* demangled =
          abi::__cxa_demangle(typeid(TDefaultArrayAllocator<T>).name(), nullptr, nullptr, &status);
      return status == 0 && demangled ? static_cast<const char*>(demangled)
                                      : typeid(TDefaultArrayAllocator<T>).name();
    }();
    return name;
  }

  static T* Allocate(std::int32_t n) {
    if (n <= 0) return nullptr;
    const std::size_t count = static_cast<std::size_t>(n);
    if (count > SIZE_MAX / sizeof(T)) TMemory::ThrowOutOfMemory();
    T* data = static_cast<T*>(TMemory::Allocate(TypeName(), count * sizeof(T)));
    if constexpr (!std::is_trivially_default_constructible_v<T>) {
      std::size_t made = 0;
      try {
        for (; made < count; ++made) new (data + made) T();
      } catch (...) {
        while (made > 0) data[--made].~T();
        TMemory::Free(data);
        throw;
      }
    }
    return data;
  }

  static void Free(T* data, std::int32_t n) noexcept {
    if (!data) return;
    if constexpr (!std::is_trivially_destructible_v<T>) {
      for (std::int32_t i = 0; i < n; ++i) data[i].~T();
    }
    TMemory::Free(data);
  }
};

// Growable sequence {capacity, count, data}.  Every slot up to the capacity
// holds a constructed element (class types: default-constructed beyond the
// count).
template <class T>
class TGrowableArray {
 public:
  TGrowableArray() noexcept = default;
  // Arrays of one and of two elements.
  explicit TGrowableArray(const T& first) {
    SetCapacity(1);
    Insert(first, 0);
  }
  TGrowableArray(const T& first, const T& second) {
    SetCapacity(2);
    Insert(first, 0);
    Insert(second, 1);
  }
  TGrowableArray(TGrowableArray&& other) noexcept
      : mCapacity(other.mCapacity), mCount(other.mCount), mData(other.mData) {
    other.mCapacity = 0;
    other.mCount = 0;
    other.mData = nullptr;
  }
  TGrowableArray& operator=(TGrowableArray&& other) noexcept {
    if (this != &other) {
      FreeStorage();
      mCapacity = other.mCapacity;
      mCount = other.mCount;
      mData = other.mData;
      other.mCapacity = 0;
      other.mCount = 0;
      other.mData = nullptr;
    }
    return *this;
  }
  TGrowableArray(const TGrowableArray&) = delete;
  TGrowableArray& operator=(const TGrowableArray&) = delete;
  ~TGrowableArray() { FreeStorage(); }

  std::int32_t Capacity() const noexcept { return mCapacity; }
  std::int32_t Count() const noexcept { return mCount; }
  T* Data() noexcept { return mData; }
  const T* Data() const noexcept { return mData; }
  // Element access; the index must be below the capacity.
  T& operator[](std::int32_t i) noexcept { return mData[i]; }
  const T& operator[](std::int32_t i) const noexcept { return mData[i]; }

  // Grows the storage to n elements; nothing when n is not above the
  // capacity.  The count and the elements are kept.
  void SetCapacity(std::int32_t n) {
    if (n <= mCapacity) return;
    T* fresh = TDefaultArrayAllocator<T>::Allocate(n);
    for (std::int32_t i = 0; i < mCount; ++i) fresh[i] = mData[i];
    TDefaultArrayAllocator<T>::Free(mData, mCapacity);
    mData = fresh;
    mCapacity = n;
  }

  // Inserts at `index` (limited to 0..count; the count appends), growing by
  // the growth rule when full.
  void Insert(const T& value, std::int32_t index) {
    T copy = value;  // the value may live in this array
    if (mCount >= mCapacity) {
      std::int32_t grown = TArrayGrowthPolicy::NewCapacity(sizeof(T), mCount);
      if (grown <= mCount) TMemory::ThrowOutOfMemory();
      SetCapacity(grown);
    }
    if (index < 0) index = 0;
    if (index > mCount) index = mCount;
    for (std::int32_t i = mCount; i > index; --i) mData[i] = mData[i - 1];
    mData[index] = copy;
    ++mCount;
  }
  void Append(const T& value) { Insert(value, mCount); }

  // First index holding an equal element, or -1.
  std::int32_t IndexOf(const T& value) const {
    for (std::int32_t i = 0; i < mCount; ++i) {
      if (mData[i] == value) return i;
    }
    return -1;
  }
  bool Contains(const T& value) const { return IndexOf(value) != -1; }

 private:
  void FreeStorage() noexcept {
    TDefaultArrayAllocator<T>::Free(mData, mCapacity);
    mCapacity = 0;
    mCount = 0;
    mData = nullptr;
  }

  std::int32_t mCapacity = 0;
  std::int32_t mCount = 0;
  T* mData = nullptr;
};

class TString;
using TStringArray = TGrowableArray<TString>;
// The character set of the string splitters.
using TCharSet = TGrowableArray<char16_t>;

// Fixed-size buffer {data, size}: the size is set as a whole.
template <class T>
class TFixedArray {
 public:
  TFixedArray() noexcept = default;
  explicit TFixedArray(std::int32_t n) {
    if (n > 0) {
      mData = TDefaultArrayAllocator<T>::Allocate(n);
      mSize = n;
    }
  }
  TFixedArray(TFixedArray&& other) noexcept : mData(other.mData), mSize(other.mSize) {
    other.mData = nullptr;
    other.mSize = 0;
  }
  TFixedArray& operator=(TFixedArray&& other) noexcept {
    if (this != &other) {
      Free();
      mData = other.mData;
      mSize = other.mSize;
      other.mData = nullptr;
      other.mSize = 0;
    }
    return *this;
  }
  TFixedArray(const TFixedArray&) = delete;
  TFixedArray& operator=(const TFixedArray&) = delete;
  ~TFixedArray() { Free(); }

  T* Data() noexcept { return mData; }
  const T* Data() const noexcept { return mData; }
  std::int32_t Size() const noexcept { return mSize; }
  T& operator[](std::int32_t i) noexcept { return mData[i]; }
  const T& operator[](std::int32_t i) const noexcept { return mData[i]; }

  // New storage of n elements (contents not kept); nothing when n is the
  // size; n of 0 or below leaves {null, 0}.
  void SetSize(std::int32_t n) {
    if (n < 0) n = 0;
    if (n == mSize) return;
    Free();
    if (n > 0) {
      mData = TDefaultArrayAllocator<T>::Allocate(n);
      mSize = n;
    }
  }
  // Grows to n elements, keeping the contents.
  void EnsureSize(std::int32_t n) {
    if (n > mSize) Resize(n);
  }
  // New storage of n elements with the old contents copied in (grows only).
  void Resize(std::int32_t n) {
    if (n <= mSize) return;
    T* fresh = TDefaultArrayAllocator<T>::Allocate(n);
    for (std::int32_t i = 0; i < mSize; ++i) fresh[i] = mData[i];
    TDefaultArrayAllocator<T>::Free(mData, mSize);
    mData = fresh;
    mSize = n;
  }
  void Free() noexcept {
    TDefaultArrayAllocator<T>::Free(mData, mSize);
    mData = nullptr;
    mSize = 0;
  }

 private:
  T* mData = nullptr;
  std::int32_t mSize = 0;
};

using TByteArray = TFixedArray<char>;
using TWideCharArray = TFixedArray<char16_t>;
using TIntArray = TFixedArray<std::int32_t>;
