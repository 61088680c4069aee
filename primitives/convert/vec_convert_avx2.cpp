// Conversion and shift primitives: avx2 builds.
#include "primitives/convert/vec_convert_simd-inl.h"
