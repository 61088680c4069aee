// Exact float synthesis kernels: avx build.
#include "primitives/jpeg2000/wavelet_exact-inl.h"
