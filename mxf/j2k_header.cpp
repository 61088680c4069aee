// Main-header parameters of a JPEG 2000 codestream.
#include "mxf/j2k_header.h"

#include "mxf/klv.h"

namespace mxf_internal {

namespace {

// The contents of the first 'jp2c' box of a JP2 file (top-level boxes only).
bool FindCodestreamBox(const std::uint8_t* data, std::size_t size, std::size_t& begin, std::size_t& end) {
  std::size_t at = 0;
  while (size - at >= 8) {
    std::uint64_t length = Be32(data + at);
    std::size_t header = 8;
    const std::uint32_t type = Be32(data + at + 4);
    if (length == 1) {
      if (size - at < 16) return false;
      length = Be64(data + at + 8);
      header = 16;
    } else if (length == 0) {
      length = size - at;
    }
    if (length < header || length > size - at) return false;
    if (type == 0x6a703263) {  // 'jp2c'
      begin = at + header;
      end = at + static_cast<std::size_t>(length);
      return true;
    }
    at += static_cast<std::size_t>(length);
  }
  return false;
}

}  // namespace

bool ParseCodestreamParams(const std::uint8_t* data, std::size_t size, CodestreamParams& out) {
  out = CodestreamParams{};
  if (data == nullptr) return false;
  std::size_t at = 0, end = size;
  if (size >= 12 && Be32(data) == 12 && Be32(data + 4) == 0x6a502020) {
    if (!FindCodestreamBox(data, size, at, end)) return false;
  }
  if (end - at < 4 || Be16(data + at) != 0xff4f) return false;
  at += 2;
  bool siz = false, cod = false, qcd = false;
  while (end - at >= 4) {
    const std::uint16_t marker = Be16(data + at);
    if (marker == 0xff90 || marker == 0xffd9) break;  // first tile-part or end of codestream
    const std::uint16_t length = Be16(data + at + 2);
    if (length < 2 || length > end - at - 2) return false;
    const std::uint8_t* body = data + at + 4;
    const std::size_t n = length - 2u;
    if (marker == 0xff51) {
      if (n < 36) return false;
      out.rsiz = Be16(body);
      out.xsiz = Be32(body + 2);
      out.ysiz = Be32(body + 6);
      out.xosiz = Be32(body + 10);
      out.yosiz = Be32(body + 14);
      out.xtsiz = Be32(body + 18);
      out.ytsiz = Be32(body + 22);
      out.xtosiz = Be32(body + 26);
      out.ytosiz = Be32(body + 30);
      out.csiz = Be16(body + 34);
      if (out.csiz == 0 || n < 36 + 3u * out.csiz) return false;
      for (std::uint16_t c = 0; c < out.csiz; ++c)
        out.components.push_back({body[36 + 3 * c], body[37 + 3 * c], body[38 + 3 * c]});
      siz = true;
    } else if (marker == 0xff52 && !cod) {
      if (n < 10) return false;
      out.cod.assign(body, body + n);
      cod = true;
    } else if (marker == 0xff5c && !qcd) {
      if (n < 1) return false;
      out.qcd.assign(body, body + n);
      qcd = true;
    }
    at += 2 + std::size_t{length};
  }
  return siz && cod && qcd;
}

}  // namespace mxf_internal
