// Threshold module, in-place and 32s two-level kernels: sse41 build.
#include "primitives/colour/threshold_inplace-inl.h"
