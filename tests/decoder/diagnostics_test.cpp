// Diagnostics: every diagnostic's code and name, delivery to the sink.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "decoder/diagnostics.h"
#include "tests/decoder/codestream_builder.h"

using namespace Codec;
using codec_test::RecordingSink;

namespace {

struct Row {
  std::uint32_t code;
  std::uint32_t classCode;  // the class's static code
  bool isException;
  std::string expectedName;
  std::string name;  // what Name() returns
  bool isJp2;
};

#define ROW(D, c, t) \
  Row { c, D::code, D::isException, t, D().Name(), std::string(t).rfind("Codec::JP2Decoder", 0) == 0 }

const Row kRows[] = {
    ROW(J2k::Warn_UnknownQuantStyle, 0, "Codec::JPEG2000Decoder::Warn_UnknownQuantStyle"),
    ROW(J2k::Warn_MCTIsNotApplicableForNOfComponents, 1,
        "Codec::JPEG2000Decoder::Warn_MCTIsNotApplicableForNOfComponents"),
    ROW(J2k::Warn_MCTIsNotApplicableForMixedWTTypes, 2,
        "Codec::JPEG2000Decoder::Warn_MCTIsNotApplicableForMixedWTTypes"),
    ROW(J2k::Warn_MainHeaderUnknownMarker, 4, "Codec::JPEG2000Decoder::Warn_MainHeaderUnknownMarker"),
    ROW(J2k::Warn_MainHeaderExtraCOD, 5, "Codec::JPEG2000Decoder::Warn_MainHeaderExtraCOD"),
    ROW(J2k::Warn_MainHeaderExtraQCD, 6, "Codec::JPEG2000Decoder::Warn_MainHeaderExtraQCD"),
    ROW(J2k::Warn_MainHeaderExtraCOC, 7, "Codec::JPEG2000Decoder::Warn_MainHeaderExtraCOC"),
    ROW(J2k::Warn_MainHeaderExtraQCC, 8, "Codec::JPEG2000Decoder::Warn_MainHeaderExtraQCC"),
    ROW(J2k::Warn_MainHeaderExtraPOC, 9, "Codec::JPEG2000Decoder::Warn_MainHeaderExtraPOC"),
    ROW(J2k::Warn_MainHeaderOnlyInCodestream, 10, "Codec::JPEG2000Decoder::Warn_MainHeaderOnlyInCodestream"),
    ROW(J2k::Warn_TilePartHeaderUnknownMarker, 11,
        "Codec::JPEG2000Decoder::Warn_TilePartHeaderUnknownMarker"),
    ROW(J2k::Warn_TilePartHeaderExtraCOD, 12, "Codec::JPEG2000Decoder::Warn_TilePartHeaderExtraCOD"),
    ROW(J2k::Warn_TilePartHeaderExtraCOC, 14, "Codec::JPEG2000Decoder::Warn_TilePartHeaderExtraCOC"),
    ROW(J2k::Warn_TilePartHeaderExtraQCC, 15, "Codec::JPEG2000Decoder::Warn_TilePartHeaderExtraQCC"),
    ROW(J2k::Warn_TilePartHeaderExtraPOC, 16, "Codec::JPEG2000Decoder::Warn_TilePartHeaderExtraPOC"),
    ROW(J2k::Warn_ActualMarkerLengthBelowSpecified, 17,
        "Codec::JPEG2000Decoder::Warn_ActualMarkerLengthBelowSpecified"),
    ROW(J2k::Warn_SpecifiedMarkerLengthExceedContainerTail, 18,
        "Codec::JPEG2000Decoder::Warn_SpecifiedMarkerLengthExceedContainerTail"),
    ROW(J2k::Warn_TLMUsed, 19, "Codec::JPEG2000Decoder::Warn_TLMUsed"),
    ROW(J2k::Warn_PLMUsed, 20, "Codec::JPEG2000Decoder::Warn_PLMUsed"),
    ROW(J2k::Warn_CRGUsed, 21, "Codec::JPEG2000Decoder::Warn_CRGUsed"),
    ROW(J2k::Warn_COMUsed, 22, "Codec::JPEG2000Decoder::Warn_COMUsed"),
    ROW(J2k::Warn_PLTUsed, 23, "Codec::JPEG2000Decoder::Warn_PLTUsed"),
    ROW(J2k::Warn_SOTTilePartIndexMismatch, 24, "Codec::JPEG2000Decoder::Warn_SOTTilePartIndexMismatch"),
    ROW(J2k::Warn_SOTNOfTilePartsMismatch, 25, "Codec::JPEG2000Decoder::Warn_SOTNOfTilePartsMismatch"),
    ROW(J2k::Warn_SOTTilePartLengthLessHeaderSize, 26,
        "Codec::JPEG2000Decoder::Warn_SOTTilePartLengthLessHeaderSize"),
    ROW(J2k::Warn_SOTTilePartLengthLessActualLength, 27,
        "Codec::JPEG2000Decoder::Warn_SOTTilePartLengthLessActualLength"),
    ROW(J2k::Warn_SOTTilePartLengthExceedActualLength, 28,
        "Codec::JPEG2000Decoder::Warn_SOTTilePartLengthExceedActualLength"),
    ROW(J2k::Warn_ActualNOfTilePartsExceedSpecifiedInSOT, 29,
        "Codec::JPEG2000Decoder::Warn_ActualNOfTilePartsExceedSpecifiedInSOT"),
    ROW(J2k::Warn_CodeStreamBodyUnknownMarker, 30,
        "Codec::JPEG2000Decoder::Warn_CodeStreamBodyUnknownMarker"),
    ROW(J2k::Warn_CodeBlockLayerDamage, 31, "Codec::JPEG2000Decoder::Warn_CodeBlockLayerDamage"),
    ROW(J2k::Warn_CodeBlockLayerNOfPassesMissmatch, 32,
        "Codec::JPEG2000Decoder::Warn_CodeBlockLayerNOfPassesMissmatch"),
    ROW(J2k::Warn_CodeBlockNOfSignificantBitsExceedImplementationLimit, 33,
        "Codec::JPEG2000Decoder::Warn_CodeBlockNOfSignificantBitsExceedImplementationLimit"),
    ROW(J2k::Warn_CodeBlockNOfSignificantBitsBelowZero, 34,
        "Codec::JPEG2000Decoder::Warn_CodeBlockNOfSignificantBitsBelowZero"),
    ROW(J2k::Warn_CODOrCOCOrPOCZeroNOfLayers, 37, "Codec::JPEG2000Decoder::Warn_CODOrCOCOrPOCZeroNOfLayers"),
    ROW(J2k::Warn_UnknonwRsiz, 38, "Codec::JPEG2000Decoder::Warn_UnknonwRsiz"),
    ROW(J2k::Warn_SIZTileGridOriginGreaterImageOrigin, 39,
        "Codec::JPEG2000Decoder::Warn_SIZTileGridOriginGreaterImageOrigin"),
    ROW(J2k::Warn_SIZBitDepthExceedBounds, 40, "Codec::JPEG2000Decoder::Warn_SIZBitDepthExceedBounds"),
    ROW(J2k::Warn_UnknownMCTUsage, 41, "Codec::JPEG2000Decoder::Warn_UnknownMCTUsage"),
    ROW(J2k::Warn_BadPacketHeaderPadding, 42, "Codec::JPEG2000Decoder::Warn_BadPacketHeaderPadding"),
    ROW(J2k::Except_PPMUsed, 45, "Codec::JPEG2000Decoder::Except_PPMUsed"),
    ROW(J2k::Except_RGNUsed, 47, "Codec::JPEG2000Decoder::Except_RGNUsed"),
    ROW(J2k::Except_HTBlockCodingUsed, 48, "Codec::JPEG2000Decoder::Except_HTBlockCodingUsed"),
    ROW(J2k::Except_LentPlanesHoldSamples, 49, "Codec::JPEG2000Decoder::Except_LentPlanesHoldSamples"),
    ROW(J2k::Except_BitDepthExceedsDataType, 50, "Codec::JPEG2000Decoder::Except_BitDepthExceedsDataType"),
    ROW(J2k::Except_EarlierReadFailed, 51, "Codec::JPEG2000Decoder::Except_EarlierReadFailed"),
    ROW(J2k::Except_mctIsResampled, 61, "Codec::JPEG2000Decoder::Except_mctIsResampled"),
    ROW(J2k::Except_SOTTileIndexExceedNOfTiles, 62,
        "Codec::JPEG2000Decoder::Except_SOTTileIndexExceedNOfTiles"),
    ROW(J2k::Except_SOCNotFound, 63, "Codec::JPEG2000Decoder::Except_SOCNotFound"),
    ROW(J2k::Except_SIZNotFound, 64, "Codec::JPEG2000Decoder::Except_SIZNotFound"),
    ROW(J2k::Except_COCIndexExceedNOfComponents, 65,
        "Codec::JPEG2000Decoder::Except_COCIndexExceedNOfComponents"),
    ROW(J2k::Except_QCCIndexExceedNOfComponents, 66,
        "Codec::JPEG2000Decoder::Except_QCCIndexExceedNOfComponents"),
    ROW(J2k::Except_CODNotFound, 67, "Codec::JPEG2000Decoder::Except_CODNotFound"),
    ROW(J2k::Except_QCDNotFound, 68, "Codec::JPEG2000Decoder::Except_QCDNotFound"),
    ROW(J2k::Except_OCDOrQCCLackOfQuantValues, 69,
        "Codec::JPEG2000Decoder::Except_OCDOrQCCLackOfQuantValues"),
    ROW(J2k::Except_NegativeBodyLen, 70, "Codec::JPEG2000Decoder::Except_NegativeBodyLen"),
    ROW(J2k::Except_SIZGeometryTooLage, 71, "Codec::JPEG2000Decoder::Except_SIZGeometryTooLage"),
    ROW(J2k::Except_SIZImageNeagativeSize, 72, "Codec::JPEG2000Decoder::Except_SIZImageNeagativeSize"),
    ROW(J2k::Except_BadCODProgressionOrder, 73, "Codec::JPEG2000Decoder::Except_BadCODProgressionOrder"),
    ROW(J2k::Except_BadCODOrCOCNumberOfDecompositionLevels, 74,
        "Codec::JPEG2000Decoder::Except_BadCODOrCOCNumberOfDecompositionLevels"),
    ROW(J2k::Except_BadCODOrCOCCodeBlockWidth, 75,
        "Codec::JPEG2000Decoder::Except_BadCODOrCOCCodeBlockWidth"),
    ROW(J2k::Except_BadCODOrCOCCodeBlockHeight, 76,
        "Codec::JPEG2000Decoder::Except_BadCODOrCOCCodeBlockHeight"),
    ROW(J2k::Except_BadCODOrCOCTransformationType, 77,
        "Codec::JPEG2000Decoder::Except_BadCODOrCOCTransformationType"),
    ROW(J2k::Except_POCResLevelIndexExceedBound, 78,
        "Codec::JPEG2000Decoder::Except_POCResLevelIndexExceedBound"),
    ROW(J2k::Except_POCCompIndexExceedNOfComponents, 79,
        "Codec::JPEG2000Decoder::Except_POCCompIndexExceedNOfComponents"),
    ROW(J2k::Except_POCInverseResLevelProgr, 80, "Codec::JPEG2000Decoder::Except_POCInverseResLevelProgr"),
    ROW(J2k::Except_POCInverseCompProgr, 81, "Codec::JPEG2000Decoder::Except_POCInverseCompProgr"),
    ROW(J2k::Except_noDataToRead, 82, "Codec::JPEG2000Decoder::Except_noDataToRead"),
    ROW(J2k::Except_faultMalloc, 83, "Codec::JPEG2000Decoder::Except_faultMalloc"),
    ROW(Jp2::Warn_UnknownSubBoxInHeaderBox, 0, "Codec::JP2Decoder::Warn_UnknownSubBoxInHeaderBox"),
    ROW(Jp2::Warn_UnknownSubBoxInResolutionBox, 1, "Codec::JP2Decoder::Warn_UnknownSubBoxInResolutionBox"),
    ROW(Jp2::Warn_ActualBoxLengthBelowSpecified, 2, "Codec::JP2Decoder::Warn_ActualBoxLengthBelowSpecified"),
    ROW(Jp2::Warn_SpecifiedBoxLengthExceedContainerTail, 3,
        "Codec::JP2Decoder::Warn_SpecifiedBoxLengthExceedContainerTail"),
    ROW(Jp2::Warn_ExtraPaletteBox, 4, "Codec::JP2Decoder::Warn_ExtraPaletteBox"),
    ROW(Jp2::Warn_ExtraCompMappingBox, 5, "Codec::JP2Decoder::Warn_ExtraCompMappingBox"),
    ROW(Jp2::Warn_ExtraColourSpecBox, 6, "Codec::JP2Decoder::Warn_ExtraColourSpecBox"),
    ROW(Jp2::Warn_ExtraBitsPerCompBox, 7, "Codec::JP2Decoder::Warn_ExtraBitsPerCompBox"),
    ROW(Jp2::Warn_ExtraCaptureResolutionBox, 8, "Codec::JP2Decoder::Warn_ExtraCaptureResolutionBox"),
    ROW(Jp2::Warn_ExtraDisplayResolutionBox, 9, "Codec::JP2Decoder::Warn_ExtraDisplayResolutionBox"),
    ROW(Jp2::Warn_BoxImageHeaderBitDepthExceedBounds, 10,
        "Codec::JP2Decoder::Warn_BoxImageHeaderBitDepthExceedBounds"),
    ROW(Jp2::Warn_BoxImageHeaderUnknownColorspace, 11,
        "Codec::JP2Decoder::Warn_BoxImageHeaderUnknownColorspace"),
    ROW(Jp2::Warn_BoxColourSpecUnknownMeth, 12, "Codec::JP2Decoder::Warn_BoxColourSpecUnknownMeth"),
    ROW(Jp2::Warn_BoxColourSpecUnknownEnumeratedColourspace, 13,
        "Codec::JP2Decoder::Warn_BoxColourSpecUnknownEnumeratedColourspace"),
    ROW(Jp2::Warn_BoxPalleteBitDepthExceedBounds, 14,
        "Codec::JP2Decoder::Warn_BoxPalleteBitDepthExceedBounds"),
    ROW(Jp2::Warn_BoxBitsPerCompBitDepthExceedBounds, 15,
        "Codec::JP2Decoder::Warn_BoxBitsPerCompBitDepthExceedBounds"),
    ROW(Jp2::Warn_BoxPalleteZeroNOfEntries, 16, "Codec::JP2Decoder::Warn_BoxPalleteZeroNOfEntries"),
    ROW(Jp2::Warn_BoxPalleteNOfEntriesExceedBounds, 17,
        "Codec::JP2Decoder::Warn_BoxPalleteNOfEntriesExceedBounds"),
    ROW(Jp2::Warn_BoxComponentMappingPaletteColumnExceedBoxPaletteNOfColumns, 18,
        "Codec::JP2Decoder::Warn_BoxComponentMappingPaletteColumnExceedBoxPaletteNOfColumns"),
    ROW(Jp2::Warn_BoxComponentMappingNonPaletteMapping, 19,
        "Codec::JP2Decoder::Warn_BoxComponentMappingNonPaletteMapping"),
    ROW(Jp2::Warn_SuperfluousBitsPerCompBox, 20, "Codec::JP2Decoder::Warn_SuperfluousBitsPerCompBox"),
    ROW(Jp2::Warn_NOfChannelsMismatchColourSpecAndCompMappingBoxes, 21,
        "Codec::JP2Decoder::Warn_NOfChannelsMismatchColourSpecAndCompMappingBoxes"),
    ROW(Jp2::Warn_BoxColourSpecIsNotEnumeratedColourspace, 22,
        "Codec::JP2Decoder::Warn_BoxColourSpecIsNotEnumeratedColourspace"),
    ROW(Jp2::Warn_BoxPaletteAbsence, 23, "Codec::JP2Decoder::Warn_BoxPaletteAbsence"),
    ROW(Jp2::Warn_BoxCompMappingAbsence, 24, "Codec::JP2Decoder::Warn_BoxCompMappingAbsence"),
    ROW(Jp2::Warn_BitsPerCompMismatchImageHeaderAndBitsPerCompBoxes, 25,
        "Codec::JP2Decoder::Warn_BitsPerCompMismatchImageHeaderAndBitsPerCompBoxes"),
    ROW(Jp2::Warn_UnknownUUIDBox, 26, "Codec::JP2Decoder::Warn_UnknownUUIDBox"),
    ROW(Jp2::Warn_UnexpectedBoxIsIgnored, 28, "Codec::JP2Decoder::Warn_UnexpectedBoxIsIgnored"),
    ROW(Jp2::Warn_NonZeroFileTypeBoxMinorVersion, 29,
        "Codec::JP2Decoder::Warn_NonZeroFileTypeBoxMinorVersion"),
    ROW(Jp2::Warn_NOfComponentsMismatchImageHeaderAndCodestreamBoxes, 30,
        "Codec::JP2Decoder::Warn_NOfComponentsMismatchImageHeaderAndCodestreamBoxes"),
    ROW(Jp2::Warn_ImageSizeMismatchImageHeaderAndCodestreamBoxes, 31,
        "Codec::JP2Decoder::Warn_ImageSizeMismatchImageHeaderAndCodestreamBoxes"),
    ROW(Jp2::Warn_BitsPerCompMismatchImageHeaderAndCodestreamBoxes, 32,
        "Codec::JP2Decoder::Warn_BitsPerCompMismatchImageHeaderAndCodestreamBoxes"),
    ROW(Jp2::Warn_BitsPerCompMismatchCSMainHeaderAndBitsPerCompBoxes, 33,
        "Codec::JP2Decoder::Warn_BitsPerCompMismatchCSMainHeaderAndBitsPerCompBoxes"),
    ROW(Jp2::Except_badLBoxValue, 35, "Codec::JP2Decoder::Except_badLBoxValue"),
    ROW(Jp2::Except_badXLBoxValue, 36, "Codec::JP2Decoder::Except_badXLBoxValue"),
    ROW(Jp2::Except_tooLongBoxLen, 37, "Codec::JP2Decoder::Except_tooLongBoxLen"),
    ROW(Jp2::Except_imageHeaderBoxNotFound, 38, "Codec::JP2Decoder::Except_imageHeaderBoxNotFound"),
    ROW(Jp2::Except_imageHeaderBoxSize, 39, "Codec::JP2Decoder::Except_imageHeaderBoxSize"),
    ROW(Jp2::Except_imageHeaderBoxComponentNumber, 40,
        "Codec::JP2Decoder::Except_imageHeaderBoxComponentNumber"),
    ROW(Jp2::Except_imageHeaderBoxCompressionType, 41,
        "Codec::JP2Decoder::Except_imageHeaderBoxCompressionType"),
    ROW(Jp2::Except_signatureBoxNotFound, 43, "Codec::JP2Decoder::Except_signatureBoxNotFound"),
    ROW(Jp2::Except_signatureBoxNotRight, 44, "Codec::JP2Decoder::Except_signatureBoxNotRight"),
    ROW(Jp2::Except_fileTypeBoxNotFound, 45, "Codec::JP2Decoder::Except_fileTypeBoxNotFound"),
    ROW(Jp2::Except_fileTypeBoxJP2Incompatible, 46, "Codec::JP2Decoder::Except_fileTypeBoxJP2Incompatible"),
    ROW(Jp2::Except_headerBoxNotFound, 47, "Codec::JP2Decoder::Except_headerBoxNotFound"),
};
#undef ROW

}  // namespace

