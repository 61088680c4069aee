// Essence-type probe, frame buffers and the JPEG 2000 track-file reader.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#include "mxf/AS_DCP.h"
#include "mxf/j2k_header.h"
#include "mxf/klv.h"
#include "mxf/labels.h"
#include "mxf/lookup_steps.h"
#include "mxf/metadata.h"

namespace mxf_internal {

namespace {
std::atomic<std::uint64_t> lookup_steps{0};
}  // namespace

std::uint64_t LookupSteps() { return lookup_steps.load(std::memory_order_relaxed); }

namespace {

// Ranges [lo, hi), in the order a lookup prefers them, and the first of them
// that holds a value, found by a binary search: each range keeps only the
// values no range before it holds, so what is kept is disjoint and sorted.
class FirstHolder {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Range {
    std::uint64_t lo;
    std::uint64_t hi;
  };

  // `ranges` sorted by lo.
  void Assign(const std::vector<Range>& ranges) {
    pieces_.clear();
    std::uint64_t covered = 0;  // values below this are held by an earlier range
    for (std::size_t i = 0; i < ranges.size(); ++i) {
      const std::uint64_t lo = std::max(ranges[i].lo, covered);
      if (lo < ranges[i].hi) pieces_.push_back({lo, ranges[i].hi, i});
      covered = std::max(covered, ranges[i].hi);
    }
  }
  void Clear() { pieces_.clear(); }

  // The index (in Assign's order) of the first range that holds v, or kNone;
  // `steps` counts the ranges looked at.
  std::size_t Find(std::uint64_t v, std::uint64_t& steps) const {
    std::size_t lo = 0, hi = pieces_.size();  // the answer is the last piece with lo <= v
    while (lo < hi) {
      ++steps;
      const std::size_t mid = lo + (hi - lo) / 2;
      if (pieces_[mid].lo <= v)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo == 0 || v >= pieces_[lo - 1].hi) return kNone;
    return pieces_[lo - 1].index;
  }

  // The disjoint pieces, sorted: for walks over sorted values.
  struct Piece {
    std::uint64_t lo;
    std::uint64_t hi;
    std::size_t index;
  };
  const std::vector<Piece>& Pieces() const { return pieces_; }

 private:
  std::vector<Piece> pieces_;
};

// Adds the steps of one call to the counter when the call ends.
class StepCount {
 public:
  StepCount() = default;
  StepCount(const StepCount&) = delete;
  StepCount& operator=(const StepCount&) = delete;
  ~StepCount() { lookup_steps.fetch_add(steps, std::memory_order_relaxed); }
  std::uint64_t steps = 0;
};

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

}  // namespace
}  // namespace mxf_internal

