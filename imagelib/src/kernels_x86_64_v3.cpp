// The hot loops for x86-64-v3 (AVX2: sixteen 32-byte registers), when the build compiles this
// file with -march=x86-64-v3.

#define NEVRA_TABLE x86_64_v3Table
#if defined(__AVX2__) && defined(__FMA__)
#define NEVRA_VECTOR_BYTES 32
#define NEVRA_SUM_BLOCK 8
// Three channels keep four vectors of sums each: with two, every channel's sums wait on the
// latency of their additions. Twelve sums and a weight do not all fit the sixteen registers, so
// some sums wait on the stack while another channel is summed: a store and a load per vector and
// block, never per term (scripts/kernel-spills).
#define NEVRA_TRIPLE_BLOCK 4
#include "kernel_loops.h"
#else
#include "kernel_absent.h"
#endif
