// Caller image records: counted arrays, ranges, sampling, colour
// space record, header and the plane buffer.
#include "decoder/image_records.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/system.h"

namespace Codec {

// --- Counted arrays ---------------------------------------------------------

void* AllocCountedArray(std::size_t elementSize, std::size_t count) {
  if (count > std::numeric_limits<std::uint32_t>::max()) return nullptr;
  if (elementSize && count > (std::numeric_limits<std::size_t>::max() - kCountedArrayHeader) / elementSize)
    return nullptr;
  auto* block = static_cast<std::uint8_t*>(std::malloc(kCountedArrayHeader + elementSize * count));
  if (!block) return nullptr;
  std::memset(block, 0, kCountedArrayHeader);
  const std::uint32_t n = static_cast<std::uint32_t>(count);
  std::memcpy(block, &n, sizeof n);
  return block + kCountedArrayHeader;
}

std::uint32_t CountedArraySize(const void* array) {
  if (!array) return 0;
  std::uint32_t n;
  std::memcpy(&n, static_cast<const std::uint8_t*>(array) - kCountedArrayHeader, sizeof n);
  return n;
}

void FreeCountedArray(void* array) {
  if (array) std::free(static_cast<std::uint8_t*>(array) - kCountedArrayHeader);
}

int DataTypeSize(std::int32_t t) {
  if (t == 0 || t == 1) return 1;
  if (t >= 2 && t <= 4) return 2;
  if (t >= 5 && t <= 7) return 4;
  if (t >= 8 && t <= 10) return 8;
  return -1;
}

// --- ImageComponentDescr ----------------------------------------------------

namespace {
// 2^s on 64 bits, 0 for a shift of 64 or more.
std::uint64_t Pow2(std::uint64_t s) { return s >= 64 ? 0 : std::uint64_t{1} << s; }
}  // namespace

void ImageComponentDescr::SetBitDepth(std::uint32_t p, bool s) {
  rangeDataType = 5;
  precision = p;
  isSigned = s ? 1 : 0;
  if (s) {
    minimum = static_cast<std::int64_t>(std::uint64_t{0} - Pow2(p));
    maximum = static_cast<std::int64_t>(Pow2(p) - 1);
  } else {
    minimum = 0;
    maximum = static_cast<std::int64_t>(Pow2(std::uint64_t{p} + 1) - 1);
  }
}

ImageComponentDescr* NewImageComponentDescrArray(std::size_t n) {
  if (n == 0) return nullptr;
  auto* a = static_cast<ImageComponentDescr*>(AllocCountedArray(sizeof(ImageComponentDescr), n));
  if (!a) return nullptr;
  for (std::size_t i = 0; i < n; ++i) new (&a[i]) ImageComponentDescr();
  return a;
}

// --- ImageSampling -------------------------------------------------------------

std::uint32_t GreatestCommonDivisor(std::uint32_t a, std::uint32_t b) {
  if (a == 0) return b;
  if (b == 0) return a;
  unsigned shift = 0;
  while (((a | b) & 1u) == 0) {
    a >>= 1;
    b >>= 1;
    ++shift;
  }
  while (a != 0 && b != 0) {
    const bool aOdd = a & 1u, bOdd = b & 1u;
    if (aOdd && bOdd) {
      if (a > b)
        a -= b;
      else
        b -= a;
    } else if (!aOdd) {
      a >>= 1;
    } else {
      b >>= 1;
    }
  }
  return (a ? a : b) << shift;
}

int ImageSampling::ResetFactors(std::size_t n) {
  count = 0;
  if (ResetCountedArray(factors, n, true) != 0) return -1;
  count = static_cast<std::uint32_t>(n);
  return 0;
}

void ImageSampling::Normalize() {
  std::uint32_t gx = 0, gy = 0;
  const std::uint32_t n = factors ? count : 0;
  for (std::uint32_t c = 0; c < n; ++c) {
    gx = GreatestCommonDivisor(gx, factors[c].x);
    gy = GreatestCommonDivisor(gy, factors[c].y);
  }
  // No components, or only zero factors: nothing to divide by.
  if (gx == 0) gx = 1;
  if (gy == 0) gy = 1;
  for (std::uint32_t c = 0; c < n; ++c) {
    factors[c].x /= gx;
    factors[c].y /= gy;
  }
  rect = ComponentRect(rect, {gx, gy});
}

int ImageSampling::SetChromaFormat(std::int32_t format) {
  static const SamplingPair kFull{1, 1};
  static const SamplingPair kHalfX{2, 1};
  static const SamplingPair kHalfY{1, 2};
  static const SamplingPair kHalfXY{2, 2};
  const std::uint32_t n = factors ? count : 0;
  if (format == 0) {
    for (std::uint32_t c = 0; c < n; ++c) factors[c] = kFull;
    return 0;
  }
  if (format < 1 || format > 3) return -1;
  if (n != 3 && n != 4) return -1;
  const SamplingPair first = format == 1 ? kHalfX : format == 2 ? kHalfY : kHalfXY;
  factors[0] = first;
  factors[1] = kFull;
  factors[2] = kFull;
  if (n == 4) factors[3] = first;
  return 0;
}

int ImageSampling::Assign(const ImageSampling& other) {
  if (&other == this) return 0;
  rect = other.rect;
  const std::uint32_t n = other.factors ? other.count : 0;
  if (ResetFactors(n) != 0) return -1;
  for (std::uint32_t c = 0; c < n; ++c) factors[c] = other.factors[c];
  return 0;
}

void ImageSampling::Free() {
  DeleteCountedArray(factors);
  count = 0;
}

// --- ImageColourSpec -----------------------------------------------------------

int ImageColourSpec::Alloc(std::uint32_t channels, std::uint32_t columns, std::uint32_t entries) {
  if (ResetCountedArray(channelComponents, channels, false) != 0) return -1;
  if (ResetCountedArray(channelPaletteColumns, channels, false) != 0) return -1;
  if (ResetCountedArray(channelDirect, channels, false) != 0) return -1;
  DeleteCountedArrayOfArrays(palette);
  if (ResetCountedArray(palette, columns, true) != 0) return -1;
  for (std::uint32_t m = 0; m < columns; ++m)
    if (ResetCountedArray(palette[m], entries, false) != 0) return -1;
  DeleteCountedArray(paletteRanges);
  paletteRanges = NewImageComponentDescrArray(columns);
  if (!paletteRanges) return -1;
  paletteEntryCount = entries;
  channelCount = channels;
  paletteColumnCount = columns;
  return 0;
}

void ImageColourSpec::Free() {
  DeleteCountedArray(channelComponents);
  DeleteCountedArray(channelDirect);
  DeleteCountedArray(channelPaletteColumns);
  DeleteCountedArray(paletteRanges);
  DeleteCountedArrayOfArrays(palette);
  channelCount = 0;
  paletteEntryCount = 0;
  paletteColumnCount = 0;
}

// --- ImageHeader -----------------------------------------------------------------

int ImageHeader::SetComponentCount(std::size_t n) {
  DeleteCountedArray(components);
  components = NewImageComponentDescrArray(n);
  return components ? 0 : -1;
}

void ImageHeader::Free() {
  colourSpec.Free();
  DeleteCountedArray(components);
}

// --- ImageBufferDescr ----------------------------------------------------------

bool ImageBufferDescr::BlockFactors(SamplingPair& blocks) const {
  const std::uint32_t n = sampling.factors ? sampling.count : 0;
  std::uint64_t px = 1, py = 1;
  std::uint32_t minX = 0xFFFFFFFFu, minY = 0xFFFFFFFFu;
  for (std::uint32_t c = 0; c < n; ++c) {
    const SamplingPair f = sampling.factors[c];
    if (f.x == 0 || f.y == 0) return false;
    px *= f.x;
    py *= f.y;
    if (px > 0xFFFFFFFFu || py > 0xFFFFFFFFu) return false;
    if (f.x < minX) minX = f.x;
    if (f.y < minY) minY = f.y;
  }
  if (n == 0) return false;
  blocks = {static_cast<std::uint32_t>(px / minX), static_cast<std::uint32_t>(py / minY)};
  return true;
}

std::uint64_t ImageBufferDescr::PlaneSize(std::uint32_t plane) const {
  if (plane >= CountedArraySize(rowSteps)) return 0;
  std::uint32_t rows = 0;
  if (planeLayout == kPlaneInterleaved) {
    SamplingPair blocks;
    if (!BlockFactors(blocks)) return 0;
    rows = ComponentRect(sampling.rect, blocks).height;
  } else {
    if (!sampling.factors || plane >= sampling.count) return 0;
    rows = sampling.ComponentRectOf(plane).height;
  }
  return std::uint64_t{rowSteps[plane]} * rows;
}

void ImageBufferDescr::Free() {
  DeleteCountedArray(rowSteps);
  DeleteCountedArray(sampleSteps);
  sampling.Free();
}

// --- ImageBuffer ---------------------------------------------------------------------

namespace {

// Rounds v up to a multiple of 2^e; false when the result leaves 31 bits
// (row and sample steps are handed to primitives as int).
bool RoundUpStep(std::uint64_t v, std::uint32_t e, std::uint32_t& out) {
  const std::uint64_t m = std::uint64_t{1} << e;
  const std::uint64_t r = (v + m - 1) & ~(m - 1);
  if (r > 0x7FFFFFFFu) return false;
  out = static_cast<std::uint32_t>(r);
  return true;
}

}  // namespace

int ImageBuffer::Alloc(std::int32_t dataType, std::int32_t planeLayout, const ImageSampling& sampling,
                       std::uint32_t rowAlign, std::uint32_t sampleAlign) {
  ImageBufferDescr& d = layout;
  d.dataType = dataType;
  d.planeLayout = planeLayout;
  const bool interleaved = planeLayout == kPlaneInterleaved;
  const std::uint32_t components = sampling.factors ? sampling.count : 0;
  const std::uint32_t planeCount = interleaved ? (components ? 1 : 0) : components;
  if (ResetCountedArray(d.rowSteps, planeCount, false) != 0) return -1;
  if (ResetCountedArray(d.sampleSteps, planeCount, false) != 0) return -1;

  const int s = DataTypeSize(dataType);
  if (s < 0 || rowAlign > 30 || sampleAlign > 30) return -1;
  if (interleaved) {
    // The sampling must be in the descriptor for BlockFactors.
    if (d.sampling.Assign(sampling) != 0) return -1;
    SamplingPair blocks;
    if (!d.BlockFactors(blocks)) return -1;
    const std::uint64_t blockCount = ComponentRect(sampling.rect, blocks).width;
    std::uint64_t perBlock = 0;
    for (std::uint32_t c = 0; c < components; ++c)
      perBlock += std::uint64_t{blocks.y / sampling.factors[c].y} * (blocks.x / sampling.factors[c].x);
    if (perBlock > 0xFFFFFFFFu) return -1;
    std::uint32_t sampleStep = 0, rowStep = 0;
    if (!RoundUpStep(static_cast<std::uint64_t>(s) * perBlock, sampleAlign, sampleStep)) return -1;
    if (!RoundUpStep(std::uint64_t{sampleStep} * blockCount, rowAlign, rowStep)) return -1;
    d.sampleSteps[0] = sampleStep;
    d.rowSteps[0] = rowStep;
  } else {
    for (std::uint32_t c = 0; c < components; ++c) {
      std::uint32_t sampleStep = 0, rowStep = 0;
      if (!RoundUpStep(static_cast<std::uint64_t>(s), sampleAlign, sampleStep)) return -1;
      const std::uint64_t width = sampling.ComponentRectOf(c).width;
      if (!RoundUpStep(std::uint64_t{sampleStep} * width, rowAlign, rowStep)) return -1;
      d.sampleSteps[c] = sampleStep;
      d.rowSteps[c] = rowStep;
    }
  }
  if (d.sampling.Assign(sampling) != 0) return -1;

  FreePlanes();
  if (ResetCountedArray(planes, planeCount, true) != 0) return -1;
  if (ResetCountedArray(planePointers, planeCount, true) != 0) return -1;
  for (std::uint32_t p = 0; p < planeCount; ++p) {
    // A plane's byte count is kept in the 32-bit count word of its array.
    const std::uint64_t size = d.PlaneSize(p);
    if (size > 0xFFFFFFFFu) return -1;
    auto* bytes = static_cast<std::uint8_t*>(AllocCountedArray(1, static_cast<std::size_t>(size)));
    if (!bytes) return -1;
    platformAdviseLargePages(bytes, static_cast<std::size_t>(size));
    planes[p].owned = bytes;
    planes[p].data = bytes;
    planePointers[p] = bytes;
  }
  return 0;
}

void ImageBuffer::FreePlanes() {
  if (planes) {
    const std::uint32_t n = CountedArraySize(planes);
    for (std::uint32_t p = 0; p < n; ++p) {
      DeleteCountedArray(planes[p].owned);
      planes[p].data = nullptr;
    }
  }
  DeleteCountedArray(planes);
  DeleteCountedArray(planePointers);
}

void ImageBuffer::Free() {
  header.Free();
  FreePlanes();
  layout.Free();
}

}  // namespace Codec
