// Exact float synthesis kernels: px build (scalar).
#include "primitives/jpeg2000/wavelet_exact-inl.h"
