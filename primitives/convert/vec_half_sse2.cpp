// Half-precision conversion kernels: sse2 build.
#include "primitives/convert/vec_half-inl.h"
