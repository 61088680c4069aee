// Logic and shift kernels: ssse3 build.
#include "primitives/convert/vec_logic-inl.h"
