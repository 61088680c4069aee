// Colour twist: sse2 build.
#include "primitives/colour/twist_simd-inl.h"
