// Threshold primitives: sse41 builds.
#include "primitives/colour/threshold_simd-inl.h"
