// Wavelet primitives: avx builds (the shared vector code, compiled for avx).
#include "primitives/jpeg2000/wavelet_simd-inl.h"
