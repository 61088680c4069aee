// JP2 file format reader.
//
// Walks the box structure of a JP2 file up to the contiguous codestream box,
// keeps what the header boxes say, checks the boxes against each other and
// against the codestream's main header, and reports every irregularity as a
// diagnostic.  Only a wrong signature, a missing or incompatible file type
// box, a missing header box, a broken image header box and malformed box
// lengths stop reading (they are thrown); everything else is a warning.
//
// Every box's content is read inside a bound of its content length on the
// decoder's bounded byte input, so no field can be read past its box, and a
// box that claims more than its container holds is cut to the container.
//
// Outputs: the top-level steps (signature, file type, header box search,
// codestream box search) and the codestream check warn on the output they are
// given, which the decoder connects to the caller's sink.  The header
// super-box's reading and the three checks after it warn on the header
// records' own route, and the UUID box reader on the payload's own route;
// neither is connected to the caller, so what they say is dropped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/codestream/byte_input.h"
#include "decoder/codestream/codestream_header.h"
#include "decoder/diagnostics.h"
#include "decoder/holders.h"

namespace Codec {

// Four characters as the big-endian 32-bit value a box type is read as.
constexpr std::uint32_t Jp2BoxType(const char (&s)[5]) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

inline constexpr std::uint32_t kBoxSignature = Jp2BoxType("jP  ");
inline constexpr std::uint32_t kBoxFileType = Jp2BoxType("ftyp");
inline constexpr std::uint32_t kBoxHeader = Jp2BoxType("jp2h");
inline constexpr std::uint32_t kBoxImageHeader = Jp2BoxType("ihdr");
inline constexpr std::uint32_t kBoxBitsPerComp = Jp2BoxType("bpcc");
inline constexpr std::uint32_t kBoxColourSpec = Jp2BoxType("colr");
inline constexpr std::uint32_t kBoxPalette = Jp2BoxType("pclr");
inline constexpr std::uint32_t kBoxCompMapping = Jp2BoxType("cmap");
inline constexpr std::uint32_t kBoxResolution = Jp2BoxType("res ");
inline constexpr std::uint32_t kBoxCaptureResolution = Jp2BoxType("resc");
inline constexpr std::uint32_t kBoxDisplayResolution = Jp2BoxType("resd");
inline constexpr std::uint32_t kBoxUuid = Jp2BoxType("uuid");
inline constexpr std::uint32_t kBoxCodestream = Jp2BoxType("jp2c");
inline constexpr std::uint32_t kBrandJp2 = Jp2BoxType("jp2 ");
inline constexpr std::uint32_t kSignatureContent = 0x0D0A870Au;

// The one UUID whose payload is kept.
inline constexpr std::uint8_t kKeptUuid[16] = {0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9, 0x42, 0xe8,
                                               0x9c, 0x71, 0x99, 0x94, 0x91, 0xe3, 0xaf, 0xac};

// Bit-depth fields (depth minus one) above this are warned about.
inline constexpr std::uint32_t kJp2MaxDepthField = 37;
// Palettes with more entries than this are warned about (and still read).
inline constexpr std::uint32_t kJp2MaxPaletteEntries = 1024;

struct Jp2ImageHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t componentCount = 0;   // NC
  std::uint8_t bitsPerComponent = 0;  // BPC; 255: varies, see the bpcc box
  bool bpcUniform = false;
};

struct Jp2BitsPerComponent {
  bool notRead = true;
  OwnedArray<std::uint8_t> depths;  // per component: bit 7 signed, bits 0-6 depth - 1
};

struct Jp2ColourSpecBox {
  bool notRead = true;
  std::uint32_t method = 0;  // METH; 1 enumerated
  std::uint32_t enumCS = 17;
};

struct Jp2Palette {
  bool notRead = true;
  std::uint16_t entryCount = 0;      // NE
  std::uint8_t columnCount = 0;      // NPC
  OwnedArray<std::uint8_t> sizes;    // per column: bit 7 signed, bits 0-6 depth - 1
  OwnedArray<std::int64_t> entries;  // column c, entry e at c * NE + e

