// Partition packs, header metadata and index table segments.
#include "mxf/metadata.h"

#include <cstring>
#include <new>

#include "mxf/AS_DCP.h"
#include "mxf/labels.h"

namespace mxf_internal {

using Kumu::Result_t;

namespace {

bool IsPartitionKey(const UL& key) {
  return SameLabelPrefix(key.data(), labels::kPartitionPackPrefix.data(), 13) &&
         key[13] >= labels::kHeaderPartition && key[13] <= labels::kFooterPartition;
}

Result_t StatusToResult(KlvStatus st) {
  switch (st) {
    case KlvStatus::kOk:
      return Kumu::RESULT_OK;
    case KlvStatus::kEnd:
      return Kumu::RESULT_ENDOFFILE;
    case KlvStatus::kShort:
    case KlvStatus::kTruncated:
      return Kumu::RESULT_READFAIL;
    case KlvStatus::kNotKlv:
    case KlvStatus::kBadLength:
      return Kumu::RESULT_FAIL;
  }
  return Kumu::RESULT_FAIL;
}

}  // namespace

Result_t ReadPartitionPack(File& file, std::uint64_t offset, PartitionPack& pack) {
  KlvHeader klv;
  const KlvStatus st = ReadKlvHeader(file, offset, klv);
  if (st != KlvStatus::kOk) return StatusToResult(st);
  if (!IsPartitionKey(klv.key)) return ASDCP::RESULT_KLV_CODING;
  if (klv.length < 88 || klv.length > kMaxPartitionPackBytes) return ASDCP::RESULT_KLV_CODING;
  std::vector<std::uint8_t> v(static_cast<std::size_t>(klv.length));
  if (!file.ReadAt(klv.ValueOffset(), v.data(), v.size())) return Kumu::RESULT_READFAIL;
  const std::uint8_t* p = v.data();
  pack = PartitionPack{};
  pack.offset = offset;
  pack.kind = klv.key[13];
  pack.status = klv.key[14];
  pack.kag_size = Be32(p + 4);
  pack.this_partition = Be64(p + 8);
  pack.previous_partition = Be64(p + 16);
  pack.footer_partition = Be64(p + 24);
  pack.header_byte_count = Be64(p + 32);
  pack.index_byte_count = Be64(p + 40);
  pack.index_sid = Be32(p + 48);
  pack.body_offset = Be64(p + 52);
  pack.body_sid = Be32(p + 60);
  std::memcpy(pack.operational_pattern.data(), p + 64, 16);
  const std::uint32_t count = Be32(p + 80);
  const std::uint32_t item = Be32(p + 84);
  if (item >= 16 && count > 0) {
    const std::uint64_t room = (v.size() - 88) / item;
    if (count > room) return ASDCP::RESULT_KLV_CODING;
    for (std::uint32_t i = 0; i < count; ++i) {
      UL ul;
      std::memcpy(ul.data(), p + 88 + std::size_t{i} * item, 16);
      pack.essence_containers.push_back(ul);
    }
  }
  pack.pack_end = klv.End();
  pack.metadata_start = SkipFill(file, pack.pack_end, file.Size());
  return Kumu::RESULT_OK;
}

std::uint64_t SkipFill(File& file, std::uint64_t pos, std::uint64_t limit) {
  // Bounded: every step advances by at least 17 bytes.
  while (pos < limit) {
    KlvHeader klv;
    if (ReadKlvHeader(file, pos, klv) != KlvStatus::kOk) break;
    if (!SameLabel(klv.key.data(), labels::kFill.data())) break;
    if (klv.End() > limit) break;
    pos = klv.End();
  }
  return pos;
}

Result_t HeaderMetadata::Read(File& file, std::uint64_t pos, std::uint64_t byte_count) {
  bytes_.clear();
  primer_.clear();
  sets_.clear();
  if (byte_count > kMaxHeaderMetadataBytes) return ASDCP::RESULT_KLV_CODING;
  if (pos > file.Size() || byte_count > file.Size() - pos) return Kumu::RESULT_READFAIL;
  try {
    bytes_.resize(static_cast<std::size_t>(byte_count));
  } catch (const std::bad_alloc&) {
    return Kumu::RESULT_ALLOC;
  }
  if (!file.ReadAt(pos, bytes_.data(), bytes_.size())) return Kumu::RESULT_READFAIL;

  std::size_t at = 0;
  const std::size_t end = bytes_.size();
  bool seen_primer = false;
  while (at < end) {
    if (end - at < 17) break;  // trailing bytes too short for a KLV: padding
    const std::uint8_t* p = bytes_.data() + at;
    if (std::memcmp(p, kUlPrefix, 4) != 0) return ASDCP::RESULT_KLV_CODING;
    UL key;
    std::memcpy(key.data(), p, 16);
    // A partition pack, an index segment or essence here means the byte count
    // ran past the metadata; stop at what was read so far.  A partition pack
    // that does not give this position as its own is not the next partition
    // but a stray one inside the metadata: the metadata is damaged.
    if (IsPartitionKey(key)) {
      PartitionPack next;
      if (ReadPartitionPack(file, pos + at, next).Failure() || next.this_partition != pos + at)
        return ASDCP::RESULT_KLV_CODING;
      break;
    }
    if (SameLabel(key.data(), labels::kIndexSegment.data())) break;
    if (SameLabelPrefix(key.data(), labels::kGenericContainerElementPrefix.data(), 12) ||
        SameLabelPrefix(key.data(), labels::kEncryptedTriplet.data(), 13))
      break;
    std::uint64_t length = 0;
    const std::size_t ber = DecodeBer(p + 16, end - at - 16, length);
    if (ber == 0) return ASDCP::RESULT_KLV_CODING;
    const std::size_t value = at + 16 + ber;
    if (length > end - value) return ASDCP::RESULT_KLV_CODING;
    if (SameLabel(key.data(), labels::kPrimerPack.data())) {
      if (!seen_primer) {
        Result_t r = ParsePrimer(value, length);
        if (r.Failure()) return r;
        seen_primer = true;
      }
    } else if (key[4] == 0x02 && key[5] == 0x53) {
      Result_t r = ParseSet(key, value, length);
      if (r.Failure()) return r;
    }
    at = value + static_cast<std::size_t>(length);
  }
  return Kumu::RESULT_OK;
}

Result_t HeaderMetadata::ParsePrimer(std::uint64_t offset, std::uint64_t length) {
  if (length < 8) return ASDCP::RESULT_KLV_CODING;
  const std::uint8_t* p = bytes_.data() + offset;
  const std::uint32_t count = Be32(p);
  const std::uint32_t item = Be32(p + 4);
  if (count == 0) return Kumu::RESULT_OK;
  if (item < 18 || count > (length - 8) / item) return ASDCP::RESULT_KLV_CODING;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* e = p + 8 + std::size_t{i} * item;
    UL ul;
    std::memcpy(ul.data(), e + 2, 16);
    primer_.emplace(Be16(e), ul);
  }
  return Kumu::RESULT_OK;
}

