// Colour twist: sse41 build.
#include "primitives/colour/twist_simd-inl.h"
