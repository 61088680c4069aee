// Decoder diagnostics.
//
// Every condition the decoder notices in a codestream or JP2 file is one
// diagnostic: a stateless object of its own class DiagnDescrCT<E, n>, where E
// is one of the enumerations below and n an index in it.  Warnings are handed
// to the component's current BDiagnOutput and decoding goes on; exceptions are
// thrown by value, caught as BDiagnDescr by the entry operations and reported
// through the same output.  The caller sees them only through the sink
// Codec::BaseStreamDiagn as Codec::BaseDiagnDescriptor {codec id, code, text}.
//
// Each codec numbers its diagnostics in one code space shared by warnings and
// exceptions: the code of DiagnDescrCT<E, n> is the base of E plus n.
#pragma once

#include <cstdint>

namespace Codec {

// ---------------------------------------------------------------------------
// Caller-facing interfaces.

class BaseDiagnDescriptor {
 public:
  virtual ~BaseDiagnDescriptor() = default;
  virtual std::int32_t CodecId() const = 0;
  virtual std::uint32_t Code() const = 0;
  virtual const char* Text() const = 0;
};

// The sink a caller attaches to a decoder; the default Write drops everything.
class BaseStreamDiagn {
 public:
  virtual ~BaseStreamDiagn() = default;
  virtual void Write(const BaseDiagnDescriptor& /*descr*/) {}
};

// ---------------------------------------------------------------------------
// Decoder-internal diagnostics.

class BDiagnDescr {
 public:
  virtual std::uint32_t Code() const = 0;
  virtual const char* Name() const = 0;
  virtual ~BDiagnDescr() = default;
};

// Codestream diagnostics (Codec::JPEG2000Decoder, codec id 2).
enum class DJP2CSWarning : std::uint32_t {
  UnknownQuantStyle = 0,
  MCTIsNotApplicableForNOfComponents = 1,
  MCTIsNotApplicableForMixedWTTypes = 2,
  MainHeaderUnknownMarker = 4,
  MainHeaderExtraCOD = 5,
  MainHeaderExtraQCD = 6,
  MainHeaderExtraCOC = 7,
  MainHeaderExtraQCC = 8,
  MainHeaderExtraPOC = 9,
  MainHeaderOnlyInCodestream = 10,
  TilePartHeaderUnknownMarker = 11,
  TilePartHeaderExtraCOD = 12,
  TilePartHeaderExtraCOC = 14,
  TilePartHeaderExtraQCC = 15,
  TilePartHeaderExtraPOC = 16,
  ActualMarkerLengthBelowSpecified = 17,
  SpecifiedMarkerLengthExceedContainerTail = 18,
  TLMUsed = 19,
  PLMUsed = 20,
  CRGUsed = 21,
  COMUsed = 22,
  PLTUsed = 23,
  SOTTilePartIndexMismatch = 24,
  SOTNOfTilePartsMismatch = 25,
  SOTTilePartLengthLessHeaderSize = 26,
  SOTTilePartLengthLessActualLength = 27,
  SOTTilePartLengthExceedActualLength = 28,
  ActualNOfTilePartsExceedSpecifiedInSOT = 29,
  CodeStreamBodyUnknownMarker = 30,
};
enum class DEBCOTWarning : std::uint32_t {
  CodeBlockLayerDamage = 0,
  CodeBlockLayerNOfPassesMissmatch = 1,
  CodeBlockNOfSignificantBitsExceedImplementationLimit = 2,
  CodeBlockNOfSignificantBitsBelowZero = 3,
};
enum class DJP2MarkerWarning : std::uint32_t {
  CODOrCOCOrPOCZeroNOfLayers = 2,
  UnknonwRsiz = 3,
  SIZTileGridOriginGreaterImageOrigin = 4,
  SIZBitDepthExceedBounds = 5,
  UnknownMCTUsage = 6,
};
enum class DPHWarning : std::uint32_t {
  BadPacketHeaderPadding = 0,
};
enum class DJP2CSUnsuppException : std::uint32_t {
  PPMUsed = 2,
  RGNUsed = 4,
  HTBlockCodingUsed = 5,
  LentPlanesHoldSamples = 6,
  BitDepthExceedsDataType = 7,
  EarlierReadFailed = 8,
  mctIsResampled = 18,
};
enum class DJP2CSException : std::uint32_t {
  SOTTileIndexExceedNOfTiles = 0,
  SOCNotFound = 1,
  SIZNotFound = 2,
  COCIndexExceedNOfComponents = 3,
  QCCIndexExceedNOfComponents = 4,
  CODNotFound = 5,
  QCDNotFound = 6,
  OCDOrQCCLackOfQuantValues = 7,
};
enum class DJP2MarkerException : std::uint32_t {
  NegativeBodyLen = 0,
  SIZGeometryTooLage = 1,
  SIZImageNeagativeSize = 2,
  BadCODProgressionOrder = 3,
  BadCODOrCOCNumberOfDecompositionLevels = 4,
  BadCODOrCOCCodeBlockWidth = 5,
  BadCODOrCOCCodeBlockHeight = 6,
  BadCODOrCOCTransformationType = 7,
  POCResLevelIndexExceedBound = 8,
  POCCompIndexExceedNOfComponents = 9,
  POCInverseResLevelProgr = 10,
  POCInverseCompProgr = 11,
};
enum class ByteInputException : std::uint32_t {
  noDataToRead = 0,
};
enum class MemoryException : std::uint32_t {
  faultMalloc = 0,
};

// JP2 file diagnostics (Codec::JP2Decoder, codec id 3, own code space).
enum class DJP2BoxWarning : std::uint32_t {
  UnknownSubBoxInHeaderBox = 0,
  UnknownSubBoxInResolutionBox = 1,
  ActualBoxLengthBelowSpecified = 2,
  SpecifiedBoxLengthExceedContainerTail = 3,
  ExtraPaletteBox = 4,
  ExtraCompMappingBox = 5,
  ExtraColourSpecBox = 6,
  ExtraBitsPerCompBox = 7,
  ExtraCaptureResolutionBox = 8,
  ExtraDisplayResolutionBox = 9,
  BoxImageHeaderBitDepthExceedBounds = 10,
  BoxImageHeaderUnknownColorspace = 11,
  BoxColourSpecUnknownMeth = 12,
  BoxColourSpecUnknownEnumeratedColourspace = 13,
  BoxPalleteBitDepthExceedBounds = 14,
  BoxBitsPerCompBitDepthExceedBounds = 15,
  BoxPalleteZeroNOfEntries = 16,
  BoxPalleteNOfEntriesExceedBounds = 17,
  BoxComponentMappingPaletteColumnExceedBoxPaletteNOfColumns = 18,
  BoxComponentMappingNonPaletteMapping = 19,
  SuperfluousBitsPerCompBox = 20,
  NOfChannelsMismatchColourSpecAndCompMappingBoxes = 21,
  BoxColourSpecIsNotEnumeratedColourspace = 22,
  BoxPaletteAbsence = 23,
  BoxCompMappingAbsence = 24,
  BitsPerCompMismatchImageHeaderAndBitsPerCompBoxes = 25,
  UnknownUUIDBox = 26,
};
enum class DJP2FileWarning : std::uint32_t {
  UnexpectedBoxIsIgnored = 1,
  NonZeroFileTypeBoxMinorVersion = 2,
  NOfComponentsMismatchImageHeaderAndCodestreamBoxes = 3,
  ImageSizeMismatchImageHeaderAndCodestreamBoxes = 4,
  BitsPerCompMismatchImageHeaderAndCodestreamBoxes = 5,
  BitsPerCompMismatchCSMainHeaderAndBitsPerCompBoxes = 6,
};
enum class DJP2BoxException : std::uint32_t {
  badLBoxValue = 1,
  badXLBoxValue = 2,
  tooLongBoxLen = 3,
  imageHeaderBoxNotFound = 4,
  imageHeaderBoxSize = 5,
  imageHeaderBoxComponentNumber = 6,
  imageHeaderBoxCompressionType = 7,
};
enum class DJP2FileException : std::uint32_t {
  signatureBoxNotFound = 0,
  signatureBoxNotRight = 1,
  fileTypeBoxNotFound = 2,
  fileTypeBoxJP2Incompatible = 3,
  headerBoxNotFound = 4,
};

// Per enumeration: the code of its index 0, whether it holds exceptions, and
// the name text of each index (null where the index has no diagnostic).
template <typename E>
struct DiagnEnumTraits;

const char* DiagnNameOf(DJP2CSWarning n);
const char* DiagnNameOf(DEBCOTWarning n);
const char* DiagnNameOf(DJP2MarkerWarning n);
const char* DiagnNameOf(DPHWarning n);
const char* DiagnNameOf(DJP2CSUnsuppException n);
const char* DiagnNameOf(DJP2CSException n);
const char* DiagnNameOf(DJP2MarkerException n);
const char* DiagnNameOf(ByteInputException n);
const char* DiagnNameOf(MemoryException n);
const char* DiagnNameOf(DJP2BoxWarning n);
const char* DiagnNameOf(DJP2FileWarning n);
const char* DiagnNameOf(DJP2BoxException n);
const char* DiagnNameOf(DJP2FileException n);

#define CODEC_DIAGN_ENUM(E, base_, count_, isException_) \
  template <>                                            \
  struct DiagnEnumTraits<E> {                            \
    static constexpr std::uint32_t base = base_;         \
    static constexpr std::uint32_t count = count_;       \
    static constexpr bool isException = isException_;    \
  };
CODEC_DIAGN_ENUM(DJP2CSWarning, 0, 31, false)
CODEC_DIAGN_ENUM(DEBCOTWarning, 31, 4, false)
CODEC_DIAGN_ENUM(DJP2MarkerWarning, 35, 7, false)
CODEC_DIAGN_ENUM(DPHWarning, 42, 1, false)
CODEC_DIAGN_ENUM(DJP2CSUnsuppException, 43, 19, true)
CODEC_DIAGN_ENUM(DJP2CSException, 62, 8, true)
CODEC_DIAGN_ENUM(DJP2MarkerException, 70, 12, true)
CODEC_DIAGN_ENUM(ByteInputException, 82, 1, true)
CODEC_DIAGN_ENUM(MemoryException, 83, 1, true)
CODEC_DIAGN_ENUM(DJP2BoxWarning, 0, 27, false)
CODEC_DIAGN_ENUM(DJP2FileWarning, 27, 7, false)
CODEC_DIAGN_ENUM(DJP2BoxException, 34, 8, true)
CODEC_DIAGN_ENUM(DJP2FileException, 43, 5, true)
#undef CODEC_DIAGN_ENUM

// One diagnostic: its class is its identity; it holds no data.
template <typename E, E n>
class DiagnDescrCT final : public BDiagnDescr {
  static_assert(static_cast<std::uint32_t>(n) < DiagnEnumTraits<E>::count, "index outside its enumeration");