Result_t HeaderMetadata::ParseSet(const UL& key, std::uint64_t offset, std::uint64_t length) {
  LocalSet set;
  set.key = key;
  std::uint64_t at = 0;
  while (at < length) {
    if (length - at < 4) return ASDCP::RESULT_KLV_CODING;
    const std::uint8_t* p = bytes_.data() + offset + at;
    const std::uint16_t tag = Be16(p);
    const std::uint16_t len = Be16(p + 2);
    if (len > length - at - 4) return ASDCP::RESULT_KLV_CODING;
    set.properties.push_back({tag, static_cast<std::uint32_t>(offset + at + 4), len});
    if (tag == tags::kInstanceUid && len == 16) {
      std::memcpy(set.instance_uid.data(), p + 4, 16);
      set.has_uid = true;
    }
    at += 4 + std::uint64_t{len};
  }
  sets_.push_back(std::move(set));
  return Kumu::RESULT_OK;
}

bool HeaderMetadata::IsA(const LocalSet& set, const UL& key) const {
  return SameLabel(set.key.data(), key.data());
}

const LocalSet* HeaderMetadata::FindFirst(const UL& key) const {
  for (const LocalSet& s : sets_) {
    if (IsA(s, key)) return &s;
  }
  return nullptr;
}

const LocalSet* HeaderMetadata::FindByUid(std::span<const std::uint8_t> uid) const {
  if (uid.size() != 16) return nullptr;
  for (const LocalSet& s : sets_) {
    if (s.has_uid && std::memcmp(s.instance_uid.data(), uid.data(), 16) == 0) return &s;
  }
  return nullptr;
}

