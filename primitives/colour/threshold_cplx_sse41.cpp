// Threshold module, complex kernels: sse41 build.
#include "primitives/colour/threshold_cplx-inl.h"
