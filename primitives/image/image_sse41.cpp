// Image primitives: sse41 builds.
#include "primitives/image/image_simd-inl.h"
