// Half-precision conversion kernels: sse41 build.
#include "primitives/convert/vec_half-inl.h"
