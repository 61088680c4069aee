// Name texts of the decoder diagnostics.
#include "decoder/diagnostics.h"

namespace Codec {

const char* DiagnNameOf(DJP2CSWarning n) {
  switch (n) {
    case DJP2CSWarning::UnknownQuantStyle:
      return "Codec::JPEG2000Decoder::Warn_UnknownQuantStyle";
    case DJP2CSWarning::MCTIsNotApplicableForNOfComponents:
      return "Codec::JPEG2000Decoder::Warn_MCTIsNotApplicableForNOfComponents";
    case DJP2CSWarning::MCTIsNotApplicableForMixedWTTypes:
      return "Codec::JPEG2000Decoder::Warn_MCTIsNotApplicableForMixedWTTypes";
    case DJP2CSWarning::MainHeaderUnknownMarker:
      return "Codec::JPEG2000Decoder::Warn_MainHeaderUnknownMarker";
    case DJP2CSWarning::MainHeaderExtraCOD:
      return "Codec::JPEG2000Decoder::Warn_MainHeaderExtraCOD";
    case DJP2CSWarning::MainHeaderExtraQCD:
      return "Codec::JPEG2000Decoder::Warn_MainHeaderExtraQCD";
    case DJP2CSWarning::MainHeaderExtraCOC:
      return "Codec::JPEG2000Decoder::Warn_MainHeaderExtraCOC";
    case DJP2CSWarning::MainHeaderExtraQCC:
      return "Codec::JPEG2000Decoder::Warn_MainHeaderExtraQCC";
    case DJP2CSWarning::MainHeaderExtraPOC:
      return "Codec::JPEG2000Decoder::Warn_MainHeaderExtraPOC";
    case DJP2CSWarning::MainHeaderOnlyInCodestream:
      return "Codec::JPEG2000Decoder::Warn_MainHeaderOnlyInCodestream";
    case DJP2CSWarning::TilePartHeaderUnknownMarker:
      return "Codec::JPEG2000Decoder::Warn_TilePartHeaderUnknownMarker";
    case DJP2CSWarning::TilePartHeaderExtraCOD:
      return "Codec::JPEG2000Decoder::Warn_TilePartHeaderExtraCOD";
    case DJP2CSWarning::TilePartHeaderExtraCOC:
      return "Codec::JPEG2000Decoder::Warn_TilePartHeaderExtraCOC";
    case DJP2CSWarning::TilePartHeaderExtraQCC:
      return "Codec::JPEG2000Decoder::Warn_TilePartHeaderExtraQCC";
    case DJP2CSWarning::TilePartHeaderExtraPOC:
      return "Codec::JPEG2000Decoder::Warn_TilePartHeaderExtraPOC";
    case DJP2CSWarning::ActualMarkerLengthBelowSpecified:
      return "Codec::JPEG2000Decoder::Warn_ActualMarkerLengthBelowSpecified";
    case DJP2CSWarning::SpecifiedMarkerLengthExceedContainerTail:
      return "Codec::JPEG2000Decoder::Warn_SpecifiedMarkerLengthExceedContainerTail";
    case DJP2CSWarning::TLMUsed:
      return "Codec::JPEG2000Decoder::Warn_TLMUsed";
    case DJP2CSWarning::PLMUsed:
      return "Codec::JPEG2000Decoder::Warn_PLMUsed";
    case DJP2CSWarning::CRGUsed:
      return "Codec::JPEG2000Decoder::Warn_CRGUsed";
    case DJP2CSWarning::COMUsed:
      return "Codec::JPEG2000Decoder::Warn_COMUsed";
    case DJP2CSWarning::PLTUsed:
      return "Codec::JPEG2000Decoder::Warn_PLTUsed";
    case DJP2CSWarning::SOTTilePartIndexMismatch:
      return "Codec::JPEG2000Decoder::Warn_SOTTilePartIndexMismatch";
    case DJP2CSWarning::SOTNOfTilePartsMismatch:
      return "Codec::JPEG2000Decoder::Warn_SOTNOfTilePartsMismatch";
    case DJP2CSWarning::SOTTilePartLengthLessHeaderSize:
      return "Codec::JPEG2000Decoder::Warn_SOTTilePartLengthLessHeaderSize";
    case DJP2CSWarning::SOTTilePartLengthLessActualLength:
      return "Codec::JPEG2000Decoder::Warn_SOTTilePartLengthLessActualLength";
    case DJP2CSWarning::SOTTilePartLengthExceedActualLength:
      return "Codec::JPEG2000Decoder::Warn_SOTTilePartLengthExceedActualLength";
    case DJP2CSWarning::ActualNOfTilePartsExceedSpecifiedInSOT:
      return "Codec::JPEG2000Decoder::Warn_ActualNOfTilePartsExceedSpecifiedInSOT";
    case DJP2CSWarning::CodeStreamBodyUnknownMarker:
      return "Codec::JPEG2000Decoder::Warn_CodeStreamBodyUnknownMarker";
  }
  return nullptr;
}

const char* DiagnNameOf(DEBCOTWarning n) {
  switch (n) {
    case DEBCOTWarning::CodeBlockLayerDamage:
      return "Codec::JPEG2000Decoder::Warn_CodeBlockLayerDamage";
    case DEBCOTWarning::CodeBlockLayerNOfPassesMissmatch:
      return "Codec::JPEG2000Decoder::Warn_CodeBlockLayerNOfPassesMissmatch";
    case DEBCOTWarning::CodeBlockNOfSignificantBitsExceedImplementationLimit:
      return "Codec::JPEG2000Decoder::Warn_CodeBlockNOfSignificantBitsExceedImplementationLimit";
    case DEBCOTWarning::CodeBlockNOfSignificantBitsBelowZero:
      return "Codec::JPEG2000Decoder::Warn_CodeBlockNOfSignificantBitsBelowZero";
  }
  return nullptr;
}

const char* DiagnNameOf(DJP2MarkerWarning n) {
  switch (n) {
    case DJP2MarkerWarning::CODOrCOCOrPOCZeroNOfLayers:
      return "Codec::JPEG2000Decoder::Warn_CODOrCOCOrPOCZeroNOfLayers";
    case DJP2MarkerWarning::UnknonwRsiz:
      return "Codec::JPEG2000Decoder::Warn_UnknonwRsiz";
    case DJP2MarkerWarning::SIZTileGridOriginGreaterImageOrigin:
      return "Codec::JPEG2000Decoder::Warn_SIZTileGridOriginGreaterImageOrigin";
    case DJP2MarkerWarning::SIZBitDepthExceedBounds:
      return "Codec::JPEG2000Decoder::Warn_SIZBitDepthExceedBounds";
    case DJP2MarkerWarning::UnknownMCTUsage:
      return "Codec::JPEG2000Decoder::Warn_UnknownMCTUsage";
  }
  return nullptr;
}

const char* DiagnNameOf(DPHWarning n) {
  switch (n) {
    case DPHWarning::BadPacketHeaderPadding:
      return "Codec::JPEG2000Decoder::Warn_BadPacketHeaderPadding";
  }
  return nullptr;
}

const char* DiagnNameOf(DJP2CSUnsuppException n) {
  switch (n) {
    case DJP2CSUnsuppException::PPMUsed:
      return "Codec::JPEG2000Decoder::Except_PPMUsed";
    case DJP2CSUnsuppException::RGNUsed:
      return "Codec::JPEG2000Decoder::Except_RGNUsed";
    case DJP2CSUnsuppException::HTBlockCodingUsed:
      return "Codec::JPEG2000Decoder::Except_HTBlockCodingUsed";
    case DJP2CSUnsuppException::LentPlanesHoldSamples:
      return "Codec::JPEG2000Decoder::Except_LentPlanesHoldSamples";
    case DJP2CSUnsuppException::BitDepthExceedsDataType:
      return "Codec::JPEG2000Decoder::Except_BitDepthExceedsDataType";
    case DJP2CSUnsuppException::EarlierReadFailed:
      return "Codec::JPEG2000Decoder::Except_EarlierReadFailed";
    case DJP2CSUnsuppException::mctIsResampled:
      return "Codec::JPEG2000Decoder::Except_mctIsResampled";
  }
  return nullptr;
}

const char* DiagnNameOf(DJP2CSException n) {
  switch (n) {
    case DJP2CSException::SOTTileIndexExceedNOfTiles:
      return "Codec::JPEG2000Decoder::Except_SOTTileIndexExceedNOfTiles";
    case DJP2CSException::SOCNotFound:
      return "Codec::JPEG2000Decoder::Except_SOCNotFound";
    case DJP2CSException::SIZNotFound:
      return "Codec::JPEG2000Decoder::Except_SIZNotFound";
    case DJP2CSException::COCIndexExceedNOfComponents:
      return "Codec::JPEG2000Decoder::Except_COCIndexExceedNOfComponents";
    case DJP2CSException::QCCIndexExceedNOfComponents:
      return "Codec::JPEG2000Decoder::Except_QCCIndexExceedNOfComponents";
    case DJP2CSException::CODNotFound:
      return "Codec::JPEG2000Decoder::Except_CODNotFound";
    case DJP2CSException::QCDNotFound:
      return "Codec::JPEG2000Decoder::Except_QCDNotFound";
    case DJP2CSException::OCDOrQCCLackOfQuantValues:
      return "Codec::JPEG2000Decoder::Except_OCDOrQCCLackOfQuantValues";
  }
  return nullptr;
}

const char* DiagnNameOf(DJP2MarkerException n) {
  switch (n) {
    case DJP2MarkerException::NegativeBodyLen:
      return "Codec::JPEG2000Decoder::Except_NegativeBodyLen";
    case DJP2MarkerException::SIZGeometryTooLage:
      return "Codec::JPEG2000Decoder::Except_SIZGeometryTooLage";
    case DJP2MarkerException::SIZImageNeagativeSize:
      return "Codec::JPEG2000Decoder::Except_SIZImageNeagativeSize";
    case DJP2MarkerException::BadCODProgressionOrder:
      return "Codec::JPEG2000Decoder::Except_BadCODProgressionOrder";
    case DJP2MarkerException::BadCODOrCOCNumberOfDecompositionLevels:
      return "Codec::JPEG2000Decoder::Except_BadCODOrCOCNumberOfDecompositionLevels";
    case DJP2MarkerException::BadCODOrCOCCodeBlockWidth:
      return "Codec::JPEG2000Decoder::Except_BadCODOrCOCCodeBlockWidth";
    case DJP2MarkerException::BadCODOrCOCCodeBlockHeight:
      return "Codec::JPEG2000Decoder::Except_BadCODOrCOCCodeBlockHeight";
    case DJP2MarkerException::BadCODOrCOCTransformationType:
      return "Codec::JPEG2000Decoder::Except_BadCODOrCOCTransformationType";
    case DJP2MarkerException::POCResLevelIndexExceedBound:
      return "Codec::JPEG2000Decoder::Except_POCResLevelIndexExceedBound";
    case DJP2MarkerException::POCCompIndexExceedNOfComponents:
      return "Codec::JPEG2000Decoder::Except_POCCompIndexExceedNOfComponents";
    case DJP2MarkerException::POCInverseResLevelProgr:
      return "Codec::JPEG2000Decoder::Except_POCInverseResLevelProgr";
    case DJP2MarkerException::POCInverseCompProgr:
      return "Codec::JPEG2000Decoder::Except_POCInverseCompProgr";
  }
  return nullptr;
}

const char* DiagnNameOf(ByteInputException n) {
  switch (n) {
    case ByteInputException::noDataToRead:
      return "Codec::JPEG2000Decoder::Except_noDataToRead";
  }
  return nullptr;
}

const char* DiagnNameOf(MemoryException n) {
  switch (n) {
    case MemoryException::faultMalloc:
      return "Codec::JPEG2000Decoder::Except_faultMalloc";
  }
  return nullptr;
}

const char* DiagnNameOf(DJP2BoxWarning n) {
  switch (n) {
    case DJP2BoxWarning::UnknownSubBoxInHeaderBox:
      return "Codec::JP2Decoder::Warn_UnknownSubBoxInHeaderBox";
    case DJP2BoxWarning::UnknownSubBoxInResolutionBox:
      return "Codec::JP2Decoder::Warn_UnknownSubBoxInResolutionBox";
    case DJP2BoxWarning::ActualBoxLengthBelowSpecified:
      return "Codec::JP2Decoder::Warn_ActualBoxLengthBelowSpecified";
    case DJP2BoxWarning::SpecifiedBoxLengthExceedContainerTail:
      return "Codec::JP2Decoder::Warn_SpecifiedBoxLengthExceedContainerTail";
    case DJP2BoxWarning::ExtraPaletteBox:
      return "Codec::JP2Decoder::Warn_ExtraPaletteBox";
    case DJP2BoxWarning::ExtraCompMappingBox:
      return "Codec::JP2Decoder::Warn_ExtraCompMappingBox";
    case DJP2BoxWarning::ExtraColourSpecBox:
      return "Codec::JP2Decoder::Warn_ExtraColourSpecBox";
    case DJP2BoxWarning::ExtraBitsPerCompBox:
      return "Codec::JP2Decoder::Warn_ExtraBitsPerCompBox";
    case DJP2BoxWarning::ExtraCaptureResolutionBox:
      return "Codec::JP2Decoder::Warn_ExtraCaptureResolutionBox";
    case DJP2BoxWarning::ExtraDisplayResolutionBox:
      return "Codec::JP2Decoder::Warn_ExtraDisplayResolutionBox";
    case DJP2BoxWarning::BoxImageHeaderBitDepthExceedBounds:
      return "Codec::JP2Decoder::Warn_BoxImageHeaderBitDepthExceedBounds";
    case DJP2BoxWarning::BoxImageHeaderUnknownColorspace:
      return "Codec::JP2Decoder::Warn_BoxImageHeaderUnknownColorspace";
    case DJP2BoxWarning::BoxColourSpecUnknownMeth:
      return "Codec::JP2Decoder::Warn_BoxColourSpecUnknownMeth";
    case DJP2BoxWarning::BoxColourSpecUnknownEnumeratedColourspace:
      return "Codec::JP2Decoder::Warn_BoxColourSpecUnknownEnumeratedColourspace";
    case DJP2BoxWarning::BoxPalleteBitDepthExceedBounds:
      return "Codec::JP2Decoder::Warn_BoxPalleteBitDepthExceedBounds";
    case DJP2BoxWarning::BoxBitsPerCompBitDepthExceedBounds:
      return "Codec::JP2Decoder::Warn_BoxBitsPerCompBitDepthExceedBounds";
    case DJP2BoxWarning::BoxPalleteZeroNOfEntries:
      return "Codec::JP2Decoder::Warn_BoxPalleteZeroNOfEntries";
    case DJP2BoxWarning::BoxPalleteNOfEntriesExceedBounds:
      return "Codec::JP2Decoder::Warn_BoxPalleteNOfEntriesExceedBounds";
    case DJP2BoxWarning::BoxComponentMappingPaletteColumnExceedBoxPaletteNOfColumns:
      return "Codec::JP2Decoder::Warn_BoxComponentMappingPaletteColumnExceedBoxPaletteNOfColumns";
    case DJP2BoxWarning::BoxComponentMappingNonPaletteMapping:
      return "Codec::JP2Decoder::Warn_BoxComponentMappingNonPaletteMapping";
    case DJP2BoxWarning::SuperfluousBitsPerCompBox:
      return "Codec::JP2Decoder::Warn_SuperfluousBitsPerCompBox";
    case DJP2BoxWarning::NOfChannelsMismatchColourSpecAndCompMappingBoxes:
      return "Codec::JP2Decoder::Warn_NOfChannelsMismatchColourSpecAndCompMappingBoxes";
    case DJP2BoxWarning::BoxColourSpecIsNotEnumeratedColourspace:
      return "Codec::JP2Decoder::Warn_BoxColourSpecIsNotEnumeratedColourspace";
    case DJP2BoxWarning::BoxPaletteAbsence:
      return "Codec::JP2Decoder::Warn_BoxPaletteAbsence";
    case DJP2BoxWarning::BoxCompMappingAbsence:
      return "Codec::JP2Decoder::Warn_BoxCompMappingAbsence";
    case DJP2BoxWarning::BitsPerCompMismatchImageHeaderAndBitsPerCompBoxes:
      return "Codec::JP2Decoder::Warn_BitsPerCompMismatchImageHeaderAndBitsPerCompBoxes";
    case DJP2BoxWarning::UnknownUUIDBox:
      return "Codec::JP2Decoder::Warn_UnknownUUIDBox";
  }
  return nullptr;
}

const char* DiagnNameOf(DJP2FileWarning n) {
  switch (n) {
    case DJP2FileWarning::UnexpectedBoxIsIgnored:
      return "Codec::JP2Decoder::Warn_UnexpectedBoxIsIgnored";
    case DJP2FileWarning::NonZeroFileTypeBoxMinorVersion:
      return "Codec::JP2Decoder::Warn_NonZeroFileTypeBoxMinorVersion";
    case DJP2FileWarning::NOfComponentsMismatchImageHeaderAndCodestreamBoxes:
      return "Codec::JP2Decoder::Warn_NOfComponentsMismatchImageHeaderAndCodestreamBoxes";
    case DJP2FileWarning::ImageSizeMismatchImageHeaderAndCodestreamBoxes:
      return "Codec::JP2Decoder::Warn_ImageSizeMismatchImageHeaderAndCodestreamBoxes";
    case DJP2FileWarning::BitsPerCompMismatchImageHeaderAndCodestreamBoxes:
      return "Codec::JP2Decoder::Warn_BitsPerCompMismatchImageHeaderAndCodestreamBoxes";
    case DJP2FileWarning::BitsPerCompMismatchCSMainHeaderAndBitsPerCompBoxes:
      return "Codec::JP2Decoder::Warn_BitsPerCompMismatchCSMainHeaderAndBitsPerCompBoxes";
  }
  return nullptr;
}

const char* DiagnNameOf(DJP2BoxException n) {
  switch (n) {
    case DJP2BoxException::badLBoxValue:
      return "Codec::JP2Decoder::Except_badLBoxValue";
    case DJP2BoxException::badXLBoxValue:
      return "Codec::JP2Decoder::Except_badXLBoxValue";
    case DJP2BoxException::tooLongBoxLen:
      return "Codec::JP2Decoder::Except_tooLongBoxLen";
    case DJP2BoxException::imageHeaderBoxNotFound:
      return "Codec::JP2Decoder::Except_imageHeaderBoxNotFound";
    case DJP2BoxException::imageHeaderBoxSize:
      return "Codec::JP2Decoder::Except_imageHeaderBoxSize";
    case DJP2BoxException::imageHeaderBoxComponentNumber:
      return "Codec::JP2Decoder::Except_imageHeaderBoxComponentNumber";
    case DJP2BoxException::imageHeaderBoxCompressionType:
      return "Codec::JP2Decoder::Except_imageHeaderBoxCompressionType";
  }
  return nullptr;
}

const char* DiagnNameOf(DJP2FileException n) {
  switch (n) {
    case DJP2FileException::signatureBoxNotFound:
      return "Codec::JP2Decoder::Except_signatureBoxNotFound";
    case DJP2FileException::signatureBoxNotRight:
      return "Codec::JP2Decoder::Except_signatureBoxNotRight";
    case DJP2FileException::fileTypeBoxNotFound:
      return "Codec::JP2Decoder::Except_fileTypeBoxNotFound";
    case DJP2FileException::fileTypeBoxJP2Incompatible:
      return "Codec::JP2Decoder::Except_fileTypeBoxJP2Incompatible";
    case DJP2FileException::headerBoxNotFound:
      return "Codec::JP2Decoder::Except_headerBoxNotFound";
  }
  return nullptr;
}
}  // namespace Codec
