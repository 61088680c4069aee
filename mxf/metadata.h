// Partition packs, header metadata (primer and local sets) and index table
// segments, parsed from a file with every length checked.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "mxf/KM_error.h"
#include "mxf/klv.h"

namespace mxf_internal {

// Static local tags of the properties this layer reads or writes.
namespace tags {
inline constexpr std::uint16_t kInstanceUid = 0x3c0a;
inline constexpr std::uint16_t kOperationalPattern = 0x3b09;
inline constexpr std::uint16_t kEssenceContainers = 0x3b0a;
inline constexpr std::uint16_t kPackages = 0x1901;
inline constexpr std::uint16_t kLinkedPackageUid = 0x2701;
inline constexpr std::uint16_t kIndexSid = 0x3f06;
inline constexpr std::uint16_t kBodySid = 0x3f07;
inline constexpr std::uint16_t kPackageUid = 0x4401;
inline constexpr std::uint16_t kTracks = 0x4403;
inline constexpr std::uint16_t kDescriptor = 0x4701;
inline constexpr std::uint16_t kTrackId = 0x4801;
inline constexpr std::uint16_t kTrackNumber = 0x4804;
inline constexpr std::uint16_t kTrackSequence = 0x4803;
inline constexpr std::uint16_t kEditRate = 0x4b01;
inline constexpr std::uint16_t kDataDefinition = 0x0201;
inline constexpr std::uint16_t kDuration = 0x0202;
inline constexpr std::uint16_t kLinkedTrackId = 0x3006;
inline constexpr std::uint16_t kSampleRate = 0x3001;
inline constexpr std::uint16_t kContainerDuration = 0x3002;
inline constexpr std::uint16_t kEssenceContainer = 0x3004;
inline constexpr std::uint16_t kPictureEssenceCoding = 0x3201;
inline constexpr std::uint16_t kStoredHeight = 0x3202;
inline constexpr std::uint16_t kStoredWidth = 0x3203;
inline constexpr std::uint16_t kAspectRatio = 0x320e;
inline constexpr std::uint16_t kSubDescriptorUids = 0x3f01;
inline constexpr std::uint16_t kAudioSamplingRate = 0x3d03;
// Index table segments.
inline constexpr std::uint16_t kIndexEditRate = 0x3f0b;
inline constexpr std::uint16_t kIndexStartPosition = 0x3f0c;
inline constexpr std::uint16_t kIndexDuration = 0x3f0d;
inline constexpr std::uint16_t kEditUnitByteCount = 0x3f05;
inline constexpr std::uint16_t kSliceCount = 0x3f08;
inline constexpr std::uint16_t kPosTableCount = 0x3f0e;
inline constexpr std::uint16_t kDeltaEntryArray = 0x3f09;
inline constexpr std::uint16_t kIndexEntryArray = 0x3f0a;
}  // namespace tags

struct PartitionPack {
  std::uint64_t offset = 0;  // position of the pack's key
  std::uint8_t kind = 0;     // 2 header, 3 body, 4 footer
  std::uint8_t status = 0;   // 1..4 (open/closed, incomplete/complete)
  std::uint32_t kag_size = 0;
  std::uint64_t this_partition = 0;
  std::uint64_t previous_partition = 0;
  std::uint64_t footer_partition = 0;
  std::uint64_t header_byte_count = 0;
  std::uint64_t index_byte_count = 0;
  std::uint32_t index_sid = 0;
  std::uint64_t body_offset = 0;
  std::uint32_t body_sid = 0;
  UL operational_pattern{};
  std::vector<UL> essence_containers;
  std::uint64_t pack_end = 0;        // first byte after the pack
  std::uint64_t metadata_start = 0;  // first byte after the pack and its fill
};

// Reads the partition pack at `offset`.  RESULT_OK, or: RESULT_ENDOFFILE at the
// end of the file, RESULT_READFAIL when the file ends inside the pack, RESULT_FAIL
// when the bytes are not a key or carry an invalid length, RESULT_KLV_CODING
// when the key is not a partition pack or its value is malformed.
Kumu::Result_t ReadPartitionPack(File& file, std::uint64_t offset, PartitionPack& pack);

// Skips fill items starting at pos; gives the position of the first other KLV
// (or pos itself when the bytes there are no fill).
std::uint64_t SkipFill(File& file, std::uint64_t pos, std::uint64_t limit);

// A local set of the header metadata: its key, its InstanceUID and its
// properties as spans into the metadata bytes.
struct LocalSet {
  UL key{};
  UL instance_uid{};
  bool has_uid = false;
  struct Property {
    std::uint16_t tag;
    std::uint32_t offset;  // into HeaderMetadata::bytes
    std::uint16_t length;
  };
  std::vector<Property> properties;
};

class HeaderMetadata {
 public:
  // Reads and parses `byte_count` bytes at `pos`: the primer pack, then local
  // sets; fill items and other KLVs are skipped.  The next partition pack, an
  // index segment or essence ends the metadata early (a byte count that runs
  // past it).  RESULT_READFAIL when the file ends first, RESULT_KLV_CODING for
  // a malformed primer or set, or a partition pack that is not at the place it
  // gives as its own (a stray copy inside the metadata).
  Kumu::Result_t Read(File& file, std::uint64_t pos, std::uint64_t byte_count);

