// Threshold module, complex kernels: ssse3 build.
#include "primitives/colour/threshold_cplx-inl.h"
