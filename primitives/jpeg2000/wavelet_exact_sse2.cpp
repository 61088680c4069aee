// Exact float synthesis kernels: sse2 build.
#include "primitives/jpeg2000/wavelet_exact-inl.h"
