// Threshold module, complex kernels: avx build.
#include "primitives/colour/threshold_cplx-inl.h"
