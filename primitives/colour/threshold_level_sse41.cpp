// Further threshold kernels: sse41 build.
#include "primitives/colour/threshold_level-inl.h"
