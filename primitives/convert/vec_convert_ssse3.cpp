// Conversion and shift primitives: ssse3 builds.
#include "primitives/convert/vec_convert_simd-inl.h"
