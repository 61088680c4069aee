// Conversion and shift primitives: sse41 builds.
#include "primitives/convert/vec_convert_simd-inl.h"