std::span<const std::uint8_t> HeaderMetadata::Get(const LocalSet& set, std::uint16_t tag) const {
  for (const LocalSet::Property& pr : set.properties) {
    if (pr.tag == tag) return {bytes_.data() + pr.offset, pr.length};
  }
  return {};
}

std::span<const std::uint8_t> HeaderMetadata::GetByLabel(const LocalSet& set, const UL& label) const {
  for (const LocalSet::Property& pr : set.properties) {
    auto it = primer_.find(pr.tag);
    if (it != primer_.end() && SameLabel(it->second.data(), label.data()))
      return {bytes_.data() + pr.offset, pr.length};
  }
  return {};
}

bool HeaderMetadata::GetU16(const LocalSet& set, std::uint16_t tag, std::uint16_t& v) const {
  auto s = Get(set, tag);
  if (s.size() < 2) return false;
  v = Be16(s.data());
  return true;
}

bool HeaderMetadata::GetU32(const LocalSet& set, std::uint16_t tag, std::uint32_t& v) const {
  auto s = Get(set, tag);
  if (s.size() < 4) return false;
  v = Be32(s.data());
  return true;
}

bool HeaderMetadata::GetU64(const LocalSet& set, std::uint16_t tag, std::uint64_t& v) const {
  auto s = Get(set, tag);
  if (s.size() < 8) return false;
  v = Be64(s.data());
  return true;
}

bool HeaderMetadata::GetRational(const LocalSet& set, std::uint16_t tag, std::int32_t& num,
                                 std::int32_t& den) const {
  auto s = Get(set, tag);
  if (s.size() < 8) return false;
  num = static_cast<std::int32_t>(Be32(s.data()));
  den = static_cast<std::int32_t>(Be32(s.data() + 4));
  return true;
}

bool HeaderMetadata::GetUl(const LocalSet& set, std::uint16_t tag, UL& v) const {
  auto s = Get(set, tag);
  if (s.size() < 16) return false;
  std::memcpy(v.data(), s.data(), 16);
  return true;
}

std::vector<UL> HeaderMetadata::GetUlBatch(std::span<const std::uint8_t> value) const {
  std::vector<UL> out;
  if (value.size() < 8) return out;
  const std::uint32_t count = Be32(value.data());
  const std::uint32_t item = Be32(value.data() + 4);
  if (item < 16 || count > (value.size() - 8) / item) return out;
  for (std::uint32_t i = 0; i < count; ++i) {
    UL ul;
    std::memcpy(ul.data(), value.data() + 8 + std::size_t{i} * item, 16);
    out.push_back(ul);
  }
  return out;
}

