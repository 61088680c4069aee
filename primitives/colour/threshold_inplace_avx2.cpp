// Threshold module, in-place and 32s two-level kernels: avx2 build.
#include "primitives/colour/threshold_inplace-inl.h"
