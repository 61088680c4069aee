// Image primitives: sse2 builds.
#include "primitives/image/image_simd-inl.h"
