// Wavelet primitives: avx2 builds (the shared vector code, compiled for avx2).
#include "primitives/jpeg2000/wavelet_simd-inl.h"
