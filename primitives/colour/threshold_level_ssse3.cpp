// Further threshold kernels: ssse3 build.
#include "primitives/colour/threshold_level-inl.h"
