// Inverse component transforms: sse2 builds (the shared vector code, compiled
// for sse2).
#include "primitives/jpeg2000/colour_transform_simd-inl.h"
