// JP2 file format reader: box framing, the top-level boxes, the header
// super-box with its sub-boxes, and the consistency checks.
#include "decoder/jp2/jp2_boxes.h"

namespace Codec {

// --- Box framing -------------------------------------------------------------

void ReadBoxHeader(CodecAdapterBoundedInputBE& in, std::uint32_t& type, std::uint32_t& contentLength) {
  const std::uint32_t lbox = in.TakeU32();
  if (lbox >= 2 && lbox <= 7) throw Jp2::Except_badLBoxValue();
  type = in.TakeU32();
  if (lbox == 0) {
    contentLength = in.Remaining();
  } else if (lbox == 1) {
    const std::uint64_t hi = in.TakeU32();
    const std::uint64_t xlbox = (hi << 32) | in.TakeU32();
    if (xlbox < 16) throw Jp2::Except_badXLBoxValue();
    if (xlbox - 16 > 0xFFFFFFFFull) throw Jp2::Except_tooLongBoxLen();
    contentLength = static_cast<std::uint32_t>(xlbox - 16);
  } else {
    contentLength = lbox - 8;
  }
}

void OpenBox(CodecAdapterBoundedInputBE& in, std::uint32_t contentLength, BDiagnOutput& out) {
  if (in.PushBound(contentLength) < contentLength)
    out.Warning(Jp2::Warn_SpecifiedBoxLengthExceedContainerTail());
}

void CloseBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, bool check) {
  if (in.PopBound() != 0 && check) out.Warning(Jp2::Warn_ActualBoxLengthBelowSpecified());
}

// --- Top level -----------------------------------------------------------------

void ReadSignatureBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out) {
  std::uint32_t type = 0, length = 0;
  ReadBoxHeader(in, type, length);
  if (type != kBoxSignature) throw Jp2::Except_signatureBoxNotFound();
  OpenBox(in, length, out);
  if (in.TakeU32() != kSignatureContent) throw Jp2::Except_signatureBoxNotRight();
  CloseBox(in, out);
}

void ReadFileTypeBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out) {
  std::uint32_t type = 0, length = 0;
  ReadBoxHeader(in, type, length);
  if (type != kBoxFileType) throw Jp2::Except_fileTypeBoxNotFound();
  OpenBox(in, length, out);
  const std::uint32_t brand = in.TakeU32();
  if (in.TakeU32() != 0) out.Warning(Jp2::Warn_NonZeroFileTypeBoxMinorVersion());
  bool compatible = false;
  for (std::uint32_t n = in.Remaining() / 4; n > 0 && !compatible; --n)
    compatible = in.TakeU32() == kBrandJp2;
  if (brand != kBrandJp2 && !compatible) throw Jp2::Except_fileTypeBoxJP2Incompatible();
  CloseBox(in, out);
}

namespace {

// The sub-boxes of the header super-box after the image header, then the checks.
void ReadHeaderSubBoxes(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  while (in.Remaining() > 0) {
    std::uint32_t type = 0, length = 0;
    ReadBoxHeader(in, type, length);
    OpenBox(in, length, out);
    switch (type) {
      case kBoxBitsPerComp:
        ReadBitsPerCompBox(in, records);
        break;
      case kBoxCompMapping:
        ReadCompMappingBox(in, length, records);
        break;
      case kBoxColourSpec:
        ReadColourSpecBox(in, records);
        break;
      case kBoxPalette:
        ReadPaletteBox(in, records);
        break;
      case kBoxResolution:
        ReadResolutionBox(in, records);
        break;
      default:
        out.Warning(Jp2::Warn_UnknownSubBoxInHeaderBox());
        break;
    }
    CloseBox(in, out);
  }
  CheckPaletteAndMapping(records);
  CheckBitsPerComponent(records);
  CheckChannels(records);
}

}  // namespace

void ReadHeaderBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, Jp2HeaderRecords& records,
                   Jp2UuidPayload& uuid) {
  for (;;) {
    if (in.Remaining() == 0) throw Jp2::Except_headerBoxNotFound();
    std::uint32_t type = 0, length = 0;
    ReadBoxHeader(in, type, length);
    OpenBox(in, length, out);
    if (type == kBoxHeader) {
      ReadImageHeaderBox(in, records);
      ReadHeaderSubBoxes(in, records);
      CloseBox(in, out);
      return;
    }
    if (type == kBoxUuid)
      ReadUuidBox(in, uuid);
    else
      out.Warning(Jp2::Warn_UnexpectedBoxIsIgnored());
    CloseBox(in, out, false);
  }
}

