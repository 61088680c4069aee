// Logic and shift kernels: sse2 build.
#include "primitives/convert/vec_logic-inl.h"