namespace ASDCP {

using namespace mxf_internal;

const char* Version() { return "1.0.0"; }

// ---------------------------------------------------------------------------
// FrameBuffer

FrameBuffer::~FrameBuffer() {
  if (own_memory_) delete[] data_;
}

Result_t FrameBuffer::Capacity(ui32_t capacity) {
  if (data_ != nullptr && !own_memory_) return RESULT_CAPEXTMEM;
  if (capacity_ >= capacity && data_ != nullptr) return RESULT_OK;
  byte_t* block = new (std::nothrow) byte_t[capacity == 0 ? 1 : capacity];
  if (block == nullptr) return RESULT_ALLOC;
  if (own_memory_) delete[] data_;
  data_ = block;
  own_memory_ = true;
  capacity_ = capacity;
  size_ = 0;
  return RESULT_OK;
}

Result_t FrameBuffer::SetData(byte_t* data, ui32_t capacity) {
  if (data == nullptr) return RESULT_PTR;
  if (own_memory_) delete[] data_;
  data_ = data;
  own_memory_ = false;
  capacity_ = capacity;
  size_ = 0;
  return RESULT_OK;
}

Result_t FrameBuffer::Size(ui32_t size) {
  if (size > capacity_) return RESULT_SMALLBUF;
  size_ = size;
  return RESULT_OK;
}

namespace {

// ---------------------------------------------------------------------------
// Header metadata helpers shared by the probe and the reader

Result_t OpenHeader(const char* filename, File& file, PartitionPack& header, HeaderMetadata& md) {
  if (filename == nullptr) return RESULT_PTR;
  if (!file.Open(filename)) return RESULT_FILEOPEN;
  if (file.Size() == 0) return RESULT_ENDOFFILE;
  Result_t r = ReadPartitionPack(file, 0, header);
  if (r.Failure()) return r;
  if (header.kind != labels::kHeaderPartition) return RESULT_FORMAT;
  return md.Read(file, header.metadata_start, header.header_byte_count);
}

bool IsPictureDescriptor(const HeaderMetadata& md, const LocalSet& s) {
  return md.IsA(s, labels::kRgbaDescriptor) || md.IsA(s, labels::kCdciDescriptor) ||
         md.IsA(s, labels::kGenericPictureDescriptor);
}

// A picture descriptor that labels its essence as JPEG 2000 (container or coding).
bool DescribesJpeg2000(const HeaderMetadata& md, const LocalSet& s) {
  UL ul;
  if (md.GetUl(s, tags::kEssenceContainer, ul) &&
      SameLabelPrefix(ul.data(), labels::kJpeg2000FrameWrapped.data(), 14))
    return true;
  if (md.GetUl(s, tags::kPictureEssenceCoding, ul) &&
      SameLabelPrefix(ul.data(), labels::kJpeg2000CodingPrefix.data(), 13))
    return true;
  return false;
}

EssenceType_t DecideEssenceType(const HeaderMetadata& md) {
  const bool stereo = md.FindFirst(labels::kStereoscopicSubDescriptor) != nullptr;
  if (md.FindFirst(labels::kJpeg2000SubDescriptor) != nullptr)
    return stereo ? ESS_JPEG_2000_S : ESS_JPEG_2000;
  if (const LocalSet* wave = md.FindFirst(labels::kWaveAudioDescriptor)) {
    std::int32_t num = 0, den = 0;
    if (md.GetRational(*wave, tags::kAudioSamplingRate, num, den) && num == 96000 && den == 1)
      return ESS_PCM_24b_96k;
    return ESS_PCM_24b_48k;
  }
  if (md.FindFirst(labels::kMpeg2VideoDescriptor) != nullptr) return ESS_MPEG2_VES;
  if (md.FindFirst(labels::kTimedTextDescriptor) != nullptr) return ESS_TIMED_TEXT;
  if (md.FindFirst(labels::kDcDataDescriptor) != nullptr ||
      md.FindFirst(labels::kPrivateDcDataDescriptor) != nullptr)
    return md.FindFirst(labels::kDolbyAtmosSubDescriptor) != nullptr ? ESS_DCDATA_DOLBY_ATMOS
                                                                     : ESS_DCDATA_UNKNOWN;
  // Other writers may leave out the JPEG 2000 sub-descriptor; their picture
  // descriptor still names JPEG 2000.
  for (const LocalSet& s : md.Sets()) {
    if (IsPictureDescriptor(md, s) && DescribesJpeg2000(md, s))
      return stereo ? ESS_JPEG_2000_S : ESS_JPEG_2000;
  }
  return ESS_UNKNOWN;
}

bool IsJpeg2000Element(const UL& key) {
  return SameLabelPrefix(key.data(), labels::kJpeg2000Element.data(), 13) &&
         key[14] == labels::kJpeg2000Element[14];
}

bool IsEncryptedTriplet(const UL& key) {
  return SameLabelPrefix(key.data(), labels::kEncryptedTriplet.data(), 15);
}

// KLVs that may stand in front of the picture element inside a content package.
bool IsSkippableInPackage(const UL& key) {
  if (SameLabel(key.data(), labels::kFill.data())) return true;
  if (SameLabelPrefix(key.data(), labels::kSystemItemPrefix.data(), 13)) return true;
  if (SameLabelPrefix(key.data(), labels::kPackageMetadataPrefix.data(), 13)) return true;
  // Other generic-container elements (sound, data, other pictures).
  return SameLabelPrefix(key.data(), labels::kGenericContainerElementPrefix.data(), 12);
}

}  // namespace

Result_t EssenceType(const char* filename, EssenceType_t& type) {
  File file;
  PartitionPack header;
  HeaderMetadata md;
  Result_t r = OpenHeader(filename, file, header, md);
  if (r.Failure()) return r;
  type = DecideEssenceType(md);
  return RESULT_OK;
}

namespace JP2K {

// ---------------------------------------------------------------------------
// The reader

class MXFReader::h__Reader {
 public:
  Result_t Open(const char* filename);
  Result_t ReadFrame(ui32_t n, FrameBuffer& buf, AESDecContext* ctx);
  void Close() {
    file_.Close();
    open_ = false;
    parts_.clear();
    segments_.clear();
    scanned_.clear();
    scanned_parts_.clear();
    part_map_.Clear();
    segment_map_.Clear();
    essence_bytes_ = 0;
    clip_ = false;
  }
  bool IsOpen() const { return open_; }
  const PictureDescriptor& Descriptor() const { return desc_; }
  Result_t LargestFrameSize(ui32_t& size) const;

 private:
  // Essence bytes of one partition: stream offsets [body_offset, body_offset + end - start).
  struct EssencePart {
    std::uint64_t body_offset;
    std::uint64_t start;
    std::uint64_t end;
  };
  // A partition a key scan went through: the number of the first frame
  // found in it, and the end of its essence.
  struct ScannedPart {
    std::uint64_t first;
    std::uint64_t limit;
  };

  Result_t DoOpen(const char* filename);
  // The steps of DoOpen once the header metadata is read, in their order.
  // Whether the essence is encrypted.
  void DetectEncryption(const PartitionPack& header, const HeaderMetadata& md);
  // Edit and sample rates (RESULT_SFORMAT for a stereoscopic pair of rates,
  // RESULT_FORMAT for other unequal rates), stored size, aspect ratio, and the
  // descriptor's container duration (0 when absent).
  Result_t ReadPictureProperties(const HeaderMetadata& md, const LocalSet& track, const LocalSet& descriptor,
                                 std::uint64_t& container_duration);
  // The partitions, the body stream of the picture essence, its index
  // segments and essence, and where its frames lie.
  Result_t LocateEssence(const PartitionPack& header, const HeaderMetadata& md, const LocalSet* ecd);
  // The index segments of the stream and the essence of every partition of
  // its body stream, both in stream order, and the segment lookup.
  Result_t CollectIndexAndEssence(const std::vector<PartitionPack>& partitions, std::uint64_t rip_offset,
                                  std::uint32_t body_sid, std::uint32_t index_sid);
  // The container duration, or when it is 0 the one of the index, the key
  // scan or the track; limited to 32 bits.
  ui32_t FrameCount(const HeaderMetadata& md, const LocalSet& track, std::uint64_t container_duration) const;
  // The coding parameters from the sub-descriptor, else from the first
  // frame's codestream.
  Result_t FillCodingParameters(const HeaderMetadata& md, const LocalSet* sub);
  Result_t ListPartitions(const PartitionPack& header, std::vector<PartitionPack>& out,
                          std::uint64_t& rip_offset);
  // The lookups of edit units in the index segments and of stream offsets in
  // the partitions; built once the segments and partitions are final.
  void MapSegments();
  void MapParts();
  Result_t StreamOffset(ui32_t n, std::uint64_t& offset, std::uint64_t& steps) const;
  Result_t Locate(ui32_t n, std::uint64_t& pos, std::uint64_t& limit, bool& exact) const;
  void DetectClipWrapping();
  Result_t ReadClipFrame(ui32_t n, FrameBuffer& buf);
  void ScanForFrames();
  std::uint64_t IndexedFrames() const;
  void FillFromSubDescriptor(const HeaderMetadata& md, const LocalSet& sub);
  void FillFromCodestream(const CodestreamParams& cp);

