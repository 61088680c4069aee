// Conversions to narrower integers: ssse3 builds.
#include "primitives/convert/vec_convert_narrow-inl.h"
