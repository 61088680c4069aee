// Float to narrower integer kernels: sse2 build.
#include "primitives/convert/vec_f2narrow-inl.h"