 public:
  using Enum = E;
  static constexpr E index = n;
  static constexpr std::uint32_t code = DiagnEnumTraits<E>::base + static_cast<std::uint32_t>(n);
  static constexpr bool isException = DiagnEnumTraits<E>::isException;

  std::uint32_t Code() const override { return code; }
  const char* Name() const override { return DiagnNameOf(n); }
};

// Internal output; the base drops every diagnostic.
class BDiagnOutput {
 public:
  virtual ~BDiagnOutput() = default;
  virtual void Warning(const BDiagnDescr& /*descr*/) {}
  virtual void Error(const BDiagnDescr& /*descr*/) {}
};

// What the caller's sink receives: {codec id, code, text}, alive only during Write.
template <std::int32_t id>
class CodecAdapterDiagnDescriptor final : public BaseDiagnDescriptor {
 public:
  CodecAdapterDiagnDescriptor(std::uint32_t code, const char* text) : code_(code), text_(text) {}
  std::int32_t CodecId() const override { return id; }
  std::uint32_t Code() const override { return code_; }
  const char* Text() const override { return text_ ? text_ : "<no text>"; }

 private:
  std::uint32_t code_;
  const char* text_;
};

// The codec's output: forwards every warning and error to the attached sink,
// or to its own default sink (which drops them) while none is attached.
template <std::int32_t id>
class CodecAdapterDiagnOutput final : public BDiagnOutput {
 public:
  CodecAdapterDiagnOutput() : sink_(&defaultSink_) {}
  CodecAdapterDiagnOutput(const CodecAdapterDiagnOutput&) = delete;
  CodecAdapterDiagnOutput& operator=(const CodecAdapterDiagnOutput&) = delete;

