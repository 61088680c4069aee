// Image primitives: avx builds.
#include "primitives/image/image_simd-inl.h"
