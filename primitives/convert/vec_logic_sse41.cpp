// Logic and shift kernels: sse41 build.
#include "primitives/convert/vec_logic-inl.h"
