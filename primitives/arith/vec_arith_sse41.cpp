// sse41 builds of the vector arithmetic primitives and their kernels.  The
// float addition has no sse41 build (its slot runs the ssse3 build); the
// 16-bit addition runs the ssse3 kernels at factor 0 and for the sign
// saturation, the 16-bit subtraction the sse2 sign-saturation kernel.
#include "primitives/arith/vec_arith_sse-inl.h"
