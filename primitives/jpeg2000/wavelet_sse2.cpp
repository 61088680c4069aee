// Wavelet primitives: sse2 builds (the shared vector code, compiled for sse2).
#include "primitives/jpeg2000/wavelet_simd-inl.h"
