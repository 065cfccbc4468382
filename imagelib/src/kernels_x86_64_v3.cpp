// The hot loops for x86-64-v3 (AVX2: sixteen 32-byte registers), when the build compiles this
// file with -march=x86-64-v3.

#define NEVRA_TABLE x86_64_v3Table
#if defined(__AVX2__) && defined(__FMA__)
#define NEVRA_VECTOR_BYTES 32
#define NEVRA_SUM_BLOCK 8
#include "kernel_loops.h"
#else
#include "kernel_absent.h"
#endif
