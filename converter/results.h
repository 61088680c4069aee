// Result records of the converter's own steps: the MXF library's record with
// the converter's categories as its symbol.
#pragma once

#include "mxf/KM_error.h"

inline constexpr const char* kCategoryImageDecoder = "ImageDecoder";
inline constexpr const char* kCategoryConvertColors = "ConvertColors";
inline constexpr const char* kCategoryQuickTime = "QuickTimeVideoFile";

// A failure (value -1) of a category with a message; `label` must be a text
// that outlives the record (a literal).
inline Kumu::Result_t ConverterFailure(const char* category, const char* label) {
  return Kumu::Result_t(-1, category, label);
}
// A failed allocation (value -4) of a category.
inline Kumu::Result_t ConverterMemoryFailure(const char* category, const char* label) {
  return Kumu::Result_t(-4, category, label);
}
