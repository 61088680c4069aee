// Inverse component transforms: avx2 builds (the shared vector code, compiled
// for avx2).
#include "primitives/jpeg2000/colour_transform_simd-inl.h"
