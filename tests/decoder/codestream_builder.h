// Helpers of the decoder tests: a byte builder for hand-made codestreams, a
// sink that records what reaches it, and a main-header parse through the
// decoder's own stream, byte input and diagnostic adapter.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/diagnostics.h"
#include "decoder/stream_input.h"

namespace codec_test {

using Bytes = std::vector<std::uint8_t>;

struct Builder {
  Bytes b;
  Builder& u8(std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Builder& u16(std::uint32_t v) { return u8(v >> 8).u8(v); }
  Builder& u32(std::uint32_t v) { return u16(v >> 16).u16(v); }
  Builder& bytes(const Bytes& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  // A marker segment: code, length (body + 2), body.
  Builder& segment(std::uint32_t code, const Bytes& body) {
    return u16(code).u16(body.size() + 2).bytes(body);
  }
};

struct SizParams {
  std::uint16_t rsiz = 0;
  std::uint32_t xsiz = 64, ysiz = 48, xosiz = 0, yosiz = 0;
  std::uint32_t xtsiz = 64, ytsiz = 48, xtosiz = 0, ytosiz = 0;
  std::vector<std::uint8_t> ssiz = {7};
  std::vector<std::uint8_t> xr = {1};
  std::vector<std::uint8_t> yr = {1};
};

inline Bytes SizBody(const SizParams& p) {
  Builder s;
  s.u16(p.rsiz).u32(p.xsiz).u32(p.ysiz).u32(p.xosiz).u32(p.yosiz).u32(p.xtsiz).u32(p.ytsiz).u32(p.xtosiz).u32(
      p.ytosiz);
  s.u16(p.ssiz.size());
  for (std::size_t c = 0; c < p.ssiz.size(); ++c) s.u8(p.ssiz[c]).u8(p.xr[c]).u8(p.yr[c]);
  return s.b;
}

// COD body: Scod, order, layers, MCT, NL, xcb, ycb, style, transform [, precincts].
inline Bytes CodBody(std::uint8_t scod = 0, std::uint8_t order = 0, std::uint16_t layers = 1,
                     std::uint8_t mct = 0, std::uint8_t levels = 2, std::uint8_t xcb = 4,
                     std::uint8_t ycb = 4, std::uint8_t style = 0, std::uint8_t transform = 1,
                     const Bytes& precincts = {}) {
  Builder s;
  s.u8(scod).u8(order).u16(layers).u8(mct).u8(levels).u8(xcb).u8(ycb).u8(style).u8(transform).bytes(
      precincts);
  return s.b;
}

// QCD body of style 0 for `levels` levels: exponents 8, 9, 9, 10, ...
inline Bytes QcdBody(std::uint32_t levels = 2, std::uint8_t guard = 2) {
  Builder s;
  s.u8(guard << 5).u8(8 << 3);
  for (std::uint32_t l = 0; l < levels; ++l) s.u8(9 << 3).u8(9 << 3).u8(10 << 3);
  return s.b;
}

// SOC, SIZ; then the caller's segments.
inline Builder Start(const SizParams& p = {}) {
  Builder b;
  b.u16(0xFF4F).segment(0xFF51, SizBody(p));
  return b;
}

// SOC, SIZ, COD, QCD, then `extra` and SOT.
inline Bytes Minimal(const Bytes& extra = {}, const SizParams& p = {}) {
  Builder b = Start(p);
  b.segment(0xFF52, CodBody()).segment(0xFF5C, QcdBody()).bytes(extra).u16(0xFF90);
  return b.b;
}

struct Record {
  std::int32_t codecId;
  std::uint32_t code;
  std::string text;
};

class RecordingSink : public Codec::BaseStreamDiagn {
 public:
  void Write(const Codec::BaseDiagnDescriptor& d) override {
    records.push_back({d.CodecId(), d.Code(), d.Text()});
  }
  std::vector<std::uint32_t> Codes() const {
    std::vector<std::uint32_t> v;
    for (const auto& r : records) v.push_back(r.code);
    return v;
  }
  std::vector<Record> records;
};

// Outcome of reading a main header the way the decoder's entry does: an
// exception is caught as BDiagnDescr and reported through the adapter.
struct ParseOutcome {
  bool failed = false;
  bool endedAtSot = false;
  std::uint32_t exceptionCode = 0;
  std::vector<std::uint32_t> codes;  // everything the sink received, in order
};

inline ParseOutcome ParseMainHeader(const Bytes& data, Codec::CodestreamHeader& header) {
  static const std::uint8_t kEmpty = 0;
  Codec::CMemBuffInput stream;
  stream.Open(data.empty() ? &kEmpty : data.data(), static_cast<std::uint32_t>(data.size()));
  Codec::CodecAdapterBoundedInputBE input;
  Codec::CodecAdapterDiagnOutput<2> adapter;
  RecordingSink sink;
  adapter.AttachSink(&sink);
  input.AttachStream(&stream);
  header.Reset();
  header.SetOutput(&adapter);
  ParseOutcome out;
  try {
    out.endedAtSot = Codec::ReadMainHeader(input, header);
  } catch (const Codec::BDiagnDescr& d) {
    out.failed = true;
    out.exceptionCode = d.Code();
    adapter.Error(d);
  }
  header.SetOutput(nullptr);
  out.codes = sink.Codes();
  return out;
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace codec_test