bool ReadCodestreamBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, bool& boxOpen) {
  if (boxOpen) {
    boxOpen = false;
    CloseBox(in, out);
  }
  while (in.Remaining() > 0) {
    std::uint32_t type = 0, length = 0;
    ReadBoxHeader(in, type, length);
    OpenBox(in, length, out);
    if (type == kBoxCodestream) {
      boxOpen = true;
      return true;
    }
    out.Warning(Jp2::Warn_UnexpectedBoxIsIgnored());
    CloseBox(in, out, false);
  }
  return false;
}

// --- Header super-box parts ------------------------------------------------------

void ReadImageHeaderBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  // An empty super-box holds no image header either.
  if (in.Remaining() == 0) throw Jp2::Except_imageHeaderBoxNotFound();
  std::uint32_t type = 0, length = 0;
  ReadBoxHeader(in, type, length);
  if (type != kBoxImageHeader) throw Jp2::Except_imageHeaderBoxNotFound();
  OpenBox(in, length, out);
  Jp2ImageHeader& h = records.imageHeader;
  h.height = in.TakeU32();
  h.width = in.TakeU32();
  if (static_cast<std::int32_t>(h.height) <= 0 || static_cast<std::int32_t>(h.width) <= 0)
    throw Jp2::Except_imageHeaderBoxSize();
  h.componentCount = in.TakeU16();
  if (h.componentCount == 0) throw Jp2::Except_imageHeaderBoxComponentNumber();
  h.bitsPerComponent = in.ReadU8();
  h.bpcUniform = h.bitsPerComponent != 255;
  if (h.bpcUniform && (h.bitsPerComponent & 127u) > kJp2MaxDepthField)
    out.Warning(Jp2::Warn_BoxImageHeaderBitDepthExceedBounds());
  if (in.ReadU8() != 7) throw Jp2::Except_imageHeaderBoxCompressionType();
  if (in.ReadU8() != 0) out.Warning(Jp2::Warn_BoxImageHeaderUnknownColorspace());
  in.ReadU8();  // intellectual property flag: not kept
  CloseBox(in, out);
}

void ReadBitsPerCompBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  Jp2BitsPerComponent& b = records.bitsPerComp;
  if (!b.notRead) out.Warning(Jp2::Warn_ExtraBitsPerCompBox());
  const std::uint32_t n = records.imageHeader.componentCount;
  b.depths.Reset(n);
  for (std::uint32_t c = 0; c < n; ++c) {
    b.depths[c] = in.ReadU8();
    if ((b.depths[c] & 127u) > kJp2MaxDepthField) out.Warning(Jp2::Warn_BoxBitsPerCompBitDepthExceedBounds());
  }
  b.notRead = false;
}

void ReadColourSpecBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  Jp2ColourSpecBox& s = records.colourSpec;
  if (!s.notRead) out.Warning(Jp2::Warn_ExtraColourSpecBox());
  s.method = in.ReadU8();
  if (s.method != 1 && s.method != 2) {
    out.Warning(Jp2::Warn_BoxColourSpecUnknownMeth());
    s.notRead = true;
    s.enumCS = 17;
    return;
  }
  in.ReadU8();  // precedence: not kept
  in.ReadU8();  // approximation: not kept
  if (s.method == 1) {
    s.enumCS = in.TakeU32();
    if (s.enumCS != 12 && s.enumCS != 16 && s.enumCS != 17 && s.enumCS != 18)
      out.Warning(Jp2::Warn_BoxColourSpecUnknownEnumeratedColourspace());
  }
  // An ICC profile (method 2) is not read; closing the box skips it.
  s.notRead = false;
}