TEST(DecoderDiagnostics, EveryDiagnosticHasItsCodeAndName) {
  ASSERT_EQ(std::size(kRows), 113u);
  for (const Row& r : kRows) {
    EXPECT_EQ(r.classCode, r.code) << r.expectedName;
    EXPECT_EQ(r.name, r.expectedName);
    // Warnings and exceptions are told apart by their names.
    const std::string tail = r.expectedName.substr(r.expectedName.rfind("::") + 2);
    EXPECT_EQ(r.isException, tail.rfind("Except_", 0) == 0) << r.expectedName;
  }
}

TEST(DecoderDiagnostics, CodesAreUniqueInEachCodecSpace) {
  std::set<std::uint32_t> cs, jp2;
  for (const Row& r : kRows) {
    auto& space = r.isJp2 ? jp2 : cs;
    EXPECT_TRUE(space.insert(r.code).second) << "duplicate code " << r.code << " " << r.expectedName;
  }
  EXPECT_EQ(*cs.rbegin(), 83u);
  EXPECT_EQ(*jp2.rbegin(), 47u);
  // Indices without a diagnostic leave gaps: 3 and 13 of the first warnings,
  // 35 and 36 of the marker warnings.
  for (std::uint32_t missing : {3u, 13u, 35u, 36u, 43u, 44u, 46u})
    EXPECT_EQ(cs.count(missing), 0u) << missing;
  EXPECT_EQ(jp2.count(27u), 0u);
  EXPECT_EQ(jp2.count(34u), 0u);
  EXPECT_EQ(jp2.count(42u), 0u);
}

