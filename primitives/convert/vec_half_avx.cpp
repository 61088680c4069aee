// Half-precision conversion kernels: avx build.
#include "primitives/convert/vec_half-inl.h"
