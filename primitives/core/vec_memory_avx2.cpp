// Copy, zero and set: avx2 builds.
#include "primitives/core/vec_memory_avx-inl.h"