  void Warning(const BDiagnDescr& descr) override { Deliver(descr); }
  void Error(const BDiagnDescr& descr) override { Deliver(descr); }

  void AttachSink(BaseStreamDiagn* sink) { sink_ = sink ? sink : &defaultSink_; }
  void DetachSink() { sink_ = &defaultSink_; }
  BaseStreamDiagn* Sink() const { return sink_; }

 private:
  void Deliver(const BDiagnDescr& descr) {
    const std::uint32_t code = descr.Code();
    const char* name = descr.Name();
    const CodecAdapterDiagnDescriptor<id> wrapper(code, name);
    sink_->Write(wrapper);
  }

  BaseStreamDiagn defaultSink_;
  BaseStreamDiagn* sink_;
};

// Helper for components that hold a route {own default output, pointer to the
// output in use}: the pointer starts at the embedded default.
class DiagnRoute {
 public:
  DiagnRoute() : output_(&default_) {}
  DiagnRoute(const DiagnRoute&) = delete;
  DiagnRoute& operator=(const DiagnRoute&) = delete;

  void SetOutput(BDiagnOutput* output) { output_ = output ? output : &default_; }
  BDiagnOutput* Output() const { return output_; }
  template <typename D>
  void Warn(const D& d) const {
    output_->Warning(d);
  }

