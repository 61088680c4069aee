// SOC and SIZ: image and tile geometry, components, precisions and sampling.
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/marker_io.h"

namespace Codec {

namespace {

// Moves a tile-grid origin that lies beyond the image origin back by whole
// tiles, to at or before the image origin.  An origin that would go below 0
// is refused: no tile grid on the unsigned reference grid could hold it.
std::uint32_t MoveTileOrigin(std::uint32_t tileOrigin, std::uint32_t imageOrigin, std::uint32_t tileSize) {
  if (tileOrigin <= imageOrigin) return tileOrigin;
  const std::uint64_t back = CeilDiv(tileOrigin - imageOrigin, tileSize) * tileSize;
  if (back > tileOrigin) throw J2k::Except_SIZGeometryTooLage();
  return static_cast<std::uint32_t>(tileOrigin - back);
}

}  // namespace

std::uint32_t CodestreamHeader::TilesAcross() const {
  if (tileWidth == 0) return 0;
  const std::uint64_t end = std::uint64_t{image.x} + image.width;
  if (end <= tileOriginX) return 0;
  return static_cast<std::uint32_t>(CeilDiv(end - tileOriginX, tileWidth));
}

std::uint32_t CodestreamHeader::TilesDown() const {
  if (tileHeight == 0) return 0;
  const std::uint64_t end = std::uint64_t{image.y} + image.height;
  if (end <= tileOriginY) return 0;
  return static_cast<std::uint32_t>(CeilDiv(end - tileOriginY, tileHeight));
}

void ReadSOCAndSIZ(CodecAdapterBoundedInputBE& in, CodestreamHeader& h) {
  BDiagnOutput& out = h.Output();
  if (ReadMarker(in) != kMarkerSOC) throw J2k::Except_SOCNotFound();
  if (ReadMarker(in) != kMarkerSIZ) throw J2k::Except_SIZNotFound();
  OpenSegment(in, ReadMarkerLength(in), out);

  const std::uint16_t rsiz = in.TakeU16();
  if (rsiz != 0) out.Warning(J2k::Warn_UnknonwRsiz());

  std::uint32_t v[8];
  for (auto& x : v) {
    x = in.TakeU32();
    if (x > 0x7FFFFFFFu) throw J2k::Except_SIZGeometryTooLage();
  }
  const std::uint32_t xsiz = v[0], ysiz = v[1], xosiz = v[2], yosiz = v[3];
  const std::uint32_t xtsiz = v[4], ytsiz = v[5], xtosiz = v[6], ytosiz = v[7];
  if (xosiz > xsiz || yosiz > ysiz) throw J2k::Except_SIZImageNeagativeSize();
  // Later steps divide by the tile size; a tile grid that ends before the
  // image begins holds no tile of the image.
  if (xtsiz == 0 || ytsiz == 0) throw J2k::Except_SIZGeometryTooLage();
  if (xtosiz <= xosiz && std::uint64_t{xtosiz} + xtsiz <= xosiz) throw J2k::Except_SIZGeometryTooLage();
  if (ytosiz <= yosiz && std::uint64_t{ytosiz} + ytsiz <= yosiz) throw J2k::Except_SIZGeometryTooLage();

  h.image = {xosiz, yosiz, xsiz - xosiz, ysiz - yosiz};
  h.tileOriginX = xtosiz;
  h.tileOriginY = ytosiz;
  h.tileWidth = xtsiz;
  h.tileHeight = ytsiz;
  if (xtosiz > xosiz || ytosiz > yosiz) {
    out.Warning(J2k::Warn_SIZTileGridOriginGreaterImageOrigin());
    h.tileOriginX = MoveTileOrigin(xtosiz, xosiz, xtsiz);
    h.tileOriginY = MoveTileOrigin(ytosiz, yosiz, ytsiz);
  }
  // Both factors are at most 2^31, so the product is exact in 64 bits.
  const std::uint64_t tiles = std::uint64_t{h.TilesAcross()} * h.TilesDown();
  if (tiles > kMaxTiles) throw J2k::Except_SIZGeometryTooLage();

  const std::uint16_t csiz = in.TakeU16();
  if (csiz == 0 || csiz > kMaxComponents) throw J2k::Except_SIZGeometryTooLage();
  h.componentCount = csiz;
  h.precisions.Reset(csiz);
  h.sampling.Reset(csiz);
  h.quantStyles.SetUp(csiz);
  h.codingStyles.SetUp(csiz);
  for (std::uint32_t c = 0; c < csiz; ++c) {
    const std::uint8_t ssiz = in.ReadU8();
    h.precisions[c] = ssiz;
    if ((ssiz & 0x7F) > kMaxPrecisionIndex) {
      out.Warning(J2k::Warn_SIZBitDepthExceedBounds());
      throw J2k::Except_SIZGeometryTooLage();
    }
    const std::uint32_t xr = in.ReadU8();
    const std::uint32_t yr = in.ReadU8();
    if (xr == 0 || yr == 0) throw J2k::Except_SIZGeometryTooLage();
    h.sampling[c] = {xr, yr};
  }
  CloseSegment(in, out);
}

}  // namespace Codec
