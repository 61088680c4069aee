// ssse3 builds of the vector arithmetic primitives and their kernels (they
// also fill the movbe slots, except for vecAdd_16s_Sfs, which has a movbe
// build of its own, and the sse41 slot of vecAdd_32f).
#include "primitives/arith/vec_arith_sse-inl.h"
