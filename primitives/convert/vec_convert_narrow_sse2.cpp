// Conversions to narrower integers: sse2 builds.
#include "primitives/convert/vec_convert_narrow-inl.h"
