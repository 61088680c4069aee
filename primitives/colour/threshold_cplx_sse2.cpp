// Threshold module, complex kernels: sse2 build.
#include "primitives/colour/threshold_cplx-inl.h"