 private:
  BDiagnOutput default_;
  BDiagnOutput* output_;
};

// ---------------------------------------------------------------------------
// Named diagnostics of the codestream decoder (use: throw J2k::Except_SOCNotFound()).
namespace J2k {
#define CODEC_DIAGN(alias, E, n) using alias = DiagnDescrCT<E, E::n>;
CODEC_DIAGN(Warn_UnknownQuantStyle, DJP2CSWarning, UnknownQuantStyle)
CODEC_DIAGN(Warn_MCTIsNotApplicableForNOfComponents, DJP2CSWarning, MCTIsNotApplicableForNOfComponents)
CODEC_DIAGN(Warn_MCTIsNotApplicableForMixedWTTypes, DJP2CSWarning, MCTIsNotApplicableForMixedWTTypes)
CODEC_DIAGN(Warn_MainHeaderUnknownMarker, DJP2CSWarning, MainHeaderUnknownMarker)
CODEC_DIAGN(Warn_MainHeaderExtraCOD, DJP2CSWarning, MainHeaderExtraCOD)
CODEC_DIAGN(Warn_MainHeaderExtraQCD, DJP2CSWarning, MainHeaderExtraQCD)
CODEC_DIAGN(Warn_MainHeaderExtraCOC, DJP2CSWarning, MainHeaderExtraCOC)
CODEC_DIAGN(Warn_MainHeaderExtraQCC, DJP2CSWarning, MainHeaderExtraQCC)
CODEC_DIAGN(Warn_MainHeaderExtraPOC, DJP2CSWarning, MainHeaderExtraPOC)
CODEC_DIAGN(Warn_MainHeaderOnlyInCodestream, DJP2CSWarning, MainHeaderOnlyInCodestream)
CODEC_DIAGN(Warn_TilePartHeaderUnknownMarker, DJP2CSWarning, TilePartHeaderUnknownMarker)
CODEC_DIAGN(Warn_TilePartHeaderExtraCOD, DJP2CSWarning, TilePartHeaderExtraCOD)
CODEC_DIAGN(Warn_TilePartHeaderExtraCOC, DJP2CSWarning, TilePartHeaderExtraCOC)
CODEC_DIAGN(Warn_TilePartHeaderExtraQCC, DJP2CSWarning, TilePartHeaderExtraQCC)
CODEC_DIAGN(Warn_TilePartHeaderExtraPOC, DJP2CSWarning, TilePartHeaderExtraPOC)
CODEC_DIAGN(Warn_ActualMarkerLengthBelowSpecified, DJP2CSWarning, ActualMarkerLengthBelowSpecified)
CODEC_DIAGN(Warn_SpecifiedMarkerLengthExceedContainerTail, DJP2CSWarning,
            SpecifiedMarkerLengthExceedContainerTail)
CODEC_DIAGN(Warn_TLMUsed, DJP2CSWarning, TLMUsed)
CODEC_DIAGN(Warn_PLMUsed, DJP2CSWarning, PLMUsed)
CODEC_DIAGN(Warn_CRGUsed, DJP2CSWarning, CRGUsed)
CODEC_DIAGN(Warn_COMUsed, DJP2CSWarning, COMUsed)
CODEC_DIAGN(Warn_PLTUsed, DJP2CSWarning, PLTUsed)
CODEC_DIAGN(Warn_SOTTilePartIndexMismatch, DJP2CSWarning, SOTTilePartIndexMismatch)
CODEC_DIAGN(Warn_SOTNOfTilePartsMismatch, DJP2CSWarning, SOTNOfTilePartsMismatch)
CODEC_DIAGN(Warn_SOTTilePartLengthLessHeaderSize, DJP2CSWarning, SOTTilePartLengthLessHeaderSize)
CODEC_DIAGN(Warn_SOTTilePartLengthLessActualLength, DJP2CSWarning, SOTTilePartLengthLessActualLength)
CODEC_DIAGN(Warn_SOTTilePartLengthExceedActualLength, DJP2CSWarning, SOTTilePartLengthExceedActualLength)
CODEC_DIAGN(Warn_ActualNOfTilePartsExceedSpecifiedInSOT, DJP2CSWarning,
            ActualNOfTilePartsExceedSpecifiedInSOT)
CODEC_DIAGN(Warn_CodeStreamBodyUnknownMarker, DJP2CSWarning, CodeStreamBodyUnknownMarker)
CODEC_DIAGN(Warn_CodeBlockLayerDamage, DEBCOTWarning, CodeBlockLayerDamage)
CODEC_DIAGN(Warn_CodeBlockLayerNOfPassesMissmatch, DEBCOTWarning, CodeBlockLayerNOfPassesMissmatch)
CODEC_DIAGN(Warn_CodeBlockNOfSignificantBitsExceedImplementationLimit, DEBCOTWarning,
            CodeBlockNOfSignificantBitsExceedImplementationLimit)
CODEC_DIAGN(Warn_CodeBlockNOfSignificantBitsBelowZero, DEBCOTWarning, CodeBlockNOfSignificantBitsBelowZero)
CODEC_DIAGN(Warn_CODOrCOCOrPOCZeroNOfLayers, DJP2MarkerWarning, CODOrCOCOrPOCZeroNOfLayers)
CODEC_DIAGN(Warn_UnknonwRsiz, DJP2MarkerWarning, UnknonwRsiz)
CODEC_DIAGN(Warn_SIZTileGridOriginGreaterImageOrigin, DJP2MarkerWarning, SIZTileGridOriginGreaterImageOrigin)
CODEC_DIAGN(Warn_SIZBitDepthExceedBounds, DJP2MarkerWarning, SIZBitDepthExceedBounds)
CODEC_DIAGN(Warn_UnknownMCTUsage, DJP2MarkerWarning, UnknownMCTUsage)
CODEC_DIAGN(Warn_BadPacketHeaderPadding, DPHWarning, BadPacketHeaderPadding)
CODEC_DIAGN(Except_PPMUsed, DJP2CSUnsuppException, PPMUsed)
CODEC_DIAGN(Except_RGNUsed, DJP2CSUnsuppException, RGNUsed)
CODEC_DIAGN(Except_HTBlockCodingUsed, DJP2CSUnsuppException, HTBlockCodingUsed)
CODEC_DIAGN(Except_LentPlanesHoldSamples, DJP2CSUnsuppException, LentPlanesHoldSamples)
CODEC_DIAGN(Except_BitDepthExceedsDataType, DJP2CSUnsuppException, BitDepthExceedsDataType)
CODEC_DIAGN(Except_EarlierReadFailed, DJP2CSUnsuppException, EarlierReadFailed)
CODEC_DIAGN(Except_mctIsResampled, DJP2CSUnsuppException, mctIsResampled)
CODEC_DIAGN(Except_SOTTileIndexExceedNOfTiles, DJP2CSException, SOTTileIndexExceedNOfTiles)
CODEC_DIAGN(Except_SOCNotFound, DJP2CSException, SOCNotFound)
CODEC_DIAGN(Except_SIZNotFound, DJP2CSException, SIZNotFound)
CODEC_DIAGN(Except_COCIndexExceedNOfComponents, DJP2CSException, COCIndexExceedNOfComponents)
CODEC_DIAGN(Except_QCCIndexExceedNOfComponents, DJP2CSException, QCCIndexExceedNOfComponents)
CODEC_DIAGN(Except_CODNotFound, DJP2CSException, CODNotFound)
CODEC_DIAGN(Except_QCDNotFound, DJP2CSException, QCDNotFound)
CODEC_DIAGN(Except_OCDOrQCCLackOfQuantValues, DJP2CSException, OCDOrQCCLackOfQuantValues)
CODEC_DIAGN(Except_NegativeBodyLen, DJP2MarkerException, NegativeBodyLen)
CODEC_DIAGN(Except_SIZGeometryTooLage, DJP2MarkerException, SIZGeometryTooLage)
CODEC_DIAGN(Except_SIZImageNeagativeSize, DJP2MarkerException, SIZImageNeagativeSize)
CODEC_DIAGN(Except_BadCODProgressionOrder, DJP2MarkerException, BadCODProgressionOrder)
CODEC_DIAGN(Except_BadCODOrCOCNumberOfDecompositionLevels, DJP2MarkerException,
            BadCODOrCOCNumberOfDecompositionLevels)
CODEC_DIAGN(Except_BadCODOrCOCCodeBlockWidth, DJP2MarkerException, BadCODOrCOCCodeBlockWidth)
CODEC_DIAGN(Except_BadCODOrCOCCodeBlockHeight, DJP2MarkerException, BadCODOrCOCCodeBlockHeight)
CODEC_DIAGN(Except_BadCODOrCOCTransformationType, DJP2MarkerException, BadCODOrCOCTransformationType)
CODEC_DIAGN(Except_POCResLevelIndexExceedBound, DJP2MarkerException, POCResLevelIndexExceedBound)
CODEC_DIAGN(Except_POCCompIndexExceedNOfComponents, DJP2MarkerException, POCCompIndexExceedNOfComponents)
CODEC_DIAGN(Except_POCInverseResLevelProgr, DJP2MarkerException, POCInverseResLevelProgr)
CODEC_DIAGN(Except_POCInverseCompProgr, DJP2MarkerException, POCInverseCompProgr)
CODEC_DIAGN(Except_noDataToRead, ByteInputException, noDataToRead)
CODEC_DIAGN(Except_faultMalloc, MemoryException, faultMalloc)
}  // namespace J2k

// Named diagnostics of the JP2 file reader.
namespace Jp2 {
CODEC_DIAGN(Warn_UnknownSubBoxInHeaderBox, DJP2BoxWarning, UnknownSubBoxInHeaderBox)
CODEC_DIAGN(Warn_UnknownSubBoxInResolutionBox, DJP2BoxWarning, UnknownSubBoxInResolutionBox)
CODEC_DIAGN(Warn_ActualBoxLengthBelowSpecified, DJP2BoxWarning, ActualBoxLengthBelowSpecified)
CODEC_DIAGN(Warn_SpecifiedBoxLengthExceedContainerTail, DJP2BoxWarning, SpecifiedBoxLengthExceedContainerTail)
CODEC_DIAGN(Warn_ExtraPaletteBox, DJP2BoxWarning, ExtraPaletteBox)
CODEC_DIAGN(Warn_ExtraCompMappingBox, DJP2BoxWarning, ExtraCompMappingBox)
CODEC_DIAGN(Warn_ExtraColourSpecBox, DJP2BoxWarning, ExtraColourSpecBox)
CODEC_DIAGN(Warn_ExtraBitsPerCompBox, DJP2BoxWarning, ExtraBitsPerCompBox)
CODEC_DIAGN(Warn_ExtraCaptureResolutionBox, DJP2BoxWarning, ExtraCaptureResolutionBox)
CODEC_DIAGN(Warn_ExtraDisplayResolutionBox, DJP2BoxWarning, ExtraDisplayResolutionBox)
CODEC_DIAGN(Warn_BoxImageHeaderBitDepthExceedBounds, DJP2BoxWarning, BoxImageHeaderBitDepthExceedBounds)
CODEC_DIAGN(Warn_BoxImageHeaderUnknownColorspace, DJP2BoxWarning, BoxImageHeaderUnknownColorspace)
CODEC_DIAGN(Warn_BoxColourSpecUnknownMeth, DJP2BoxWarning, BoxColourSpecUnknownMeth)
CODEC_DIAGN(Warn_BoxColourSpecUnknownEnumeratedColourspace, DJP2BoxWarning,
            BoxColourSpecUnknownEnumeratedColourspace)
CODEC_DIAGN(Warn_BoxPalleteBitDepthExceedBounds, DJP2BoxWarning, BoxPalleteBitDepthExceedBounds)
CODEC_DIAGN(Warn_BoxBitsPerCompBitDepthExceedBounds, DJP2BoxWarning, BoxBitsPerCompBitDepthExceedBounds)
CODEC_DIAGN(Warn_BoxPalleteZeroNOfEntries, DJP2BoxWarning, BoxPalleteZeroNOfEntries)
CODEC_DIAGN(Warn_BoxPalleteNOfEntriesExceedBounds, DJP2BoxWarning, BoxPalleteNOfEntriesExceedBounds)
CODEC_DIAGN(Warn_BoxComponentMappingPaletteColumnExceedBoxPaletteNOfColumns, DJP2BoxWarning,
            BoxComponentMappingPaletteColumnExceedBoxPaletteNOfColumns)
CODEC_DIAGN(Warn_BoxComponentMappingNonPaletteMapping, DJP2BoxWarning, BoxComponentMappingNonPaletteMapping)
CODEC_DIAGN(Warn_SuperfluousBitsPerCompBox, DJP2BoxWarning, SuperfluousBitsPerCompBox)
CODEC_DIAGN(Warn_NOfChannelsMismatchColourSpecAndCompMappingBoxes, DJP2BoxWarning,
            NOfChannelsMismatchColourSpecAndCompMappingBoxes)
CODEC_DIAGN(Warn_BoxColourSpecIsNotEnumeratedColourspace, DJP2BoxWarning,
            BoxColourSpecIsNotEnumeratedColourspace)
CODEC_DIAGN(Warn_BoxPaletteAbsence, DJP2BoxWarning, BoxPaletteAbsence)
CODEC_DIAGN(Warn_BoxCompMappingAbsence, DJP2BoxWarning, BoxCompMappingAbsence)
CODEC_DIAGN(Warn_BitsPerCompMismatchImageHeaderAndBitsPerCompBoxes, DJP2BoxWarning,
            BitsPerCompMismatchImageHeaderAndBitsPerCompBoxes)
CODEC_DIAGN(Warn_UnknownUUIDBox, DJP2BoxWarning, UnknownUUIDBox)
CODEC_DIAGN(Warn_UnexpectedBoxIsIgnored, DJP2FileWarning, UnexpectedBoxIsIgnored)
CODEC_DIAGN(Warn_NonZeroFileTypeBoxMinorVersion, DJP2FileWarning, NonZeroFileTypeBoxMinorVersion)
CODEC_DIAGN(Warn_NOfComponentsMismatchImageHeaderAndCodestreamBoxes, DJP2FileWarning,
            NOfComponentsMismatchImageHeaderAndCodestreamBoxes)
CODEC_DIAGN(Warn_ImageSizeMismatchImageHeaderAndCodestreamBoxes, DJP2FileWarning,
            ImageSizeMismatchImageHeaderAndCodestreamBoxes)
CODEC_DIAGN(Warn_BitsPerCompMismatchImageHeaderAndCodestreamBoxes, DJP2FileWarning,
            BitsPerCompMismatchImageHeaderAndCodestreamBoxes)
CODEC_DIAGN(Warn_BitsPerCompMismatchCSMainHeaderAndBitsPerCompBoxes, DJP2FileWarning,
            BitsPerCompMismatchCSMainHeaderAndBitsPerCompBoxes)
CODEC_DIAGN(Except_badLBoxValue, DJP2BoxException, badLBoxValue)
CODEC_DIAGN(Except_badXLBoxValue, DJP2BoxException, badXLBoxValue)
CODEC_DIAGN(Except_tooLongBoxLen, DJP2BoxException, tooLongBoxLen)
CODEC_DIAGN(Except_imageHeaderBoxNotFound, DJP2BoxException, imageHeaderBoxNotFound)
CODEC_DIAGN(Except_imageHeaderBoxSize, DJP2BoxException, imageHeaderBoxSize)
CODEC_DIAGN(Except_imageHeaderBoxComponentNumber, DJP2BoxException, imageHeaderBoxComponentNumber)
CODEC_DIAGN(Except_imageHeaderBoxCompressionType, DJP2BoxException, imageHeaderBoxCompressionType)
CODEC_DIAGN(Except_signatureBoxNotFound, DJP2FileException, signatureBoxNotFound)
CODEC_DIAGN(Except_signatureBoxNotRight, DJP2FileException, signatureBoxNotRight)
CODEC_DIAGN(Except_fileTypeBoxNotFound, DJP2FileException, fileTypeBoxNotFound)
CODEC_DIAGN(Except_fileTypeBoxJP2Incompatible, DJP2FileException, fileTypeBoxJP2Incompatible)
CODEC_DIAGN(Except_headerBoxNotFound, DJP2FileException, headerBoxNotFound)
#undef CODEC_DIAGN
}  // namespace Jp2

}  // namespace Codec
