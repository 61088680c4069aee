// Writer of small OP-Atom JPEG 2000 track files.
#include "mxf/writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "mxf/j2k_header.h"
#include "mxf/klv.h"
#include "mxf/labels.h"
#include "mxf/metadata.h"

namespace mxfwrite {

using namespace mxf_internal;
using Kumu::Result_t;

namespace {

constexpr UL MakeUl(std::uint8_t b7, std::uint8_t b8, std::uint8_t b9, std::uint8_t b10, std::uint8_t b11,
                    std::uint8_t b12, std::uint8_t b13, std::uint8_t b14 = 0) {
  return UL{0x06, 0x0e, 0x2b, 0x34, 0x01, 0x01, 0x01, b7, b8, b9, b10, b11, b12, b13, b14, 0x00};
}

// Labels of the static local tags this writer uses (the primer lists them).
const std::map<std::uint16_t, UL>& StaticTagLabels() {
  static const std::map<std::uint16_t, UL> kTable = {
      {0x3c0a, MakeUl(0x01, 0x01, 0x01, 0x15, 0x02, 0x00, 0x00)},
      {0x3b02, MakeUl(0x02, 0x07, 0x02, 0x01, 0x10, 0x02, 0x04)},
      {0x3b03, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x02, 0x01)},
      {0x3b05, MakeUl(0x02, 0x03, 0x01, 0x02, 0x01, 0x05, 0x00)},
      {0x3b06, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x06, 0x04)},
      {0x3b09, MakeUl(0x05, 0x01, 0x02, 0x02, 0x03, 0x00, 0x00)},
      {0x3b0a, MakeUl(0x05, 0x01, 0x02, 0x02, 0x10, 0x02, 0x01)},
      {0x3b0b, MakeUl(0x05, 0x01, 0x02, 0x02, 0x10, 0x02, 0x02)},
      {0x3c01, MakeUl(0x02, 0x05, 0x20, 0x07, 0x01, 0x02, 0x01)},
      {0x3c02, MakeUl(0x02, 0x05, 0x20, 0x07, 0x01, 0x03, 0x01)},
      {0x3c04, MakeUl(0x02, 0x05, 0x20, 0x07, 0x01, 0x05, 0x01)},
      {0x3c05, MakeUl(0x02, 0x05, 0x20, 0x07, 0x01, 0x07, 0x00)},
      {0x3c06, MakeUl(0x02, 0x07, 0x02, 0x01, 0x10, 0x02, 0x03)},
      {0x3c09, MakeUl(0x02, 0x05, 0x20, 0x07, 0x01, 0x01, 0x00)},
      {0x1901, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x05, 0x01)},
      {0x1902, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x05, 0x02)},
      {0x2701, MakeUl(0x02, 0x06, 0x01, 0x01, 0x06, 0x01, 0x00)},
      {0x3f06, MakeUl(0x04, 0x01, 0x03, 0x04, 0x05, 0x00, 0x00)},
      {0x3f07, MakeUl(0x04, 0x01, 0x03, 0x04, 0x04, 0x00, 0x00)},
      {0x4401, MakeUl(0x01, 0x01, 0x01, 0x15, 0x10, 0x00, 0x00)},
      {0x4402, MakeUl(0x01, 0x01, 0x03, 0x03, 0x02, 0x01, 0x00)},
      {0x4403, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x06, 0x05)},
      {0x4404, MakeUl(0x02, 0x07, 0x02, 0x01, 0x10, 0x02, 0x05)},
      {0x4405, MakeUl(0x02, 0x07, 0x02, 0x01, 0x10, 0x01, 0x03)},
      {0x4701, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x02, 0x03)},
      {0x4801, MakeUl(0x02, 0x01, 0x07, 0x01, 0x01, 0x00, 0x00)},
      {0x4802, MakeUl(0x02, 0x01, 0x07, 0x01, 0x02, 0x01, 0x00)},
      {0x4803, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x02, 0x04)},
      {0x4804, MakeUl(0x02, 0x01, 0x04, 0x01, 0x03, 0x00, 0x00)},
      {0x4b01, MakeUl(0x02, 0x05, 0x30, 0x04, 0x05, 0x00, 0x00)},
      {0x4b02, MakeUl(0x02, 0x07, 0x02, 0x01, 0x03, 0x01, 0x03)},
      {0x0201, MakeUl(0x02, 0x04, 0x07, 0x01, 0x00, 0x00, 0x00)},
      {0x0202, MakeUl(0x02, 0x07, 0x02, 0x02, 0x01, 0x01, 0x03)},
      {0x1001, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x06, 0x09)},
      {0x1101, MakeUl(0x02, 0x06, 0x01, 0x01, 0x03, 0x01, 0x00)},
      {0x1102, MakeUl(0x02, 0x06, 0x01, 0x01, 0x03, 0x02, 0x00)},
      {0x1201, MakeUl(0x02, 0x07, 0x02, 0x01, 0x03, 0x01, 0x04)},
      {0x3001, MakeUl(0x01, 0x04, 0x06, 0x01, 0x01, 0x00, 0x00)},
      {0x3002, MakeUl(0x01, 0x04, 0x06, 0x01, 0x02, 0x00, 0x00)},
      {0x3004, MakeUl(0x02, 0x06, 0x01, 0x01, 0x04, 0x01, 0x02)},
      {0x3006, MakeUl(0x05, 0x06, 0x01, 0x01, 0x03, 0x05, 0x00)},
      {0x3201, MakeUl(0x02, 0x04, 0x01, 0x06, 0x01, 0x00, 0x00)},
      {0x3202, MakeUl(0x01, 0x04, 0x01, 0x05, 0x02, 0x01, 0x00)},
      {0x3203, MakeUl(0x01, 0x04, 0x01, 0x05, 0x02, 0x02, 0x00)},
      {0x320c, MakeUl(0x01, 0x04, 0x01, 0x03, 0x01, 0x04, 0x00)},
      {0x320e, MakeUl(0x01, 0x04, 0x01, 0x01, 0x01, 0x01, 0x00)},
      {0x3406, MakeUl(0x05, 0x04, 0x01, 0x05, 0x03, 0x0b, 0x00)},
      {0x3407, MakeUl(0x05, 0x04, 0x01, 0x05, 0x03, 0x0c, 0x00)},
  };
  return kTable;
}

