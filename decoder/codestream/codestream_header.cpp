// The main header: the marker loop from SIZ up to the first SOT, SOC and SIZ,
// and the POC marker segment.
#include "decoder/codestream/codestream_header.h"
#include "decoder/codestream/marker_io.h"

namespace Codec {

// ---------------------------------------------------------------------------
// The main-header marker loop, from SIZ up to the first SOT.

void CodestreamHeader::Reset() {
  image = {};
  tileOriginX = tileOriginY = 0;
  tileWidth = tileHeight = 0;
  componentCount = 0;
  precisions.Reset();
  sampling.Reset();
  quantStyles.Clear();
  codingStyles.Clear();
  // The defaults are cleared too: a codestream without COD or QCD must be
  // refused, not decoded with what an earlier codestream left behind.
  ClearRecord(quantStyles.Default());
  ClearRecord(codingStyles.Default());
  globalStyle = {};
  progressionChanges.Reset();
  codMissing = true;
}

namespace {

void ReadMainCOC(CodecAdapterBoundedInputBE& in, CodestreamHeader& h, BDiagnOutput& out) {
  const std::uint32_t c = ReadComponentIndex(in, h.componentCount);
  if (c >= h.componentCount) throw J2k::Except_COCIndexExceedNOfComponents();
  if (h.codingStyles.HasOwn(c)) out.Warning(J2k::Warn_MainHeaderExtraCOC());
  ReadCOCBody(in, h.codingStyles.OwnRecord(c));
}

void ReadMainQCC(CodecAdapterBoundedInputBE& in, CodestreamHeader& h, BDiagnOutput& out) {
  const std::uint32_t c = ReadComponentIndex(in, h.componentCount);
  if (c >= h.componentCount) throw J2k::Except_QCCIndexExceedNOfComponents();
  if (h.quantStyles.HasOwn(c)) out.Warning(J2k::Warn_MainHeaderExtraQCC());
  QuantStyle& q = h.quantStyles.OwnRecord(c);
  q.route.SetOutput(&out);
  ReadQuantBody(in, q);
}

}  // namespace

bool ReadMainHeader(CodecAdapterBoundedInputBE& in, CodestreamHeader& h) {
  ReadSOCAndSIZ(in, h);
  BDiagnOutput& out = h.Output();
  for (;;) {
    const std::uint16_t code = ReadMarker(in);
    if (code == kMarkerSOT) break;
    if (code == kMarkerEOC) {
      out.Warning(J2k::Warn_MainHeaderOnlyInCodestream());
      return false;
    }
    if (code == kMarkerReservedNoSegment) {
      // These markers stand alone: reading a length here would swallow the
      // next marker and the rest of the header with it.
      out.Warning(J2k::Warn_MainHeaderUnknownMarker());
      continue;
    }
    OpenSegment(in, ReadMarkerLength(in), out);
    switch (code) {
      case kMarkerCOD:
        if (!h.codMissing) out.Warning(J2k::Warn_MainHeaderExtraCOD());
        h.codMissing = false;
        ReadCODBody(in, out, h.globalStyle, h.codingStyles.Default());
        break;
      case kMarkerCOC:
        ReadMainCOC(in, h, out);
        break;
      case kMarkerQCD:
        if (!h.quantStyles.Default().notRead) out.Warning(J2k::Warn_MainHeaderExtraQCD());
        ReadQuantBody(in, h.quantStyles.Default());
        break;
      case kMarkerQCC:
        ReadMainQCC(in, h, out);
        break;
      case kMarkerPOC:
        if (!h.progressionChanges.Empty()) out.Warning(J2k::Warn_MainHeaderExtraPOC());
        ReadPOCBody(in, out, h.componentCount, h.progressionChanges);
        break;
      case kMarkerTLM:
        in.SkipBytes(in.Remaining());
        out.Warning(J2k::Warn_TLMUsed());
        break;
      case kMarkerPLM:
        in.SkipBytes(in.Remaining());
        out.Warning(J2k::Warn_PLMUsed());
        break;
      case kMarkerCRG:
        in.SkipBytes(in.Remaining());
        out.Warning(J2k::Warn_CRGUsed());
        break;
      case kMarkerCOM:
        in.SkipBytes(in.Remaining());
        out.Warning(J2k::Warn_COMUsed());
        break;
      case kMarkerRGN:
        throw J2k::Except_RGNUsed();
      case kMarkerPPM:
        throw J2k::Except_PPMUsed();
      default:
        out.Warning(J2k::Warn_MainHeaderUnknownMarker());
        in.SkipBytes(in.Remaining());
        break;
    }
    CloseSegment(in, out);
  }
  if (h.codMissing) throw J2k::Except_CODNotFound();
  if (h.quantStyles.Default().notRead) throw J2k::Except_QCDNotFound();
  return true;
}

// ---------------------------------------------------------------------------
// SOC and SIZ: image and tile geometry, components, precisions and sampling.

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

// ---------------------------------------------------------------------------
// POC marker segment: progression order changes.

namespace {
constexpr std::uint32_t kMaxResolutionIndex = 33;
}

void ReadPOCBody(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, std::uint32_t csiz,
                 OwnedArray<ProgressionChange>& changes) {
  const std::uint32_t entrySize = csiz < 257 ? 7 : 9;
  // A remainder shorter than one entry is left unread and reported when the
  // segment closes.
  const std::uint32_t count = in.Remaining() / entrySize;
  changes.Reset(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t rs = in.ReadU8();
    if (rs > kMaxResolutionIndex) throw J2k::Except_POCResLevelIndexExceedBound();
    const std::uint32_t cs = ReadComponentIndex(in, csiz);
    if (cs > csiz) throw J2k::Except_POCCompIndexExceedNOfComponents();
    const std::uint32_t lye = in.TakeU16();
    if (lye == 0) out.Warning(J2k::Warn_CODOrCOCOrPOCZeroNOfLayers());
    const std::uint32_t re = in.ReadU8();
    if (re > kMaxResolutionIndex) throw J2k::Except_POCResLevelIndexExceedBound();
    if (re < rs) throw J2k::Except_POCInverseResLevelProgr();
    // An end beyond the component count is valid (the end is exclusive and
    // the packet iterator clamps it to the tile's components).
    std::uint32_t ce = ReadComponentIndex(in, csiz);
    if (ce == 0) ce = 256;
    if (ce < cs) throw J2k::Except_POCInverseCompProgr();
    const std::uint32_t order = in.ReadU8();

    ProgressionChange& pc = changes[i];
    pc.progressionOrder = order;
    pc.resolutionStart = rs;
    pc.resolutionCount = re - rs;
    pc.resolutionEnd = re;
    pc.componentStart = cs;
    pc.componentCount = ce - cs;
    pc.componentEnd = ce;
    pc.layerEnd = lye;
  }
}

}  // namespace Codec
