// Colour twist: avx build.
#include "primitives/colour/twist_simd-inl.h"