// Dynamic tags: the SubDescriptors reference and the JPEG 2000 properties.
constexpr std::uint16_t kSubDescriptorsTag = 0xffff;
constexpr std::uint16_t Jpeg2000Tag(std::uint8_t nn) { return static_cast<std::uint16_t>(0xffff - nn); }

constexpr UL kUmidPrefix = {0x06, 0x0a, 0x2b, 0x34, 0x01, 0x01, 0x01, 0x05,
                            0x01, 0x01, 0x0f, 0x20, 0x13, 0x00, 0x00, 0x00};
constexpr std::uint32_t kIndexSid = 129;
constexpr std::uint32_t kBodySid = 1;
constexpr std::uint32_t kTrackId = 2;
constexpr std::uint32_t kPictureTrackNumber = 0x15010801;
constexpr std::uint32_t kIndexEntriesPerSegment = 5000;

// Deterministic identifiers (version 4 layout) from a seed.
class UidSource {
 public:
  explicit UidSource(std::uint64_t seed) : state_(seed * 0x9e3779b97f4a7c15ull + 0x632be59bd9b4e019ull) {}
  UL Next() {
    UL u;
    for (int i = 0; i < 16; i += 8) {
      const std::uint64_t v = Step();
      for (int b = 0; b < 8; ++b) u[i + b] = static_cast<std::uint8_t>(v >> (8 * b));
    }
    u[6] = static_cast<std::uint8_t>((u[6] & 0x0f) | 0x40);
    u[8] = static_cast<std::uint8_t>((u[8] & 0x3f) | 0x80);
    return u;
  }

 private:
  std::uint64_t Step() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545f4914f6cdd1dull;
  }
  std::uint64_t state_;
};