TEST(DecoderDiagnostics, UnlistedIndexHasNoName) {
  EXPECT_EQ(DiagnNameOf(static_cast<DJP2CSWarning>(3)), nullptr);
  EXPECT_EQ(DiagnNameOf(static_cast<DJP2CSUnsuppException>(0)), nullptr);
  EXPECT_EQ(DiagnNameOf(static_cast<DJP2FileWarning>(0)), nullptr);
}

TEST(DecoderDiagnostics, AdapterDeliversCodeNameAndCodecId) {
  CodecAdapterDiagnOutput<2> adapter;
  RecordingSink sink;
  adapter.Warning(J2k::Warn_COMUsed());  // no sink yet: dropped
  adapter.AttachSink(&sink);
  adapter.Warning(J2k::Warn_COMUsed());
  adapter.Error(J2k::Except_SIZNotFound());
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_EQ(sink.records[0].codecId, 2);
  EXPECT_EQ(sink.records[0].code, 22u);
  EXPECT_EQ(sink.records[0].text, "Codec::JPEG2000Decoder::Warn_COMUsed");
  EXPECT_EQ(sink.records[1].code, 64u);
  EXPECT_EQ(sink.records[1].text, "Codec::JPEG2000Decoder::Except_SIZNotFound");

  adapter.DetachSink();
  adapter.Error(J2k::Except_noDataToRead());
  EXPECT_EQ(sink.records.size(), 2u);
}

