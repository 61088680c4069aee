// Wavelet primitives: ssse3 builds (the shared vector code, compiled for ssse3).
#include "primitives/jpeg2000/wavelet_simd-inl.h"