// One local set under construction.
class SetWriter {
 public:
  SetWriter(const UL& key, std::vector<std::uint16_t>& used) : key_(key), used_(used) {}
  void Raw(std::uint16_t tag, const std::uint8_t* p, std::size_t n) {
    used_.push_back(tag);
    PutBe16(v_, tag);
    PutBe16(v_, static_cast<std::uint16_t>(n));
    PutBytes(v_, p, n);
  }
  void U8(std::uint16_t tag, std::uint8_t x) { Raw(tag, &x, 1); }
  void U16(std::uint16_t tag, std::uint16_t x) {
    std::vector<std::uint8_t> b;
    PutBe16(b, x);
    Raw(tag, b.data(), b.size());
  }
  void U32(std::uint16_t tag, std::uint32_t x) {
    std::vector<std::uint8_t> b;
    PutBe32(b, x);
    Raw(tag, b.data(), b.size());
  }
  void U64(std::uint16_t tag, std::uint64_t x) {
    std::vector<std::uint8_t> b;
    PutBe64(b, x);
    Raw(tag, b.data(), b.size());
  }
  void Rational(std::uint16_t tag, const ASDCP::Rational& r) {
    std::vector<std::uint8_t> b;
    PutBe32(b, static_cast<std::uint32_t>(r.Numerator));
    PutBe32(b, static_cast<std::uint32_t>(r.Denominator));
    Raw(tag, b.data(), b.size());
  }
  void Label(std::uint16_t tag, const UL& ul) { Raw(tag, ul.data(), 16); }
  void Batch(std::uint16_t tag, const std::vector<UL>& items) {
    std::vector<std::uint8_t> b;
    PutBe32(b, static_cast<std::uint32_t>(items.size()));
    PutBe32(b, 16);
    for (const UL& u : items) PutBytes(b, u.data(), 16);
    Raw(tag, b.data(), b.size());
  }
  void Umid(std::uint16_t tag, const UL& material) {
    std::vector<std::uint8_t> b;
    PutBytes(b, kUmidPrefix.data(), 16);
    PutBytes(b, material.data(), 16);
    Raw(tag, b.data(), b.size());
  }
  void ZeroUmid(std::uint16_t tag) {
    const std::uint8_t zero[32] = {};
    Raw(tag, zero, 32);
  }
  void Text(std::uint16_t tag, const char* s) {
    std::vector<std::uint8_t> b;
    for (; *s != 0; ++s) PutBe16(b, static_cast<std::uint8_t>(*s));
    Raw(tag, b.data(), b.size());
  }
  void Timestamp(std::uint16_t tag) {
    // A fixed date keeps the output reproducible: 2026-01-01 00:00:00.000.
    const std::uint8_t t[8] = {0x07, 0xea, 1, 1, 0, 0, 0, 0};
    Raw(tag, t, 8);
  }
  void AppendTo(std::vector<std::uint8_t>& out) const {
    PutBytes(out, key_.data(), 16);
    PutBerLength(out, v_.size());
    PutBytes(out, v_.data(), v_.size());
  }

 private:
  UL key_;
  std::vector<std::uint8_t> v_;
  std::vector<std::uint16_t>& used_;
};

