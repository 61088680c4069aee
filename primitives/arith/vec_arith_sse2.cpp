// sse2 builds of the vector arithmetic primitives and their kernels.
#include "primitives/arith/vec_arith_sse-inl.h"