  const std::vector<LocalSet>& Sets() const { return sets_; }
  // The first set with this key (byte 7 ignored), or null.
  const LocalSet* FindFirst(const UL& key) const;
  // The set with this InstanceUID, or null.
  const LocalSet* FindByUid(std::span<const std::uint8_t> uid) const;
  bool IsA(const LocalSet& set, const UL& key) const;

  // A property by static tag, or (for dynamic tags) by the label the primer
  // gives its tag.  Empty when absent.
  std::span<const std::uint8_t> Get(const LocalSet& set, std::uint16_t tag) const;
  std::span<const std::uint8_t> GetByLabel(const LocalSet& set, const UL& label) const;

  // Typed reads; false when the property is absent or too short.
  bool GetU16(const LocalSet& set, std::uint16_t tag, std::uint16_t& v) const;
  bool GetU32(const LocalSet& set, std::uint16_t tag, std::uint32_t& v) const;
  bool GetU64(const LocalSet& set, std::uint16_t tag, std::uint64_t& v) const;
  bool GetRational(const LocalSet& set, std::uint16_t tag, std::int32_t& num, std::int32_t& den) const;
  bool GetUl(const LocalSet& set, std::uint16_t tag, UL& v) const;
  // A batch (count, item size, items) of 16-byte references or labels.
  std::vector<UL> GetUlBatch(std::span<const std::uint8_t> value) const;

 private:
  Kumu::Result_t ParsePrimer(std::uint64_t offset, std::uint64_t length);
  Kumu::Result_t ParseSet(const UL& key, std::uint64_t offset, std::uint64_t length);

  std::vector<std::uint8_t> bytes_;
  std::unordered_map<std::uint16_t, UL> primer_;
  std::vector<LocalSet> sets_;
};

// One index table segment; only what frame lookup needs.
struct IndexSegment {
  std::uint32_t index_sid = 0;
  std::uint32_t body_sid = 0;
  std::int64_t start = 0;
  std::int64_t duration = 0;
  std::uint32_t edit_unit_byte_count = 0;     // non-zero: constant bytes per edit unit
  std::vector<std::uint64_t> stream_offsets;  // one per edit unit from start
};

// Parses the index table segments in [pos, pos + byte_count).  Malformed
// segments give RESULT_KLV_CODING; fill and other KLVs are skipped.
Kumu::Result_t ReadIndexSegments(File& file, std::uint64_t pos, std::uint64_t byte_count,
                                 std::vector<IndexSegment>& out);

// Upper bounds on what the file may make us hold in memory.
inline constexpr std::uint64_t kMaxHeaderMetadataBytes = 64ull << 20;
inline constexpr std::uint64_t kMaxIndexBytes = 256ull << 20;
inline constexpr std::uint64_t kMaxPartitionPackBytes = 88 + 16 * 4096;

}  // namespace mxf_internal