std::vector<std::uint8_t> BuildHeaderMetadata(const CodestreamParams& cp, std::uint32_t frame_count,
                                              const TrackFileOptions& o, bool interop, UidSource& uids) {
  std::vector<std::uint16_t> used;
  std::vector<SetWriter> sets;
  const UL preface = uids.Next(), ident = uids.Next(), storage = uids.Next(), ecd = uids.Next();
  const UL mp = uids.Next(), mp_track = uids.Next(), mp_seq = uids.Next(), mp_clip = uids.Next();
  const UL fp = uids.Next(), fp_track = uids.Next(), fp_seq = uids.Next(), fp_clip = uids.Next();
  const UL rgba = uids.Next(), j2k = uids.Next(), generation = uids.Next(), product = uids.Next();
  const UL mp_material = uids.Next(), fp_material = uids.Next();

  UL op = labels::kOpAtom;
  op[7] = interop ? 0x01 : 0x02;
  const std::uint64_t duration = frame_count;
  ASDCP::Rational aspect = o.aspect_ratio;
  const std::uint32_t width = cp.xsiz - cp.xosiz, height = cp.ysiz - cp.yosiz;
  if (aspect.Denominator == 0) aspect = {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};

  SetWriter s(labels::kPreface, used);
  s.Label(tags::kInstanceUid, preface);
  s.Timestamp(0x3b02);
  s.U16(0x3b05, 0x0102);
  s.Label(0x3b03, storage);
  s.Batch(0x3b06, {ident});
  s.Label(0x3b09, op);
  s.Batch(0x3b0a, {labels::kGenericContainerMultiple, labels::kJpeg2000FrameWrapped});
  s.Batch(0x3b0b, {});
  sets.push_back(s);

  SetWriter id(labels::kIdentification, used);
  id.Label(tags::kInstanceUid, ident);
  id.Label(0x3c09, generation);
  id.Text(0x3c01, "dcp2mov");
  id.Text(0x3c02, "dcp2mov track file writer");
  id.Text(0x3c04, ASDCP::Version());
  id.Label(0x3c05, product);
  id.Timestamp(0x3c06);
  sets.push_back(id);

  SetWriter cs(labels::kContentStorage, used);
  cs.Label(tags::kInstanceUid, storage);
  cs.Batch(tags::kPackages, {mp, fp});
  cs.Batch(0x1902, {ecd});
  sets.push_back(cs);

  SetWriter ec(labels::kEssenceContainerData, used);
  ec.Label(tags::kInstanceUid, ecd);
  ec.Umid(tags::kLinkedPackageUid, fp_material);
  if (o.write_index) ec.U32(tags::kIndexSid, kIndexSid);
  ec.U32(tags::kBodySid, kBodySid);
  sets.push_back(ec);

  // Material package: one picture track whose clip refers to the file package.
  SetWriter m(labels::kMaterialPackage, used);
  m.Label(tags::kInstanceUid, mp);
  m.Umid(tags::kPackageUid, mp_material);
  m.Text(0x4402, "Material Package");
  m.Timestamp(0x4404);
  m.Timestamp(0x4405);
  m.Batch(tags::kTracks, {mp_track});
  sets.push_back(m);

  auto add_track = [&](const UL& track, const UL& seq, const UL& clip, std::uint32_t number, bool refers) {
    SetWriter t(labels::kTrack, used);
    t.Label(tags::kInstanceUid, track);
    t.U32(tags::kTrackId, kTrackId);
    t.U32(tags::kTrackNumber, number);
    t.Text(0x4802, "Picture Track");
    t.Rational(tags::kEditRate, o.edit_rate);
    t.U64(0x4b02, 0);
    t.Label(tags::kTrackSequence, seq);
    sets.push_back(t);
    SetWriter q(labels::kSequence, used);
    q.Label(tags::kInstanceUid, seq);
    q.Label(tags::kDataDefinition, labels::kPictureDataDefinition);
    q.U64(tags::kDuration, duration);
    q.Batch(0x1001, {clip});
    sets.push_back(q);
    SetWriter c(labels::kSourceClip, used);
    c.Label(tags::kInstanceUid, clip);
    c.Label(tags::kDataDefinition, labels::kPictureDataDefinition);
    c.U64(tags::kDuration, duration);
    c.U64(0x1201, 0);
    if (refers) {
      c.Umid(0x1101, fp_material);
      c.U32(0x1102, kTrackId);
    } else {
      c.ZeroUmid(0x1101);
      c.U32(0x1102, 0);
    }
    sets.push_back(c);
  };
  add_track(mp_track, mp_seq, mp_clip, 0, true);

  SetWriter f(labels::kSourcePackage, used);
  f.Label(tags::kInstanceUid, fp);
  f.Umid(tags::kPackageUid, fp_material);
  f.Text(0x4402, "File Package: frame wrapping of JPEG 2000 codestreams");
  f.Timestamp(0x4404);
  f.Timestamp(0x4405);
  f.Batch(tags::kTracks, {fp_track});
  f.Label(tags::kDescriptor, rgba);
  sets.push_back(f);
  add_track(fp_track, fp_seq, fp_clip, kPictureTrackNumber, false);

  SetWriter d(labels::kRgbaDescriptor, used);
  d.Label(tags::kInstanceUid, rgba);
  d.U32(tags::kLinkedTrackId, kTrackId);
  d.Rational(tags::kSampleRate, o.edit_rate);
  d.U64(tags::kContainerDuration, duration);
  d.Label(tags::kEssenceContainer, labels::kJpeg2000FrameWrapped);
  d.U8(0x320c, 0);  // full frame
  d.U32(tags::kStoredWidth, width);
  d.U32(tags::kStoredHeight, height);
  d.Rational(tags::kAspectRatio, aspect);
  d.Label(tags::kPictureEssenceCoding, cp.rsiz == 4 ? labels::kJpeg2000Coding4K : labels::kJpeg2000Coding2K);
  const unsigned depth = cp.components.empty() ? 12u : (cp.components[0].ssiz & 0x7fu) + 1u;
  d.U32(0x3406, depth >= 32 ? 0xffffffffu : (1u << depth) - 1u);
  d.U32(0x3407, 0);
  d.Batch(kSubDescriptorsTag, {j2k});
  sets.push_back(d);

  SetWriter j(labels::kJpeg2000SubDescriptor, used);
  j.Label(tags::kInstanceUid, j2k);
  j.U16(Jpeg2000Tag(labels::kRsize), cp.rsiz);
  j.U32(Jpeg2000Tag(labels::kXsize), cp.xsiz);
  j.U32(Jpeg2000Tag(labels::kYsize), cp.ysiz);
  j.U32(Jpeg2000Tag(labels::kXOsize), cp.xosiz);
  j.U32(Jpeg2000Tag(labels::kYOsize), cp.yosiz);
  j.U32(Jpeg2000Tag(labels::kXTsize), cp.xtsiz);
  j.U32(Jpeg2000Tag(labels::kYTsize), cp.ytsiz);
  j.U32(Jpeg2000Tag(labels::kXTOsize), cp.xtosiz);
  j.U32(Jpeg2000Tag(labels::kYTOsize), cp.ytosiz);
  j.U16(Jpeg2000Tag(labels::kCsize), cp.csiz);
  std::vector<std::uint8_t> sizing;
  PutBe32(sizing, static_cast<std::uint32_t>(cp.components.size()));
  PutBe32(sizing, 3);
  for (const auto& c : cp.components) sizing.insert(sizing.end(), {c.ssiz, c.xrsiz, c.yrsiz});
  j.Raw(Jpeg2000Tag(labels::kPictureComponentSizing), sizing.data(), sizing.size());
  j.Raw(Jpeg2000Tag(labels::kCodingStyleDefault), cp.cod.data(), cp.cod.size());
  j.Raw(Jpeg2000Tag(labels::kQuantizationDefault), cp.qcd.data(), cp.qcd.size());
  sets.push_back(j);

  // The primer lists every tag used, then the sets follow.
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  std::vector<std::uint8_t> primer;
  PutBe32(primer, static_cast<std::uint32_t>(used.size()));
  PutBe32(primer, 18);
  for (std::uint16_t tag : used) {
    UL ul{};
    if (tag == kSubDescriptorsTag) {
      ul = labels::kSubDescriptorsProperty;
      ul[7] = interop ? 0x02 : 0x09;
    } else if (tag >= Jpeg2000Tag(labels::kQuantizationDefault)) {
      ul = labels::Jpeg2000Property(static_cast<std::uint8_t>(0xffff - tag));
    } else {
      ul = StaticTagLabels().at(tag);
    }
    PutBe16(primer, tag);
    PutBytes(primer, ul.data(), 16);
  }
  std::vector<std::uint8_t> out;
  PutBytes(out, labels::kPrimerPack.data(), 16);
  PutBerLength(out, primer.size());
  PutBytes(out, primer.data(), primer.size());
  for (const SetWriter& w : sets) w.AppendTo(out);
  return out;
}

