// Image primitives: ssse3 builds.
#include "primitives/image/image_simd-inl.h"
