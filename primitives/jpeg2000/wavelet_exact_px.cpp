// Exact float synthesis kernels: px build (scalar).
#define PRIM_WAVELET_EXACT_SCALAR 1
#include "primitives/jpeg2000/wavelet_exact-inl.h"