namespace {

// One palette entry of a column with size byte `size`: (depth field / 8) + 1
// bytes, most significant first, accumulated into 64 bits (bytes that would
// land above bit 63 shift out).  A signed column is sign-extended from its
// top bit; depth fields of 63 and more already fill the 64 bits, so the shift
// is only formed below that.
std::int64_t ReadPaletteEntry(CodecAdapterBoundedInputBE& in, std::uint8_t size) {
  const std::uint32_t field = size & 127u;
  std::uint64_t v = 0;
  for (std::uint32_t i = field / 8 + 1; i > 0; --i) v = (v << 8) | in.ReadU8();
  if ((size & 0x80) && field < 63) {
    const std::uint32_t shift = 63 - field;
    return static_cast<std::int64_t>(v << shift) >> shift;
  }
  return static_cast<std::int64_t>(v);
}

}  // namespace

void ReadPaletteBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  Jp2Palette& p = records.palette;
  if (!p.notRead) out.Warning(Jp2::Warn_ExtraPaletteBox());
  p.entries.Reset();
  p.sizes.Reset();
  p.columnCount = 0;
  p.entryCount = in.TakeU16();
  if (p.entryCount == 0) out.Warning(Jp2::Warn_BoxPalleteZeroNOfEntries());
  if (p.entryCount > kJp2MaxPaletteEntries) out.Warning(Jp2::Warn_BoxPalleteNOfEntriesExceedBounds());
  const std::uint32_t columns = in.ReadU8();
  p.sizes.Reset(columns);
  std::uint64_t rowBytes = 0;
  for (std::uint32_t c = 0; c < columns; ++c) {
    p.sizes[c] = in.ReadU8();
    if ((p.sizes[c] & 127u) > kJp2MaxDepthField) out.Warning(Jp2::Warn_BoxPalleteBitDepthExceedBounds());
    rowBytes += (p.sizes[c] & 127u) / 8 + 1;
  }
  p.columnCount = static_cast<std::uint8_t>(columns);
  // Entries the box cannot hold would run past its end anyway: refuse them
  // before the table is allocated.
  if (rowBytes * p.entryCount > in.Remaining()) in.RaiseNoData();
  p.entries.Reset(std::size_t(columns) * p.entryCount);
  for (std::uint32_t e = 0; e < p.entryCount; ++e)
    for (std::uint32_t c = 0; c < columns; ++c)
      p.entries[std::size_t(c) * p.entryCount + e] = ReadPaletteEntry(in, p.sizes[c]);
  p.notRead = false;
}

void ReadCompMappingBox(CodecAdapterBoundedInputBE& in, std::uint32_t contentLength,
                        Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  Jp2ComponentMapping& m = records.mapping;
  if (!m.notRead) out.Warning(Jp2::Warn_ExtraCompMappingBox());
  const std::uint32_t quads = contentLength / 4;
  m.channelCount = static_cast<std::uint16_t>(quads >= 65536 ? 65535 : quads);
  m.channels.Reset(m.channelCount);
  for (Jp2Channel& ch : m.channels) {
    ch.component = in.TakeU16();
    ch.mappingType = in.ReadU8();
    ch.paletteColumn = in.ReadU8();
  }
  m.notRead = false;
}

void ReadResolutionBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  Jp2ResolutionBox& r = records.resolution;
  while (in.Remaining() > 0) {
    std::uint32_t type = 0, length = 0;
    ReadBoxHeader(in, type, length);
    OpenBox(in, length, out);
    Jp2Resolution* target = nullptr;
    if (type == kBoxCaptureResolution) {
      if (!r.captureNotRead) out.Warning(Jp2::Warn_ExtraCaptureResolutionBox());
      target = &r.capture;
      r.captureNotRead = false;
    } else if (type == kBoxDisplayResolution) {
      if (!r.displayNotRead) out.Warning(Jp2::Warn_ExtraDisplayResolutionBox());
      target = &r.display;
      r.displayNotRead = false;
    } else {
      out.Warning(Jp2::Warn_UnknownSubBoxInResolutionBox());
    }
    if (target) {
      target->verticalNum = in.TakeU16();
      target->verticalDen = in.TakeU16();
      target->horizontalNum = in.TakeU16();
      target->horizontalDen = in.TakeU16();
      target->verticalExp = in.ReadU8();
      target->horizontalExp = in.ReadU8();
    }
    CloseBox(in, out);
  }
}

