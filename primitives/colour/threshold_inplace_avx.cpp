// Threshold module, in-place and 32s two-level kernels: avx build.
#include "primitives/colour/threshold_inplace-inl.h"
