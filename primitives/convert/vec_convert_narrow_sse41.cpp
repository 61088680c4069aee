// Conversions to narrower integers: sse41 builds.
#include "primitives/convert/vec_convert_narrow-inl.h"
