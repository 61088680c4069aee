// Helpers of the JP2 tests: hand-made boxes and files, and a pass of the box
// reader over a file the way the JP2 decoder drives it, with the decoder's
// output and the header records' output each recorded separately.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/diagnostics.h"
#include "decoder/jp2/jp2_boxes.h"
#include "decoder/stream_input.h"
#include "tests/decoder/codestream_builder.h"

namespace jp2_test {

using codec_test::Builder;
using codec_test::Bytes;
using codec_test::RecordingSink;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Type(const char* t) { return Bytes(t, t + 4); }

// A box with a 32-bit length.
inline Bytes Box(const char* type, const Bytes& content) {
  Builder b;
  b.u32(content.size() + 8).bytes(Type(type)).bytes(content);
  return b.b;
}
// A box with LBox 1 and an extended length.
inline Bytes XBox(const char* type, const Bytes& content) {
  Builder b;
  const std::uint64_t xl = content.size() + 16;
  b.u32(1)
      .bytes(Type(type))
      .u32(static_cast<std::uint32_t>(xl >> 32))
      .u32(static_cast<std::uint32_t>(xl))
      .bytes(content);
  return b.b;
}
// A box with a length field of the caller's choice.
inline Bytes RawBox(std::uint32_t lbox, const char* type, const Bytes& content) {
  Builder b;
  b.u32(lbox).bytes(Type(type)).bytes(content);
  return b.b;
}

inline Bytes Signature() { return Box("jP  ", {0x0D, 0x0A, 0x87, 0x0A}); }

inline Bytes FileType(const char* brand = "jp2 ", std::uint32_t minor = 0,
                      std::vector<const char*> compat = {"jp2 "}) {
  Builder b;
  b.bytes(Type(brand)).u32(minor);
  for (const char* c : compat) b.bytes(Type(c));
  return Box("ftyp", b.b);
}

struct Ihdr {
  std::uint32_t height = 48, width = 64;
  std::uint16_t nc = 1;
  std::uint8_t bpc = 7, c = 7, unkc = 0, ipr = 0;
};
inline Bytes ImageHeaderBox(const Ihdr& h = {}) {
  Builder b;
  b.u32(h.height).u32(h.width).u16(h.nc).u8(h.bpc).u8(h.c).u8(h.unkc).u8(h.ipr);
  return Box("ihdr", b.b);
}

inline Bytes ColourSpec(std::uint32_t enumCS = 17, std::uint8_t meth = 1) {
  Builder b;
  b.u8(meth).u8(0).u8(0);
  if (meth == 1) b.u32(enumCS);
  if (meth == 2) b.u32(0x12345678);  // stands for an ICC profile
  return Box("colr", b.b);
}

struct MapEntry {
  std::uint16_t cmp;
  std::uint8_t mtyp, pcol;
};
inline Bytes CompMapping(const std::vector<MapEntry>& entries) {
  Builder b;
  for (const MapEntry& e : entries) b.u16(e.cmp).u8(e.mtyp).u8(e.pcol);
  return Box("cmap", b.b);
}

// A palette whose entries are given row by row, each written in its column's width.
inline Bytes Palette(std::uint16_t ne, const std::vector<std::uint8_t>& sizes,
                     const std::vector<std::vector<std::uint64_t>>& rows) {
  Builder b;
  b.u16(ne).u8(sizes.size());
  for (std::uint8_t s : sizes) b.u8(s);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < sizes.size(); ++c) {
      const std::uint32_t bytes = (sizes[c] & 127u) / 8 + 1;
      for (std::uint32_t k = bytes; k > 0; --k)
        b.u8(k > 8 ? 0 : static_cast<std::uint8_t>(row[c] >> (8 * (k - 1))));
    }
  return Box("pclr", b.b);
}

// A minimal one-component 64 x 48 codestream ending at its first SOT.
inline Bytes Codestream(const codec_test::SizParams& p = {}) { return codec_test::Minimal({}, p); }

// Signature, file type, a header box of the given sub-boxes (image header
// first unless `subBoxes` brings its own), and a codestream box.
inline Bytes File(const Bytes& headerContent, const Bytes& codestream = Codestream()) {
  return Cat({Signature(), FileType(), Box("jp2h", headerContent), Box("jp2c", codestream)});
}
inline Bytes SimpleFile(const Bytes& extraSubBoxes = {}) {
  return File(Cat({ImageHeaderBox(), ColourSpec(17), extraSubBoxes}));
}

// What one pass of the reader over a file did.
struct Pass {
  bool failed = false;
  std::uint32_t exceptionCode = 0;
  bool codestreamFound = false;
  bool mainHeaderRead = false;
  std::vector<std::uint32_t> top;      // the decoder's output (reaches the caller)
  std::vector<std::uint32_t> records;  // the header records' output
  std::vector<std::uint32_t> uuid;     // the UUID payload's output
  std::uint32_t remainingAtCodestream = 0;
};

// Reads a file as the JP2 decoder's ReadHeader does: signature, file type,
// header box, codestream box, then the codestream's main header inside the
// codestream box and the codestream check.
struct Reader {
  Codec::CMemBuffInput stream;
  Codec::CodecAdapterBoundedInputBE input;
  Codec::CodecAdapterDiagnOutput<3> adapter;
  Codec::CodecAdapterDiagnOutput<3> recordsAdapter;
  Codec::CodecAdapterDiagnOutput<3> uuidAdapter;
  RecordingSink sink, recordsSink, uuidSink;
  Codec::Jp2HeaderRecords records;
  Codec::Jp2UuidPayload uuid;
  Codec::CodestreamHeader codestream;
  bool boxOpen = false;

  Pass Run(const Bytes& data) {
    static const std::uint8_t kEmpty = 0;
    stream.Open(data.empty() ? &kEmpty : data.data(), static_cast<std::uint32_t>(data.size()));
    input.AttachStream(&stream);
    adapter.AttachSink(&sink);
    recordsAdapter.AttachSink(&recordsSink);
    uuidAdapter.AttachSink(&uuidSink);
    records.route.SetOutput(&recordsAdapter);
    uuid.route.SetOutput(&uuidAdapter);
    codestream.SetOutput(&adapter);
    Pass p;
    try {
      Codec::ReadSignatureBox(input, adapter);
      Codec::ReadFileTypeBox(input, adapter);
      Codec::ReadHeaderBox(input, adapter, records, uuid);
      p.codestreamFound = Codec::ReadCodestreamBox(input, adapter, boxOpen);
      if (p.codestreamFound) {
        p.remainingAtCodestream = input.Remaining();
        codestream.Reset();
        Codec::ReadMainHeader(input, codestream);
        p.mainHeaderRead = true;
        Codec::CheckCodestream(records, codestream, adapter);
      }
    } catch (const Codec::BDiagnDescr& d) {
      p.failed = true;
      p.exceptionCode = d.Code();
      adapter.Error(d);
    }
    p.top = sink.Codes();
    p.records = recordsSink.Codes();
    p.uuid = uuidSink.Codes();
    return p;
  }
};

}  // namespace jp2_test
