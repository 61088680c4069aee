// Asks GCC to vectorise one hot loop function even at -O2; other compilers
// (clang vectorises at -O2 already and rejects the attribute) get nothing.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#define CODEC_VECTORIZE_HINT __attribute__((optimize("-ftree-vectorize", "-fvect-cost-model=dynamic")))
#else
#define CODEC_VECTORIZE_HINT
#endif
