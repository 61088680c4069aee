// Inverse component transforms: avx builds (the shared vector code, compiled
// for avx).
#include "primitives/jpeg2000/colour_transform_simd-inl.h"
