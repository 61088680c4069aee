// Wavelet primitives: sse41 builds (the shared vector code, compiled for sse41).
#include "primitives/jpeg2000/wavelet_simd-inl.h"