TEST(DecoderDiagnostics, Jp2AdapterCarriesIdThreeForEveryDiagnostic) {
  CodecAdapterDiagnOutput<3> adapter;
  RecordingSink sink;
  adapter.AttachSink(&sink);
  adapter.Warning(J2k::Warn_UnknonwRsiz());  // a codestream diagnostic under the JP2 decoder
  adapter.Error(Jp2::Except_signatureBoxNotFound());
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_EQ(sink.records[0].codecId, 3);
  EXPECT_EQ(sink.records[0].code, 38u);
  EXPECT_EQ(sink.records[1].codecId, 3);
  EXPECT_EQ(sink.records[1].code, 43u);
  EXPECT_EQ(sink.records[1].text, "Codec::JP2Decoder::Except_signatureBoxNotFound");
}

TEST(DecoderDiagnostics, NullNameGivesNoText) {
  CodecAdapterDiagnDescriptor<2> d(5, nullptr);
  EXPECT_STREQ(d.Text(), "<no text>");
  EXPECT_EQ(d.Code(), 5u);
  EXPECT_EQ(d.CodecId(), 2);
}

TEST(DecoderDiagnostics, ThrownDiagnosticIsCaughtAsBaseWithItsCode) {
  try {
    throw J2k::Except_faultMalloc();
  } catch (const BDiagnDescr& d) {
    EXPECT_EQ(d.Code(), 83u);
    EXPECT_STREQ(d.Name(), "Codec::JPEG2000Decoder::Except_faultMalloc");
  }
}

TEST(DecoderDiagnostics, PlainOutputAndRouteDropOrForward) {
  BDiagnOutput plain;
  plain.Warning(J2k::Warn_TLMUsed());  // does nothing
  DiagnRoute route;
  CodecAdapterDiagnOutput<2> adapter;
  RecordingSink sink;
  adapter.AttachSink(&sink);
  route.Warn(J2k::Warn_TLMUsed());  // own default: dropped
  route.SetOutput(&adapter);
  route.Warn(J2k::Warn_PLMUsed());
  route.SetOutput(nullptr);  // back to the default
  route.Warn(J2k::Warn_CRGUsed());
  ASSERT_EQ(sink.Codes(), (std::vector<std::uint32_t>{20}));
}
