// Caller image records: what ReadHeader reports and the buffer ReadData fills.
//
// Plain records without virtual operations.  Every array in them is a
// CountedArray: one malloc block with a 32-byte header whose first 32-bit
// word holds the element count, handed around as the address of the first
// element.  A null array counts as zero elements.  Every record owns its
// arrays and releases them in its destructor; releasing sets each field back
// to null, so a record may be released twice.  Operations return 0 or -1 and
// never throw.  Records start zero-filled (the member initialisers below).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decoder/geometry.h"

namespace Codec {

// --- Counted arrays ---------------------------------------------------------

inline constexpr std::size_t kCountedArrayHeader = 32;

// count x elementSize bytes behind a 32-byte header; null when the size does
// not fit (count above 2^32 - 1 or a product that overflows) or malloc fails.
void* AllocCountedArray(std::size_t elementSize, std::size_t count);
std::uint32_t CountedArraySize(const void* array);  // 0 for null
void FreeCountedArray(void* array);                 // null is ignored

// Frees an array whose elements need no release and clears the field.
template <typename T>
void DeleteCountedArray(T*& array) {
  FreeCountedArray(array);
  array = nullptr;
}
// Frees every inner array of an array of arrays, then the outer one.
template <typename T>
void DeleteCountedArrayOfArrays(T**& array) {
  if (array) {
    const std::uint32_t n = CountedArraySize(array);
    for (std::uint32_t i = 0; i < n; ++i) DeleteCountedArray(array[i]);
  }
  DeleteCountedArray(array);
}

// Releases what the field holds, then allocates n elements (zero-filled when
// `zero`).  n = 0 or a failed allocation leaves the field null and gives -1.
template <typename T>
int ResetCountedArray(T*& field, std::size_t n, bool zero) {
  DeleteCountedArray(field);
  if (n == 0) return -1;
  void* p = AllocCountedArray(sizeof(T), n);
  if (!p) return -1;
  if (zero) std::memset(p, 0, sizeof(T) * n);
  field = static_cast<T*>(p);
  return 0;
}

// Sample size of a data type code: 1 (0, 1), 2 (2-4), 4 (5-7), 8 (8-10), else -1.
int DataTypeSize(std::int32_t dataType);

// --- Records -----------------------------------------------------------------

// Value range of one component or one palette column.
struct ImageComponentDescr {
  std::int64_t minimum = 0;
  std::int64_t maximum = 1;
  std::int32_t rangeDataType = 8;
  std::uint32_t precision = 0;  // bit depth minus one
  std::uint8_t isSigned = 0;

  // [-2^p, 2^p - 1] signed or [0, 2^(p+1) - 1] unsigned, on 64 bits (a
  // shift of 64 or more gives 0 before the subtraction of 1).
  void SetBitDepth(std::uint32_t precisionIn, bool signedIn);
};

// Allocates n constructed descriptors (null when n = 0 or on failure).
ImageComponentDescr* NewImageComponentDescrArray(std::size_t n);

// Stein's binary greatest common divisor; gcd(0, v) = v.
std::uint32_t GreatestCommonDivisor(std::uint32_t a, std::uint32_t b);

// Image geometry: the rectangle on the reference grid and per-component
// sampling factors.
struct ImageSampling {
  Rect rect;
  SamplingPair* factors = nullptr;  // CountedArray, one pair per component
  std::uint32_t count = 0;

  ImageSampling() = default;
  ~ImageSampling() { Free(); }
  ImageSampling(const ImageSampling&) = delete;
  ImageSampling& operator=(const ImageSampling&) = delete;

