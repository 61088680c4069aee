// Further threshold kernels: avx2 build.
#include "primitives/colour/threshold_level-inl.h"
