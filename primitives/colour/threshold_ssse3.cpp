// Threshold primitives: ssse3 builds.
#include "primitives/colour/threshold_simd-inl.h"
