// Threshold primitives: sse2 builds.
#include "primitives/colour/threshold_simd-inl.h"
