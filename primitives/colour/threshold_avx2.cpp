// Threshold primitives: avx2 builds.
#include "primitives/colour/threshold_avx32f-inl.h"
