// Further threshold kernels: avx build.
#include "primitives/colour/threshold_level-inl.h"
