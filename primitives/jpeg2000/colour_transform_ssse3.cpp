// Inverse component transforms: ssse3 builds (the shared vector code, compiled
// for ssse3).
#include "primitives/jpeg2000/colour_transform_simd-inl.h"