  File file_;
  bool open_ = false;
  bool encrypted_ = false;
  bool clip_ = false;  // all frames in one KLV, indexed inside its value
  PictureDescriptor desc_{};
  std::vector<EssencePart> parts_;
  std::vector<IndexSegment> segments_;
  std::vector<std::uint64_t> scanned_;      // frame positions found by a key scan (no index)
  std::vector<ScannedPart> scanned_parts_;  // in the order of the scan
  FirstHolder part_map_;                    // stream offsets to parts_
  FirstHolder segment_map_;                 // edit units to segments_
  std::uint64_t essence_bytes_ = 0;         // of all parts_
};

namespace {

// At most this many frames are collected by a key scan (about 194 hours at 24 fps).
constexpr std::size_t kMaxScannedFrames = std::size_t{1} << 24;
// At most this many KLVs are stepped over in front of a picture element.
constexpr int kMaxItemsBeforeElement = 64;

bool IsStereoRatePair(const Rational& edit, const Rational& sample) {
  static constexpr std::int32_t kPairs[][2] = {{24, 48}, {25, 50}, {30, 60}, {48, 96}, {50, 100}, {60, 120}};
  if (edit.Denominator != 1 || sample.Denominator != 1) return false;
  for (const auto& p : kPairs) {
    if (edit.Numerator == p[0] && sample.Numerator == p[1]) return true;
  }
  return false;
}

// The file (source) package that carries a descriptor; the one the essence
// container data links to when there are several.
const LocalSet* FindFilePackage(const HeaderMetadata& md, const LocalSet* ecd) {
  const LocalSet* package = nullptr;
  for (const LocalSet& s : md.Sets()) {
    if (!md.IsA(s, labels::kSourcePackage) || md.Get(s, tags::kDescriptor).size() != 16) continue;
    if (package == nullptr) package = &s;
    if (ecd != nullptr) {
      auto linked = md.Get(*ecd, tags::kLinkedPackageUid);
      auto uid = md.Get(s, tags::kPackageUid);
      if (!linked.empty() && linked.size() == uid.size() &&
          std::memcmp(linked.data(), uid.data(), uid.size()) == 0) {
        package = &s;
        break;
      }
    }
  }
  if (package == nullptr) package = md.FindFirst(labels::kSourcePackage);
  return package;
}

// The picture descriptor: the package's own, or one of a multiple
// descriptor's parts; else the first picture descriptor of the file.
const LocalSet* FindPictureDescriptor(const HeaderMetadata& md, const LocalSet& package) {
  if (const LocalSet* d = md.FindByUid(md.Get(package, tags::kDescriptor))) {
    if (IsPictureDescriptor(md, *d)) return d;
    if (md.IsA(*d, labels::kMultipleDescriptor)) {
      for (const UL& ref : md.GetUlBatch(md.Get(*d, tags::kSubDescriptorUids))) {
        const LocalSet* part = md.FindByUid(ref);
        if (part != nullptr && IsPictureDescriptor(md, *part)) return part;
      }
    }
  }
  for (const LocalSet& s : md.Sets()) {
    if (IsPictureDescriptor(md, s)) return &s;
  }
  return nullptr;
}

// The JPEG 2000 sub-descriptor the picture descriptor refers to, else the
// first of the file; null when there is none.
const LocalSet* FindJpeg2000SubDescriptor(const HeaderMetadata& md, const LocalSet& descriptor) {
  for (const UL& ref : md.GetUlBatch(md.GetByLabel(descriptor, labels::kSubDescriptorsProperty))) {
    const LocalSet* s = md.FindByUid(ref);
    if (s != nullptr && md.IsA(*s, labels::kJpeg2000SubDescriptor)) return s;
  }
  return md.FindFirst(labels::kJpeg2000SubDescriptor);
}

// The picture track of the file package: the one the descriptor links to,
// else the one with picture data, else the first track of the file.
const LocalSet* FindPictureTrack(const HeaderMetadata& md, const LocalSet& package,
                                 const LocalSet& descriptor) {
  std::uint32_t linked_track = 0;
  const bool has_link = md.GetU32(descriptor, tags::kLinkedTrackId, linked_track);
  const LocalSet* picture_track = nullptr;
  for (const UL& ref : md.GetUlBatch(md.Get(package, tags::kTracks))) {
    const LocalSet* t = md.FindByUid(ref);
    if (t == nullptr || !md.IsA(*t, labels::kTrack)) continue;
    std::uint32_t id = 0;
    if (has_link && md.GetU32(*t, tags::kTrackId, id) && id == linked_track) return t;
    if (picture_track == nullptr) {
      const LocalSet* seq = md.FindByUid(md.Get(*t, tags::kTrackSequence));
      UL dd;
      if (seq != nullptr && md.GetUl(*seq, tags::kDataDefinition, dd) &&
          SameLabel(dd.data(), labels::kPictureDataDefinition.data()))
        picture_track = t;
    }
  }
  if (picture_track != nullptr) return picture_track;
  return md.FindFirst(labels::kTrack);
}

// The body stream that holds the picture essence: the one the essence
// container data names when a partition carries it, else the first body
// stream of the partitions; 0 when there is none.
std::uint32_t PictureBodySid(std::uint32_t named, const std::vector<PartitionPack>& partitions) {
  bool sid_present = false;
  for (const PartitionPack& p : partitions) sid_present |= (named != 0 && p.body_sid == named);
  if (sid_present) return named;
  for (const PartitionPack& p : partitions) {
    if (p.body_sid != 0) return p.body_sid;
  }
  return 0;
}

}  // namespace

Result_t MXFReader::h__Reader::Open(const char* filename) {
  Close();
  Result_t r = DoOpen(filename);
  if (r.Failure()) {
    Close();
    return r;
  }
  open_ = true;
  return RESULT_OK;
}

Result_t MXFReader::h__Reader::ListPartitions(const PartitionPack& header, std::vector<PartitionPack>& out,
                                              std::uint64_t& rip_offset) {
  const std::uint64_t size = file_.Size();
  rip_offset = size;
  out.clear();

  // 1. The random index pack at the end of the file.
  std::uint8_t tail[4];
  if (size >= 4 && file_.ReadAt(size - 4, tail, 4)) {
    const std::uint32_t rip_length = Be32(tail);
    KlvHeader klv;
    if (rip_length >= 20 + 4 && rip_length <= size && rip_length <= (16u << 20) &&
        ReadKlvHeader(file_, size - rip_length, klv) == KlvStatus::kOk &&
        SameLabel(klv.key.data(), labels::kRandomIndexPack.data()) && klv.End() == size && klv.length >= 4) {
      const std::uint64_t pairs = (klv.length - 4) / 12;
      std::vector<std::uint8_t> v(static_cast<std::size_t>(pairs * 12));
      if (file_.ReadAt(klv.ValueOffset(), v.data(), v.size())) {
        std::vector<std::uint64_t> offsets;
        for (std::uint64_t i = 0; i < pairs; ++i) offsets.push_back(Be64(v.data() + i * 12 + 4));
        std::sort(offsets.begin(), offsets.end());
        offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
        bool good = !offsets.empty() && offsets.front() == 0;
        for (std::uint64_t off : offsets) {
          PartitionPack p;
          if (!good || off >= size - rip_length || ReadPartitionPack(file_, off, p).Failure()) {
            good = false;
            break;
          }
          out.push_back(std::move(p));
        }
        if (good) {
          rip_offset = size - rip_length;
          return RESULT_OK;
        }
        out.clear();
      }
    }
  }

  // 2. The footer named by the header, then the chain of previous partitions.
  if (header.footer_partition > 0 && header.footer_partition < size) {
    std::vector<PartitionPack> chain;
    std::uint64_t off = header.footer_partition;
    bool good = true;
    while (true) {
      PartitionPack p;
      if (ReadPartitionPack(file_, off, p).Failure()) {
        good = false;
        break;
      }
      chain.push_back(std::move(p));
      const std::uint64_t prev = chain.back().previous_partition;
      if (off == 0) break;
      if (prev >= off) {  // the chain must move towards the start of the file
        good = false;
        break;
      }
      off = prev;
    }
    if (good && chain.back().offset == 0) {
      std::reverse(chain.begin(), chain.end());
      out = std::move(chain);
      return RESULT_OK;
    }
  }

  // 3. Walk the file KLV by KLV from the header, collecting partition packs.
  out.push_back(header);
  std::uint64_t pos = header.pack_end;
  while (pos < size) {
    KlvHeader klv;
    if (ReadKlvHeader(file_, pos, klv) != KlvStatus::kOk) break;
    if (SameLabelPrefix(klv.key.data(), labels::kPartitionPackPrefix.data(), 13) && klv.key[13] >= 2 &&
        klv.key[13] <= 4) {
      PartitionPack p;
      if (ReadPartitionPack(file_, pos, p).Failure()) break;
      out.push_back(std::move(p));
    } else if (SameLabel(klv.key.data(), labels::kRandomIndexPack.data())) {
      rip_offset = pos;
      break;
    }
    pos = klv.End();
  }
  return RESULT_OK;
}

void MXFReader::h__Reader::FillFromSubDescriptor(const HeaderMetadata& md, const LocalSet& sub) {
  auto u16 = [&](std::uint8_t nn, ui16_t& v) {
    auto s = md.GetByLabel(sub, labels::Jpeg2000Property(nn));
    if (s.size() >= 2) v = Be16(s.data());
  };
  auto u32 = [&](std::uint8_t nn, ui32_t& v) {
    auto s = md.GetByLabel(sub, labels::Jpeg2000Property(nn));
    if (s.size() >= 4) v = Be32(s.data());
  };
  u16(labels::kRsize, desc_.Rsize);
  u32(labels::kXsize, desc_.Xsize);
  u32(labels::kYsize, desc_.Ysize);
  u32(labels::kXOsize, desc_.XOsize);
  u32(labels::kYOsize, desc_.YOsize);
  u32(labels::kXTsize, desc_.XTsize);
  u32(labels::kYTsize, desc_.YTsize);
  u32(labels::kXTOsize, desc_.XTOsize);
  u32(labels::kYTOsize, desc_.YTOsize);
  u16(labels::kCsize, desc_.Csize);

  // Component sizes: an array (count, item size 3, items); a bare list of
  // 3-byte items is accepted too.  At most MaxComponents are kept.
  auto comps = md.GetByLabel(sub, labels::Jpeg2000Property(labels::kPictureComponentSizing));
  const std::uint8_t* items = nullptr;
  std::size_t count = 0;
  if (comps.size() >= 8 && Be32(comps.data() + 4) == 3 && Be32(comps.data()) <= (comps.size() - 8) / 3) {
    items = comps.data() + 8;
    count = Be32(comps.data());
  } else if (!comps.empty() && comps.size() % 3 == 0) {
    items = comps.data();
    count = comps.size() / 3;
  }
  for (std::size_t c = 0; c < count && c < MaxComponents; ++c)
    desc_.ImageComponents[c] = {items[3 * c], items[3 * c + 1], items[3 * c + 2]};

  auto cod = md.GetByLabel(sub, labels::Jpeg2000Property(labels::kCodingStyleDefault));
  if (!cod.empty())
    std::memcpy(&desc_.CodingStyleDefault, cod.data(), std::min(cod.size(), sizeof(CodingStyleDefault_t)));
  auto qcd = md.GetByLabel(sub, labels::Jpeg2000Property(labels::kQuantizationDefault));
  if (!qcd.empty()) {
    desc_.QuantizationDefault.Sqcd = qcd[0];
    const std::size_t n = std::min<std::size_t>(qcd.size() - 1, MaxDefaults);
    std::memcpy(desc_.QuantizationDefault.SPqcd, qcd.data() + 1, n);
    // A full table of 256 values does not fit the one-byte length; it then reads 255.
    desc_.QuantizationDefault.SPqcdLength = static_cast<ui8_t>(std::min<std::size_t>(n, 255));
  }
}

void MXFReader::h__Reader::FillFromCodestream(const CodestreamParams& cp) {
  desc_.Rsize = cp.rsiz;
  desc_.Xsize = cp.xsiz;
  desc_.Ysize = cp.ysiz;
  desc_.XOsize = cp.xosiz;
  desc_.YOsize = cp.yosiz;
  desc_.XTsize = cp.xtsiz;
  desc_.YTsize = cp.ytsiz;
  desc_.XTOsize = cp.xtosiz;
  desc_.YTOsize = cp.ytosiz;
  desc_.Csize = cp.csiz;
  std::memset(desc_.ImageComponents, 0, sizeof desc_.ImageComponents);
  for (std::size_t c = 0; c < cp.components.size() && c < MaxComponents; ++c)
    desc_.ImageComponents[c] = {cp.components[c].ssiz, cp.components[c].xrsiz, cp.components[c].yrsiz};
  std::memset(&desc_.CodingStyleDefault, 0, sizeof desc_.CodingStyleDefault);
  if (!cp.cod.empty())
    std::memcpy(&desc_.CodingStyleDefault, cp.cod.data(),
                std::min(cp.cod.size(), sizeof(CodingStyleDefault_t)));
  std::memset(&desc_.QuantizationDefault, 0, sizeof desc_.QuantizationDefault);
  if (!cp.qcd.empty()) {
    desc_.QuantizationDefault.Sqcd = cp.qcd[0];
    const std::size_t n = std::min<std::size_t>(cp.qcd.size() - 1, MaxDefaults);
    std::memcpy(desc_.QuantizationDefault.SPqcd, cp.qcd.data() + 1, n);
    desc_.QuantizationDefault.SPqcdLength = static_cast<ui8_t>(std::min<std::size_t>(n, 255));
  }
}

Result_t MXFReader::h__Reader::DoOpen(const char* filename) {
  PartitionPack header;
  HeaderMetadata md;
  Result_t r = OpenHeader(filename, file_, header, md);
  if (r.Failure()) return r;
  desc_ = PictureDescriptor{};

  if (md.FindFirst(labels::kIdentification) == nullptr) return RESULT_FAIL;

  const LocalSet* ecd = md.FindFirst(labels::kEssenceContainerData);
  const LocalSet* package = FindFilePackage(md, ecd);
  if (package == nullptr) return RESULT_FAIL;

  DetectEncryption(header, md);

  const LocalSet* descriptor = FindPictureDescriptor(md, *package);
  if (descriptor == nullptr) return RESULT_FORMAT;

  // Stereoscopic essence holds two codestreams per edit unit; it is not read as 2D.
  if (md.FindFirst(labels::kStereoscopicSubDescriptor) != nullptr) return RESULT_SFORMAT;

  const LocalSet* sub = FindJpeg2000SubDescriptor(md, *descriptor);
  if (sub == nullptr && !DescribesJpeg2000(md, *descriptor)) return RESULT_FORMAT;

  const LocalSet* track = FindPictureTrack(md, *package, *descriptor);
  if (track == nullptr) return RESULT_FORMAT;

  std::uint64_t container_duration = 0;
  r = ReadPictureProperties(md, *track, *descriptor, container_duration);
  if (r.Failure()) return r;

  r = LocateEssence(header, md, ecd);
  if (r.Failure()) return r;

  desc_.ContainerDuration = FrameCount(md, *track, container_duration);

  return FillCodingParameters(md, sub);
}

void MXFReader::h__Reader::DetectEncryption(const PartitionPack& header, const HeaderMetadata& md) {
  // Encryption shows in a cryptographic context or in the container labels.
  encrypted_ = md.FindFirst(labels::kCryptographicContext) != nullptr;
  for (const UL& ul : header.essence_containers) {
    if (SameLabel(ul.data(), labels::kEncryptedContainer.data())) encrypted_ = true;
  }
}

Result_t MXFReader::h__Reader::ReadPictureProperties(const HeaderMetadata& md, const LocalSet& track,
                                                     const LocalSet& descriptor,
                                                     std::uint64_t& container_duration) {
  md.GetRational(track, tags::kEditRate, desc_.EditRate.Numerator, desc_.EditRate.Denominator);
  if (!md.GetRational(descriptor, tags::kSampleRate, desc_.SampleRate.Numerator,
                      desc_.SampleRate.Denominator))
    desc_.SampleRate = desc_.EditRate;
  if (desc_.EditRate.Numerator == 0 || desc_.EditRate.Denominator == 0) desc_.EditRate = desc_.SampleRate;
  if (desc_.EditRate != desc_.SampleRate) {
    return IsStereoRatePair(desc_.EditRate, desc_.SampleRate) ? RESULT_SFORMAT : RESULT_FORMAT;
  }
  container_duration = 0;
  md.GetU64(descriptor, tags::kContainerDuration, container_duration);
  md.GetU32(descriptor, tags::kStoredWidth, desc_.StoredWidth);
  md.GetU32(descriptor, tags::kStoredHeight, desc_.StoredHeight);
  md.GetRational(descriptor, tags::kAspectRatio, desc_.AspectRatio.Numerator, desc_.AspectRatio.Denominator);
  return RESULT_OK;
}

Result_t MXFReader::h__Reader::LocateEssence(const PartitionPack& header, const HeaderMetadata& md,
                                             const LocalSet* ecd) {
  // Partitions, and which body stream holds the picture essence.
  std::vector<PartitionPack> partitions;
  std::uint64_t rip_offset = file_.Size();
  Result_t r = ListPartitions(header, partitions, rip_offset);
  if (r.Failure()) return r;
  std::uint32_t body_sid = 0, index_sid = 0;
  if (ecd != nullptr) {
    md.GetU32(*ecd, tags::kBodySid, body_sid);
    md.GetU32(*ecd, tags::kIndexSid, index_sid);
  }
  body_sid = PictureBodySid(body_sid, partitions);
  if (body_sid == 0) return RESULT_FORMAT;

  r = CollectIndexAndEssence(partitions, rip_offset, body_sid, index_sid);
  if (r.Failure()) return r;

  if (segments_.empty())
    ScanForFrames();
  else
    DetectClipWrapping();
  MapParts();
  return RESULT_OK;
}

Result_t MXFReader::h__Reader::CollectIndexAndEssence(const std::vector<PartitionPack>& partitions,
                                                      std::uint64_t rip_offset, std::uint32_t body_sid,
                                                      std::uint32_t index_sid) {
  const std::uint64_t size = file_.Size();
  for (std::size_t i = 0; i < partitions.size(); ++i) {
    const PartitionPack& p = partitions[i];
    const std::uint64_t next = i + 1 < partitions.size() ? partitions[i + 1].offset : rip_offset;
    if (p.header_byte_count > size || p.index_byte_count > size) return RESULT_KLV_CODING;
    const std::uint64_t index_start = p.metadata_start + p.header_byte_count;
    const std::uint64_t index_end = index_start + p.index_byte_count;
    if (index_end > next) return RESULT_KLV_CODING;
    if (p.index_byte_count > 0) {
      std::vector<IndexSegment> found;
      Result_t r = ReadIndexSegments(file_, index_start, p.index_byte_count, found);
      if (r.Failure()) return r;
      for (IndexSegment& seg : found) {
        if (index_sid != 0 && seg.index_sid != 0 && seg.index_sid != index_sid) continue;
        if (seg.body_sid != 0 && seg.body_sid != body_sid) continue;
        if (seg.duration <= 0 && seg.edit_unit_byte_count == 0) continue;
        segments_.push_back(std::move(seg));
      }
    }
    if (p.body_sid == body_sid) {
      const std::uint64_t start = SkipFill(file_, index_end, next);
      if (start <= next) parts_.push_back({p.body_offset, start, next});
    }
  }
  std::stable_sort(segments_.begin(), segments_.end(),
                   [](const IndexSegment& a, const IndexSegment& b) { return a.start < b.start; });
  std::stable_sort(parts_.begin(), parts_.end(),
                   [](const EssencePart& a, const EssencePart& b) { return a.body_offset < b.body_offset; });
  MapSegments();
  return RESULT_OK;
}

void MXFReader::h__Reader::MapSegments() {
  std::vector<FirstHolder::Range> ranges;
  ranges.reserve(segments_.size());
  for (const IndexSegment& seg : segments_) {
    const std::uint64_t start = static_cast<std::uint64_t>(seg.start);
    std::uint64_t units = 0;
    if (seg.edit_unit_byte_count != 0)
      units = seg.duration > 0 ? static_cast<std::uint64_t>(seg.duration) : UINT64_MAX;
    else
      units = seg.stream_offsets.size();
    ranges.push_back({start, SaturatingAdd(start, units)});
  }
  segment_map_.Assign(ranges);
}

void MXFReader::h__Reader::MapParts() {
  std::vector<FirstHolder::Range> ranges;
  ranges.reserve(parts_.size());
  essence_bytes_ = 0;
  for (const EssencePart& p : parts_) {
    ranges.push_back({p.body_offset, SaturatingAdd(p.body_offset, p.end - p.start)});
    essence_bytes_ = SaturatingAdd(essence_bytes_, p.end - p.start);
  }
  part_map_.Assign(ranges);
}

ui32_t MXFReader::h__Reader::FrameCount(const HeaderMetadata& md, const LocalSet& track,
                                        std::uint64_t container_duration) const {
  // A missing container duration is taken from the index, the key scan or the track.
  if (container_duration == 0) container_duration = segments_.empty() ? scanned_.size() : IndexedFrames();
  if (container_duration == 0) {
    const LocalSet* seq = md.FindByUid(md.Get(track, tags::kTrackSequence));
    if (seq != nullptr) md.GetU64(*seq, tags::kDuration, container_duration);
    if (container_duration > (std::uint64_t{1} << 62)) container_duration = 0;  // negative or absurd
  }
  return static_cast<ui32_t>(std::min<std::uint64_t>(container_duration, UINT32_MAX));
}

Result_t MXFReader::h__Reader::FillCodingParameters(const HeaderMetadata& md, const LocalSet* sub) {
  if (sub != nullptr) FillFromSubDescriptor(md, *sub);
  if (sub != nullptr && desc_.Csize != 0 &&
      !md.GetByLabel(*sub, labels::Jpeg2000Property(labels::kCodingStyleDefault)).empty())
    return RESULT_OK;
  // Coding parameters from the first frame's codestream.
  if (encrypted_) return RESULT_FORMAT;
  FrameBuffer frame;
  if (frame.Capacity(4 << 20).Failure()) return RESULT_ALLOC;
  open_ = true;
  Result_t r = ReadFrame(0, frame, nullptr);
  open_ = false;
  if (r.Failure()) return r;
  CodestreamParams cp;
  if (!ParseCodestreamParams(frame.RoData(), frame.Size(), cp)) return RESULT_FORMAT;
  FillFromCodestream(cp);
  return RESULT_OK;
}

std::uint64_t MXFReader::h__Reader::IndexedFrames() const {
  std::uint64_t end = 0;
  for (const IndexSegment& seg : segments_) {
    if (seg.edit_unit_byte_count != 0 && seg.duration == 0) {
      // Constant-size edit units without a stated duration: as many as the essence holds.
      end = std::max<std::uint64_t>(end, essence_bytes_ / seg.edit_unit_byte_count);
    } else {
      end = std::max<std::uint64_t>(
          end, static_cast<std::uint64_t>(seg.start) + static_cast<std::uint64_t>(seg.duration));
    }
  }
  return end;
}

Result_t MXFReader::h__Reader::LargestFrameSize(ui32_t& size) const {
  size = 0;
  if (!open_) return RESULT_INIT;
  if (segments_.empty()) return RESULT_FALSE;
  StepCount count;
  // No unit is larger than the essence of the partition that holds it.
  std::uint64_t longest_part = 0;
  for (const EssencePart& p : parts_) longest_part = std::max(longest_part, p.end - p.start);
  count.steps += parts_.size();
  std::uint64_t largest = 0;
  std::vector<std::uint64_t> offsets;
  for (const IndexSegment& seg : segments_) {
    if (seg.edit_unit_byte_count != 0) {
      largest =
          std::max<std::uint64_t>(largest, std::min<std::uint64_t>(seg.edit_unit_byte_count, longest_part));
    } else {
      offsets.insert(offsets.end(), seg.stream_offsets.begin(), seg.stream_offsets.end());
    }
  }
  count.steps += segments_.size();
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  // Each unit ends where the next one begins, or at the end of the essence of
  // the partition that holds it; a unit outside every partition bounds nothing.
  // Units and partitions are both in stream order: one walk over the two.
  const std::vector<FirstHolder::Piece>& pieces = part_map_.Pieces();
  std::size_t k = 0;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    ++count.steps;
    while (k < pieces.size() && pieces[k].hi <= offsets[i]) {
      ++count.steps;
      ++k;
    }
    if (k == pieces.size()) break;
    if (offsets[i] < pieces[k].lo) continue;
    const std::uint64_t part_end = pieces[k].hi;
    const std::uint64_t next =
        i + 1 < offsets.size() && offsets[i + 1] < part_end ? offsets[i + 1] : part_end;
    largest = std::max(largest, next - offsets[i]);
  }
  size = largest > UINT32_MAX ? UINT32_MAX : static_cast<ui32_t>(largest);
  return RESULT_OK;
}

void MXFReader::h__Reader::ScanForFrames() {
  scanned_.clear();
  scanned_parts_.clear();
  for (const EssencePart& p : parts_) {
    scanned_parts_.push_back({scanned_.size(), p.end});
    std::uint64_t pos = p.start;
    while (pos < p.end && scanned_.size() < kMaxScannedFrames) {
      KlvHeader klv;
      const KlvStatus st = ReadKlvHeader(file_, pos, klv);
      if (st != KlvStatus::kOk && st != KlvStatus::kTruncated) break;
      if (IsJpeg2000Element(klv.key) || IsEncryptedTriplet(klv.key)) scanned_.push_back(pos);
      if (st == KlvStatus::kTruncated) break;
      pos = klv.End();
    }
  }
}

Result_t MXFReader::h__Reader::StreamOffset(ui32_t n, std::uint64_t& offset, std::uint64_t& steps) const {
  // The first segment, in the order of their start, that indexes unit n.
  const std::size_t i = segment_map_.Find(n, steps);
  if (i == FirstHolder::kNone) return RESULT_RANGE;
  const IndexSegment& seg = segments_[i];
  if (seg.edit_unit_byte_count != 0)
    offset = std::uint64_t{n} * seg.edit_unit_byte_count;
  else
    offset = seg.stream_offsets[n - static_cast<std::uint64_t>(seg.start)];
  return RESULT_OK;
}

Result_t MXFReader::h__Reader::Locate(ui32_t n, std::uint64_t& pos, std::uint64_t& limit, bool& exact) const {
  if (segments_.empty()) {
    if (n >= scanned_.size()) return RESULT_RANGE;
    pos = scanned_[n];
    // The last partition whose first frame is not after frame n holds it.
    const auto part = std::upper_bound(scanned_parts_.begin(), scanned_parts_.end(), std::uint64_t{n},
                                       [](std::uint64_t v, const ScannedPart& p) { return v < p.first; });
    limit = std::prev(part)->limit;
    exact = true;
    return RESULT_OK;
  }
  StepCount count;
  std::uint64_t stream_offset = 0;
  Result_t r = StreamOffset(n, stream_offset, count.steps);
  if (r.Failure()) return r;
  exact = false;
  // The first partition, in stream order, whose essence holds the offset.
  const std::size_t i = part_map_.Find(stream_offset, count.steps);
  if (i == FirstHolder::kNone) return RESULT_BADSEEK;
  const EssencePart& p = parts_[i];
  pos = p.start + (stream_offset - p.body_offset);
  limit = p.end;
  return RESULT_OK;
}

void MXFReader::h__Reader::DetectClipWrapping() {
  // Some writers put every codestream into one essence KLV and index the
  // codestreams inside its value, although they label the essence frame
  // wrapped.  Then frame 1 starts inside the first KLV.
  clip_ = false;
  if (segments_.empty() || parts_.size() != 1) return;
  KlvHeader klv;
  std::uint64_t second = 0;
  StepCount count;
  if (ReadKlvHeader(file_, parts_[0].start, klv) != KlvStatus::kOk || !IsJpeg2000Element(klv.key)) return;
  if (StreamOffset(1, second, count.steps).Failure()) return;
  if (second <= parts_[0].body_offset || second - parts_[0].body_offset >= klv.header_size + klv.length)
    return;
  parts_[0].start = klv.ValueOffset();
  parts_[0].end = klv.End();
  clip_ = true;
}

Result_t MXFReader::h__Reader::ReadClipFrame(ui32_t n, FrameBuffer& buf) {
  std::uint64_t pos = 0, limit = 0, next_pos = 0;
  bool exact = false;
  Result_t r = Locate(n, pos, limit, exact);
  if (r.Failure()) return r;
  // The frame runs to the next frame's start, or to the end of the value.
  std::uint64_t next = 0;
  StepCount count;
  if (n < UINT32_MAX && StreamOffset(n + 1, next, count.steps).Success()) {
    if (next < parts_[0].body_offset || next - parts_[0].body_offset > limit - parts_[0].start)
      return RESULT_BADSEEK;
    next_pos = parts_[0].start + (next - parts_[0].body_offset);
  } else {
    next_pos = limit;
  }
  if (next_pos < pos) return RESULT_FORMAT;
  const std::uint64_t length = next_pos - pos;
  if (length > buf.Capacity() || (buf.Data() == nullptr && length > 0)) return RESULT_SMALLBUF;
  if (!file_.ReadAt(pos, buf.Data(), static_cast<std::size_t>(length))) return RESULT_READFAIL;
  buf.Size(static_cast<ui32_t>(length));
  buf.FrameNumber(n);
  buf.SourceLength(0);
  buf.PlaintextOffset(0);
  return RESULT_OK;
}

Result_t MXFReader::h__Reader::ReadFrame(ui32_t n, FrameBuffer& buf, AESDecContext* ctx) {
  if (!open_) return RESULT_INIT;
  if (clip_) return ReadClipFrame(n, buf);
  std::uint64_t pos = 0, limit = 0;
  bool exact = false;
  Result_t r = Locate(n, pos, limit, exact);
  if (r.Failure()) return r;

  // The index points at the edit unit's content package; the picture element
  // may follow a system item, package metadata, fill or other elements.
  for (int step = 0; step < kMaxItemsBeforeElement; ++step) {
    KlvHeader klv;
    const KlvStatus st = ReadKlvHeader(file_, pos, klv);
    switch (st) {
      case KlvStatus::kOk:
      case KlvStatus::kTruncated:
        break;
      case KlvStatus::kEnd:
        return RESULT_ENDOFFILE;
      case KlvStatus::kShort:
        return RESULT_READFAIL;
      case KlvStatus::kNotKlv:
      case KlvStatus::kBadLength:
        return RESULT_FORMAT;
    }
    if (IsEncryptedTriplet(klv.key)) {
      // Ciphertext is never handed out as a codestream.
      return ctx == nullptr ? RESULT_CRYPT_CTX : RESULT_NOTIMPL;
    }
    if (IsJpeg2000Element(klv.key)) {
      if (st == KlvStatus::kTruncated) return RESULT_ENDOFFILE;
      if (klv.End() > limit) return RESULT_KLV_CODING;  // runs into the next partition
      if (klv.length > buf.Capacity()) return RESULT_SMALLBUF;
      if (buf.Data() == nullptr && klv.length > 0) return RESULT_SMALLBUF;
      if (!file_.ReadAt(klv.ValueOffset(), buf.Data(), static_cast<std::size_t>(klv.length)))
        return RESULT_READFAIL;
      buf.Size(static_cast<ui32_t>(klv.length));
      buf.FrameNumber(n);
      buf.SourceLength(0);
      buf.PlaintextOffset(0);
      return RESULT_OK;
    }
    if (exact || st != KlvStatus::kOk || !IsSkippableInPackage(klv.key) || klv.End() >= limit)
      return RESULT_FORMAT;
    pos = klv.End();
  }
  return RESULT_FORMAT;
}

// ---------------------------------------------------------------------------
// Public face

MXFReader::MXFReader() : reader_(std::make_unique<h__Reader>()) {}
MXFReader::~MXFReader() = default;

Result_t MXFReader::OpenRead(const char* filename) const { return reader_->Open(filename); }

Result_t MXFReader::FillPictureDescriptor(PictureDescriptor& desc) const {
  if (!reader_->IsOpen()) return RESULT_INIT;
  desc = reader_->Descriptor();
  return RESULT_OK;
}

Result_t MXFReader::ReadFrame(ui32_t frame_number, FrameBuffer& buf, AESDecContext* ctx, HMACContext*) const {
  return reader_->ReadFrame(frame_number, buf, ctx);
}

Result_t MXFReader::LargestFrameSize(ui32_t& size) const { return reader_->LargestFrameSize(size); }

Result_t MXFReader::Close() const {
  if (!reader_->IsOpen()) return RESULT_INIT;
  reader_->Close();
  return RESULT_OK;
}

}  // namespace JP2K
}  // namespace ASDCP
