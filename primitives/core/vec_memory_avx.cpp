// Copy, zero and set: avx builds.
#include "primitives/core/vec_memory_avx-inl.h"
