// Conversion and shift primitives: avx builds.
#include "primitives/convert/vec_convert_simd-inl.h"
