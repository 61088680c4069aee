// The contexts' initial values.
#include "primitives/jpeg2000/codeblock_tables.h"

namespace prim::cbshared {

alignas(32) const Prim32u contextInitialStates[19] = {46, 3, 4, 0, 0, 0, 0, 0, 0, 0,
                                                      0,  0, 0, 0, 0, 0, 0, 0, 0};
alignas(32) const Prim32u contextInitialMps[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace prim::cbshared