std::vector<std::uint8_t> PartitionPackBytes(std::uint8_t kind, std::uint64_t this_partition,
                                             std::uint64_t previous, std::uint64_t footer,
                                             std::uint64_t header_bytes, std::uint64_t index_bytes,
                                             std::uint32_t index_sid, std::uint32_t body_sid, const UL& op) {
  std::vector<std::uint8_t> v;
  PutBe16(v, 1);
  PutBe16(v, 2);
  PutBe32(v, 1);  // KAG
  PutBe64(v, this_partition);
  PutBe64(v, previous);
  PutBe64(v, footer);
  PutBe64(v, header_bytes);
  PutBe64(v, index_bytes);
  PutBe32(v, index_sid);
  PutBe64(v, 0);  // BodyOffset
  PutBe32(v, body_sid);
  PutBytes(v, op.data(), 16);
  PutBe32(v, 2);
  PutBe32(v, 16);
  PutBytes(v, labels::kGenericContainerMultiple.data(), 16);
  PutBytes(v, labels::kJpeg2000FrameWrapped.data(), 16);
  UL key = labels::kPartitionPackPrefix;
  key[13] = kind;
  key[14] = 0x04;  // closed and complete
  std::vector<std::uint8_t> out;
  PutBytes(out, key.data(), 16);
  PutBerLength(out, v.size());
  PutBytes(out, v.data(), v.size());
  return out;
}