  std::int64_t Entry(std::uint32_t column, std::uint32_t entry) const {
    return entries[std::size_t(column) * entryCount + entry];
  }
};

struct Jp2Channel {
  std::uint16_t component = 0;     // CMP
  std::uint32_t mappingType = 0;   // MTYP: 0 direct, 1 palette
  std::uint8_t paletteColumn = 0;  // PCOL
  bool paletteMapped = false;      // set by the palette and mapping check
};

struct Jp2ComponentMapping {
  bool notRead = true;
  std::uint16_t channelCount = 0;
  OwnedArray<Jp2Channel> channels;
};

struct Jp2Resolution {
  std::uint16_t verticalNum = 0;
  std::uint16_t verticalDen = 1;
  std::uint16_t horizontalNum = 0;
  std::uint16_t horizontalDen = 1;
  std::uint8_t verticalExp = 0;
  std::uint8_t horizontalExp = 0;
};

struct Jp2ResolutionBox {
  bool captureNotRead = true;
  bool displayNotRead = true;
  Jp2Resolution capture;
  Jp2Resolution display;
};

// What the header boxes said; one pass over the file fills it.
struct Jp2HeaderRecords {
  Jp2ImageHeader imageHeader;
  Jp2BitsPerComponent bitsPerComp;
  Jp2ColourSpecBox colourSpec;
  Jp2Palette palette;
  Jp2ComponentMapping mapping;
  Jp2ResolutionBox resolution;
  DiagnRoute route;  // never connected to the caller's sink
};

// The payload of the kept UUID box.
struct Jp2UuidPayload {
  OwnedBuffer buffer;
  std::size_t length = 0;
  DiagnRoute route;  // never connected to the caller's sink
};

// --- Box framing -------------------------------------------------------------

// LBox, TBox and, when LBox is 1, XLBox.  LBox 0: the content runs to the end
// of the enclosing bound.  Throws Except_badLBoxValue (LBox 2 to 7),
// Except_badXLBoxValue (XLBox below 16) or Except_tooLongBoxLen (content
// beyond 32 bits).
void ReadBoxHeader(CodecAdapterBoundedInputBE& in, std::uint32_t& type, std::uint32_t& contentLength);

// Pushes the content's bound; a cut push warns.
void OpenBox(CodecAdapterBoundedInputBE& in, std::uint32_t contentLength, BDiagnOutput& out);
// Pops the content's bound; unread content is skipped and, when `check`,
// warned about.
void CloseBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, bool check = true);

// --- Top level, in file order --------------------------------------------------

void ReadSignatureBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out);
void ReadFileTypeBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out);
// Searches for the header super-box (reading UUID boxes on the way) and reads it.
void ReadHeaderBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, Jp2HeaderRecords& records,
                   Jp2UuidPayload& uuid);
// Closes an open codestream box, then searches for the next one.  True when
// found: its bound is then left open (and `boxOpen` set) as the bound of the
// codestream.  False when the file ends first.
bool ReadCodestreamBox(CodecAdapterBoundedInputBE& in, BDiagnOutput& out, bool& boxOpen);

// --- Parts of the header super-box (warnings on the records' route) ------------

void ReadImageHeaderBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records);
void ReadBitsPerCompBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records);
void ReadColourSpecBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records);
void ReadPaletteBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records);
void ReadCompMappingBox(CodecAdapterBoundedInputBE& in, std::uint32_t contentLength,
                        Jp2HeaderRecords& records);
void ReadResolutionBox(CodecAdapterBoundedInputBE& in, Jp2HeaderRecords& records);
void ReadUuidBox(CodecAdapterBoundedInputBE& in, Jp2UuidPayload& uuid);

void CheckPaletteAndMapping(Jp2HeaderRecords& records);
void CheckBitsPerComponent(const Jp2HeaderRecords& records);
void CheckChannels(const Jp2HeaderRecords& records);

// The header boxes against the codestream's main header; warns on `out`.
void CheckCodestream(const Jp2HeaderRecords& records, const CodestreamHeader& codestream, BDiagnOutput& out);

}  // namespace Codec