  // n zeroed pairs; n = 0 or no memory: no factors, count 0, -1.
  int ResetFactors(std::size_t n);
  // Divides the factors of each axis by their common divisor and the
  // rectangle by the divisors (rounding up).
  void Normalize();
  // 0: all (1, 1); 1, 2, 3: component 0 (and 3) (2, 1), (1, 2), (2, 2), the
  // others (1, 1); needs 3 or 4 components.
  int SetChromaFormat(std::int32_t format);
  int Assign(const ImageSampling& other);
  Rect ComponentRectOf(std::uint32_t c) const { return ComponentRect(rect, factors[c]); }
  void Free();
};

// Palette and component mapping from a JP2 file.
struct ImageColourSpec {
  std::uint32_t* channelComponents = nullptr;
  std::uint8_t* channelDirect = nullptr;
  std::uint32_t* channelPaletteColumns = nullptr;
  std::uint32_t channelCount = 0;
  std::uint32_t paletteEntryCount = 0;
  std::int64_t** palette = nullptr;  // one inner array per column
  ImageComponentDescr* paletteRanges = nullptr;
  std::uint32_t paletteColumnCount = 0;

  ImageColourSpec() = default;
  ~ImageColourSpec() { Free(); }
  ImageColourSpec(const ImageColourSpec&) = delete;
  ImageColourSpec& operator=(const ImageColourSpec&) = delete;

  int Alloc(std::uint32_t channels, std::uint32_t columns, std::uint32_t entries);
  void Free();
};

struct ImageHeader {
  std::uint32_t reserved[2] = {0, 0};
  std::int32_t colourSpace = 0;
  ImageComponentDescr* components = nullptr;
  ImageColourSpec colourSpec;

  ImageHeader() = default;
  ~ImageHeader() { Free(); }
  ImageHeader(const ImageHeader&) = delete;
  ImageHeader& operator=(const ImageHeader&) = delete;

  int SetComponentCount(std::size_t n);
  std::uint32_t ComponentCount() const { return CountedArraySize(components); }
  void Free();
};

enum ImageDataType : std::int32_t { kImageData16s = 3, kImageData32s = 6 };
enum ImagePlaneLayout : std::int32_t { kPlanePerComponent = 0, kPlaneInterleaved = 1 };

// Layout of the caller's planes (the second argument of ReadData).
struct ImageBufferDescr {
  std::int32_t dataType = 0;
  std::int32_t planeLayout = 0;
  std::uint32_t* rowSteps = nullptr;     // bytes, one per plane
  std::uint32_t* sampleSteps = nullptr;  // bytes, one per plane
  ImageSampling sampling;

  ImageBufferDescr() = default;
  ~ImageBufferDescr() { Free(); }
  ImageBufferDescr(const ImageBufferDescr&) = delete;
  ImageBufferDescr& operator=(const ImageBufferDescr&) = delete;

  // Row step times the plane's height in rows (0 for a plane that is not laid out).
  std::uint64_t PlaneSize(std::uint32_t plane) const;
  // Block factors of the interleaved layout; false when they do not fit.
  bool BlockFactors(SamplingPair& blocks) const;
  void Free();
};

// One plane of an ImageBuffer: the owned byte array and where its samples begin.
struct ImagePlaneStorage {
  std::uint8_t* owned = nullptr;
  void* data = nullptr;
};

// The caller image.
struct ImageBuffer {
  ImagePlaneStorage* planes = nullptr;  // CountedArray
  void** planePointers = nullptr;       // CountedArray, the first argument of ReadData
  ImageBufferDescr layout;
  ImageHeader header;

  ImageBuffer() = default;
  ~ImageBuffer() { Free(); }
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;

  // Lays out and allocates the planes for `sampling`: sample steps are the
  // sample size rounded up to 2^sampleAlign bytes, row steps rounded up to
  // 2^rowAlign bytes.  0, or -1 at the first failing step.
  int Alloc(std::int32_t dataType, std::int32_t planeLayout, const ImageSampling& sampling,
            std::uint32_t rowAlign, std::uint32_t sampleAlign);
  std::uint32_t PlaneCount() const { return CountedArraySize(planePointers); }
  void FreePlanes();
  void Free();
};

}  // namespace Codec