std::vector<std::uint8_t> IndexSegments(const std::vector<std::uint64_t>& offsets, const TrackFileOptions& o,
                                        UidSource& uids) {
  std::vector<std::uint8_t> out;
  std::vector<std::uint16_t> unused;
  if (o.constant_edit_unit_bytes != 0) {
    SetWriter s(labels::kIndexSegment, unused);
    s.Label(tags::kInstanceUid, uids.Next());
    s.Rational(tags::kIndexEditRate, o.edit_rate);
    s.U64(tags::kIndexStartPosition, 0);
    s.U64(tags::kIndexDuration, offsets.size());
    s.U32(tags::kEditUnitByteCount, o.constant_edit_unit_bytes);
    s.U32(tags::kIndexSid, kIndexSid);
    s.U32(tags::kBodySid, kBodySid);
    s.AppendTo(out);
    return out;
  }
  for (std::size_t first = 0; first < offsets.size(); first += kIndexEntriesPerSegment) {
    const std::size_t count = std::min<std::size_t>(kIndexEntriesPerSegment, offsets.size() - first);
    SetWriter s(labels::kIndexSegment, unused);
    s.Label(tags::kInstanceUid, uids.Next());
    s.Rational(tags::kIndexEditRate, o.edit_rate);
    s.U64(tags::kIndexStartPosition, first);
    s.U64(tags::kIndexDuration, count);
    s.U32(tags::kEditUnitByteCount, 0);
    s.U32(tags::kIndexSid, kIndexSid);
    s.U32(tags::kBodySid, kBodySid);
    s.U8(tags::kSliceCount, 0);
    s.U8(tags::kPosTableCount, 0);
    std::vector<std::uint8_t> entries;
    PutBe32(entries, static_cast<std::uint32_t>(count));
    PutBe32(entries, 11);
    for (std::size_t i = 0; i < count; ++i) {
      entries.insert(entries.end(), {0, 0, 0x80});
      PutBe64(entries, offsets[first + i]);
    }
    s.Raw(tags::kIndexEntryArray, entries.data(), entries.size());
    s.AppendTo(out);
  }
  return out;
}

class Output {
 public:
  ~Output() {
    if (f_ != nullptr) std::fclose(f_);
  }
  bool Open(const char* path) {
    f_ = std::fopen(path, "wb");
    return f_ != nullptr;
  }
  void Write(const std::uint8_t* p, std::size_t n) {
    if (ok_ && n > 0 && std::fwrite(p, 1, n, f_) != n) ok_ = false;
    pos_ += n;
  }
  void Write(const std::vector<std::uint8_t>& v) { Write(v.data(), v.size()); }
  // Moves forward without writing: the skipped bytes read as zeros.
  void Skip(std::uint64_t n) {
    if (ok_ && n > 0 && fseeko(f_, static_cast<off_t>(n), SEEK_CUR) != 0) ok_ = false;
    pos_ += n;
  }
  bool Close() {
    // A hole at the end would not extend the file; nothing ends with one here.
    if (f_ != nullptr && std::fclose(f_) != 0) ok_ = false;
    f_ = nullptr;
    return ok_;
  }
  std::uint64_t Position() const { return pos_; }

 private:
  std::FILE* f_ = nullptr;
  bool ok_ = true;
  std::uint64_t pos_ = 0;
};

}  // namespace