void ReadUuidBox(CodecAdapterBoundedInputBE& in, Jp2UuidPayload& uuid) {
  for (std::uint8_t expected : kKeptUuid) {
    if (in.ReadU8() != expected) {
      uuid.route.Warn(Jp2::Warn_UnknownUUIDBox());
      return;  // the rest is skipped when the box closes
    }
  }
  // The rest of the box as its bound has it: never more than the file holds.
  const std::uint32_t rest = in.Remaining();
  uuid.buffer.Reset(rest);
  uuid.length = 0;
  if (rest) {
    in.Consume(rest);
    in.ReadExact(uuid.buffer.Data(), rest);
  }
  uuid.length = rest;
}

// --- Checks ----------------------------------------------------------------------

void CheckPaletteAndMapping(Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  Jp2ComponentMapping& m = records.mapping;
  const Jp2Palette& p = records.palette;
  if (m.notRead && p.notRead) return;
  for (Jp2Channel& ch : m.channels) ch.paletteMapped = false;
  if (p.notRead) {
    out.Warning(Jp2::Warn_BoxPaletteAbsence());
    return;
  }
  if (m.notRead) {
    out.Warning(Jp2::Warn_BoxCompMappingAbsence());
    return;
  }
  for (Jp2Channel& ch : m.channels) {
    if (ch.paletteColumn >= p.columnCount)
      out.Warning(Jp2::Warn_BoxComponentMappingPaletteColumnExceedBoxPaletteNOfColumns());
    else if (ch.mappingType != 1)
      out.Warning(Jp2::Warn_BoxComponentMappingNonPaletteMapping());
    else
      ch.paletteMapped = true;
  }
}

void CheckBitsPerComponent(const Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  const Jp2ImageHeader& h = records.imageHeader;
  const Jp2BitsPerComponent& b = records.bitsPerComp;
  if (!h.bpcUniform || b.notRead) return;
  out.Warning(Jp2::Warn_SuperfluousBitsPerCompBox());
  for (std::uint8_t depth : b.depths) {
    if (depth != h.bitsPerComponent) {
      out.Warning(Jp2::Warn_BitsPerCompMismatchImageHeaderAndBitsPerCompBoxes());
      return;
    }
  }
  out.Warning(Jp2::Warn_SuperfluousBitsPerCompBox());
}

void CheckChannels(const Jp2HeaderRecords& records) {
  BDiagnOutput& out = *records.route.Output();
  const Jp2ColourSpecBox& s = records.colourSpec;
  if (s.notRead) return;
  if (s.method != 1) {
    out.Warning(Jp2::Warn_BoxColourSpecIsNotEnumeratedColourspace());
    return;
  }
  if (records.mapping.notRead) return;
  std::uint32_t expected = 0;
  switch (s.enumCS) {
    case 12:
      expected = 4;
      break;
    case 16:
    case 18:
      expected = 3;
      break;
    case 17:
      expected = 1;
      break;
    default:
      return;
  }
  if (records.mapping.channelCount != expected)
    out.Warning(Jp2::Warn_NOfChannelsMismatchColourSpecAndCompMappingBoxes());
}

void CheckCodestream(const Jp2HeaderRecords& records, const CodestreamHeader& cs, BDiagnOutput& out) {
  const Jp2ImageHeader& h = records.imageHeader;
  if (cs.componentCount != h.componentCount)
    out.Warning(Jp2::Warn_NOfComponentsMismatchImageHeaderAndCodestreamBoxes());
  if (cs.image.width != h.width || cs.image.height != h.height)
    out.Warning(Jp2::Warn_ImageSizeMismatchImageHeaderAndCodestreamBoxes());
  const std::size_t components = cs.precisions.Count();
  if (h.bpcUniform) {
    for (std::size_t c = 0; c < components; ++c) {
      if (cs.precisions[c] != h.bitsPerComponent) {
        out.Warning(Jp2::Warn_BitsPerCompMismatchImageHeaderAndCodestreamBoxes());
        break;
      }
    }
  }
  if (!records.bitsPerComp.notRead) {
    const std::size_t n =
        components < records.bitsPerComp.depths.Count() ? components : records.bitsPerComp.depths.Count();
    for (std::size_t c = 0; c < n; ++c) {
      if (cs.precisions[c] != records.bitsPerComp.depths[c]) {
        out.Warning(Jp2::Warn_BitsPerCompMismatchCSMainHeaderAndBitsPerCompBoxes());
        break;
      }
    }
  }
}

}  // namespace Codec
