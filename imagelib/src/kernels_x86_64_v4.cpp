// The hot loops for x86-64-v4 (AVX-512: thirty-two 64-byte registers), when the build compiles
// this file with -march=x86-64-v4.

#define NEVRA_TABLE x86_64_v4Table
#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512DQ__) && \
    defined(__AVX512VL__)
#define NEVRA_VECTOR_BYTES 64
#define NEVRA_SUM_BLOCK 8
// With thirty-two registers, three channels of sums keep four vectors each, and two rows of sums
// eight each.
#define NEVRA_TRIPLE_BLOCK 4
#define NEVRA_ROW_PAIR_BLOCK 8
#include "kernel_loops.h"
#else
#include "kernel_absent.h"
#endif