Result_t WriteJpeg2000TrackFile(const char* path, const std::vector<std::vector<std::uint8_t>>& frames,
                                const TrackFileOptions& o) {
  if (path == nullptr) return Kumu::RESULT_PTR;
  if (frames.empty() || frames.size() > UINT32_MAX) return Kumu::RESULT_PARAM;
  CodestreamParams cp;
  if (!ParseCodestreamParams(frames[0].data(), frames[0].size(), cp)) return Kumu::RESULT_PARAM;
  for (const auto& f : frames) {
    if (f.size() > UINT32_MAX) return Kumu::RESULT_PARAM;
  }
  if (o.gap_before_body != 0 && (o.interop || o.gap_before_body < 25)) return Kumu::RESULT_PARAM;
  if (o.empty_partitions != 0 && o.interop) return Kumu::RESULT_PARAM;
  if (o.edit_rate.Numerator <= 0 || o.edit_rate.Denominator <= 0) return Kumu::RESULT_PARAM;

  UidSource uids(o.seed);
  const bool interop = o.interop;
  UL op = labels::kOpAtom;
  op[7] = interop ? 0x01 : 0x02;
  const std::vector<std::uint8_t> metadata =
      BuildHeaderMetadata(cp, static_cast<std::uint32_t>(frames.size()), o, interop, uids);

  // Essence: one KLV per frame; the stream offsets are what the index records.
  std::vector<std::uint64_t> offsets;
  std::uint64_t essence_bytes = 0;
  for (const auto& f : frames) {
    offsets.push_back(essence_bytes);
    essence_bytes += 16 + (f.size() < (1u << 24) ? 4 : 9) + f.size();
  }
  const std::vector<std::uint8_t> index =
      o.write_index ? IndexSegments(offsets, o, uids) : std::vector<std::uint8_t>{};

  // Layout: the partition packs have a fixed size, so every offset is known up front.
  const std::uint64_t pack_size = PartitionPackBytes(2, 0, 0, 0, 0, 0, 0, 0, op).size();
  std::vector<std::uint8_t> gap;
  std::uint64_t gap_size = 0;
  if (o.gap_before_body != 0) {
    // A fill item: key, a 9-byte length, then the hole.
    gap_size = o.gap_before_body;
    PutBytes(gap, labels::kFill.data(), 16);
    gap.push_back(0x88);
    PutBe64(gap, gap_size - 25);
  }
  // The empty body partitions, then the one with the frames.
  const std::uint64_t first_body = pack_size + metadata.size() + gap_size;
  const std::uint64_t body = interop ? 0 : first_body + pack_size * o.empty_partitions;
  const std::uint64_t footer =
      interop ? pack_size + metadata.size() + essence_bytes : body + pack_size + essence_bytes;

  Output out;
  if (!out.Open(path)) return Kumu::RESULT_FILEOPEN;
  out.Write(PartitionPackBytes(labels::kHeaderPartition, 0, 0, footer, metadata.size(), 0, 0,
                               interop ? kBodySid : 0, op));
  out.Write(metadata);
  if (!interop) {
    if (gap_size != 0) {
      out.Write(gap);
      out.Skip(gap_size - gap.size());
    }
    std::uint64_t previous = 0;
    for (std::uint64_t at = first_body; at < body; at += pack_size) {
      out.Write(PartitionPackBytes(labels::kBodyPartition, at, previous, footer, 0, 0, 0, kBodySid, op));
      previous = at;
    }
    out.Write(PartitionPackBytes(labels::kBodyPartition, body, previous, footer, 0, 0, 0, kBodySid, op));
  }
  for (const auto& f : frames) {
    std::vector<std::uint8_t> kl;
    PutBytes(kl, labels::kJpeg2000Element.data(), 16);
    PutBerLength(kl, f.size());
    out.Write(kl);
    out.Write(f.data(), f.size());
  }
  if (out.Position() != footer) return Kumu::RESULT_WRITEFAIL;
  out.Write(PartitionPackBytes(labels::kFooterPartition, footer, body, footer, 0, index.size(),
                               o.write_index ? kIndexSid : 0, 0, op));
  out.Write(index);
  if (o.write_rip) {
    std::vector<std::uint8_t> v;
    auto pair = [&](std::uint32_t sid, std::uint64_t offset) {
      PutBe32(v, sid);
      PutBe64(v, offset);
    };
    if (interop) {
      pair(kBodySid, 0);
    } else {
      pair(0, 0);
      for (std::uint64_t at = first_body; at <= body; at += pack_size) pair(kBodySid, at);
    }
    pair(0, footer);
    std::vector<std::uint8_t> rip;
    PutBytes(rip, labels::kRandomIndexPack.data(), 16);
    PutBerLength(rip, v.size() + 4);
    PutBytes(rip, v.data(), v.size());
    PutBe32(rip, static_cast<std::uint32_t>(rip.size() + 4));
    out.Write(rip);
  }
  return out.Close() ? Kumu::RESULT_OK : Kumu::RESULT_WRITEFAIL;
}

}  // namespace mxfwrite