namespace {

Result_t ParseIndexSegment(const std::uint8_t* p, std::size_t length, IndexSegment& seg) {
  const std::uint8_t* entries = nullptr;
  std::size_t entries_length = 0;
  std::uint32_t slice_count = 0, pos_table_count = 0;
  bool have_duration = false;
  std::size_t at = 0;
  while (at < length) {
    if (length - at < 4) return ASDCP::RESULT_KLV_CODING;
    const std::uint16_t tag = Be16(p + at);
    const std::uint16_t len = Be16(p + at + 2);
    if (len > length - at - 4) return ASDCP::RESULT_KLV_CODING;
    const std::uint8_t* v = p + at + 4;
    switch (tag) {
      case tags::kIndexStartPosition:
        if (len >= 8) seg.start = static_cast<std::int64_t>(Be64(v));
        break;
      case tags::kIndexDuration:
        if (len >= 8) {
          seg.duration = static_cast<std::int64_t>(Be64(v));
          have_duration = true;
        }
        break;
      case tags::kEditUnitByteCount:
        if (len >= 4) seg.edit_unit_byte_count = Be32(v);
        break;
      case tags::kIndexSid:
        if (len >= 4) seg.index_sid = Be32(v);
        break;
      case tags::kBodySid:
        if (len >= 4) seg.body_sid = Be32(v);
        break;
      case tags::kSliceCount:
        if (len >= 1) slice_count = v[0];
        break;
      case tags::kPosTableCount:
        if (len >= 1) pos_table_count = v[0];
        break;
      case tags::kIndexEntryArray:
        entries = v;
        entries_length = len;
        break;
      default:
        break;
    }
    at += 4 + std::size_t{len};
  }
  if (seg.start < 0 || seg.duration < 0) return ASDCP::RESULT_KLV_CODING;
  if (entries != nullptr && seg.edit_unit_byte_count == 0) {
    if (entries_length < 8) return ASDCP::RESULT_KLV_CODING;
    const std::uint32_t count = Be32(entries);
    const std::uint32_t item = Be32(entries + 4);
    const std::uint32_t minimum = 11 + 4 * slice_count + 8 * pos_table_count;
    if (count > 0 && (item < minimum || count > (entries_length - 8) / item)) return ASDCP::RESULT_KLV_CODING;
    std::uint32_t usable = count;
    if (have_duration && static_cast<std::uint64_t>(seg.duration) < usable)
      usable = static_cast<std::uint32_t>(seg.duration);
    seg.stream_offsets.reserve(usable);
    for (std::uint32_t i = 0; i < usable; ++i)
      seg.stream_offsets.push_back(Be64(entries + 8 + std::size_t{i} * item + 3));
    seg.duration = usable;
  } else if (seg.edit_unit_byte_count == 0) {
    seg.duration = 0;  // neither entries nor a constant size: nothing to look up
  }
  return Kumu::RESULT_OK;
}

}  // namespace

Result_t ReadIndexSegments(File& file, std::uint64_t pos, std::uint64_t byte_count,
                           std::vector<IndexSegment>& out) {
  if (byte_count == 0) return Kumu::RESULT_OK;
  if (byte_count > kMaxIndexBytes) return ASDCP::RESULT_KLV_CODING;
  if (pos > file.Size() || byte_count > file.Size() - pos) return Kumu::RESULT_READFAIL;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(byte_count));
  } catch (const std::bad_alloc&) {
    return Kumu::RESULT_ALLOC;
  }
  if (!file.ReadAt(pos, bytes.data(), bytes.size())) return Kumu::RESULT_READFAIL;
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 17) break;
    const std::uint8_t* p = bytes.data() + at;
    if (std::memcmp(p, kUlPrefix, 4) != 0) return ASDCP::RESULT_KLV_CODING;
    std::uint64_t length = 0;
    const std::size_t ber = DecodeBer(p + 16, bytes.size() - at - 16, length);
    if (ber == 0) return ASDCP::RESULT_KLV_CODING;
    const std::size_t value = at + 16 + ber;
    if (length > bytes.size() - value) return ASDCP::RESULT_KLV_CODING;
    if (SameLabel(p, labels::kIndexSegment.data())) {
      IndexSegment seg;
      Result_t r = ParseIndexSegment(bytes.data() + value, static_cast<std::size_t>(length), seg);
      if (r.Failure()) return r;
      out.push_back(std::move(seg));
    }
    at = value + static_cast<std::size_t>(length);
  }
  return Kumu::RESULT_OK;
}

}  // namespace mxf_internal
