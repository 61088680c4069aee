// Conversions to narrower integers: avx builds.
#include "primitives/convert/vec_convert_narrow-inl.h"
