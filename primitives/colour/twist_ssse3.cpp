// Colour twist: ssse3 build.
#include "primitives/colour/twist_simd-inl.h"
