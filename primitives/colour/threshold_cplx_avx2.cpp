// Threshold module, complex kernels: avx2 build.
#include "primitives/colour/threshold_cplx-inl.h"
