// Threshold primitives: avx builds.
#include "primitives/colour/threshold_avx32f-inl.h"
