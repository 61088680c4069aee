// Further threshold kernels: sse2 build.
#include "primitives/colour/threshold_level-inl.h"
