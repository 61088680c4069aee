// Inverse component transforms: sse41 builds (the shared vector code, compiled
// for sse41).
#include "primitives/jpeg2000/colour_transform_simd-inl.h"
