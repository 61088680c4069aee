// Tile-part headers: the marker segments between SOT and SOD.
#include "decoder/codestream/tile_part_header.h"
#include "decoder/codestream/marker_io.h"

namespace Codec {

namespace {

// POC, PLT, COM, PPM, PPT and RGN are handled alike in first and later tile-part
// headers; true when the code was one of them.
bool ReadCommonSegment(CodecAdapterBoundedInputBE& in, std::uint16_t code, std::uint32_t csiz,
                       OwnedRef<ProgressionList>& changes, bool& ownPoc, BDiagnOutput& out) {
  switch (code) {
    case kMarkerPOC:
      if (ownPoc) out.Warning(J2k::Warn_TilePartHeaderExtraPOC());
      ReadPOCBody(in, out, csiz, changes.MakeOwn());
      ownPoc = true;
      return true;
    case kMarkerPLT:
      in.SkipBytes(in.Remaining());
      out.Warning(J2k::Warn_PLTUsed());
      return true;
    case kMarkerCOM:
      in.SkipBytes(in.Remaining());
      out.Warning(J2k::Warn_COMUsed());
      return true;
    case kMarkerPPM:
    case kMarkerPPT:
      // Packed packet headers are not supported: refused like PPM, since
      // skipping them would leave every packet header unread.
      throw J2k::Except_PPMUsed();
    case kMarkerRGN:
      // A region of interest that is skipped decodes wrong samples.
      throw J2k::Except_RGNUsed();
    default:
      return false;
  }
}

}  // namespace

void ReadFirstTilePartHeader(CodecAdapterBoundedInputBE& in, const CodestreamHeader& h, TileCodingParams& t) {
  BDiagnOutput& out = *t.route.Output();
  const std::uint32_t csiz = h.componentCount;
  // Start from what the main header gives.
  t.progressionChanges.SetShared(const_cast<ProgressionList*>(&h.progressionChanges));
  t.globalStyle.SetShared(const_cast<GlobalCodingStyle*>(&h.globalStyle));
  t.quant.Reset(csiz);
  t.coding.Reset(csiz);
  t.ownQuant.Reset();
  t.ownCoding.Reset();
  for (std::uint32_t c = 0; c < csiz; ++c) {
    t.quant[c].SetShared(&h.quantStyles.Get(c));
    t.coding[c].SetShared(&h.codingStyles.Get(c));
  }
  bool ownPoc = false;
  for (;;) {
    const std::uint16_t code = ReadMarker(in);
    if (code == kMarkerSOD) break;
    if (code == kMarkerReservedNoSegment) {
      out.Warning(J2k::Warn_TilePartHeaderUnknownMarker());
      continue;
    }
    OpenSegment(in, ReadMarkerLength(in), out);
    if (!ReadCommonSegment(in, code, csiz, t.progressionChanges, ownPoc, out)) {
      switch (code) {
        case kMarkerCOD: {
          if (t.globalStyle.Owned()) out.Warning(J2k::Warn_TilePartHeaderExtraCOD());
          CodingStyle& style = t.ownCoding.Make();
          for (std::uint32_t c = 0; c < csiz; ++c) t.coding[c].SetShared(&style);
          GlobalCodingStyle& g = t.globalStyle.MakeOwn();
          ReadCODBody(in, out, g, style);
          break;
        }
        case kMarkerCOC: {
          const std::uint32_t c = ReadComponentIndex(in, csiz);
          if (c >= csiz) throw J2k::Except_COCIndexExceedNOfComponents();
          if (t.coding[c].Owned()) out.Warning(J2k::Warn_TilePartHeaderExtraCOC());
          ReadCOCBody(in, t.coding[c].MakeOwn());
          break;
        }
        case kMarkerQCD: {
          if (t.ownQuant) out.Warning(J2k::Warn_TilePartHeaderExtraCOD());
          QuantStyle& q = t.ownQuant.Make();
          for (std::uint32_t c = 0; c < csiz; ++c) t.quant[c].SetShared(&q);
          ReadQuantBody(in, q);
          break;
        }
        case kMarkerQCC: {
          const std::uint32_t c = ReadComponentIndex(in, csiz);
          if (c >= csiz) throw J2k::Except_QCCIndexExceedNOfComponents();
          if (t.quant[c].Owned()) out.Warning(J2k::Warn_TilePartHeaderExtraQCC());
          ReadQuantBody(in, t.quant[c].MakeOwn());
          break;
        }
        default:
          out.Warning(J2k::Warn_TilePartHeaderUnknownMarker());
          in.SkipBytes(in.Remaining());
          break;
      }
    }
    CloseSegment(in, out);
  }
  for (std::uint32_t c = 0; c < csiz; ++c) CheckQuantValues(*t.quant[c], t.coding[c]->levels);
}

void ReadLaterTilePartHeader(CodecAdapterBoundedInputBE& in, const TileCodingParams& t, std::uint32_t csiz,
                             OwnedRef<ProgressionList>& changes, BDiagnOutput& out) {
  changes.SetShared(t.progressionChanges.Get());
  bool ownPoc = false;
  for (;;) {
    const std::uint16_t code = ReadMarker(in);
    if (code == kMarkerSOD) break;
    if (code == kMarkerReservedNoSegment) {
      out.Warning(J2k::Warn_TilePartHeaderUnknownMarker());
      continue;
    }
    OpenSegment(in, ReadMarkerLength(in), out);
    if (!ReadCommonSegment(in, code, csiz, changes, ownPoc, out)) {
      out.Warning(J2k::Warn_TilePartHeaderUnknownMarker());
      in.SkipBytes(in.Remaining());
    }
    CloseSegment(in, out);
  }
}

}  // namespace Codec
