// Colour twist: avx2 build.
#include "primitives/colour/twist_simd-inl.h"
