// Conversion and shift primitives: sse2 builds.
#include "primitives/convert/vec_convert_simd-inl.h"
