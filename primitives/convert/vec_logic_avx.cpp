// Logic and shift kernels: avx build.
#include "primitives/convert/vec_logic-inl.h"
