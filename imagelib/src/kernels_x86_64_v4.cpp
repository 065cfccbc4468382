// The hot loops for x86-64-v4 (AVX-512: thirty-two 64-byte registers). The build compiles this
// file with -march=x86-64-v4; without it (another processor family, another compiler) it holds no
// table.

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512DQ__) && \
    defined(__AVX512VL__)

#define NEVRA_VECTOR_BYTES 64
#define NEVRA_SUM_BLOCK 8
// With thirty-two registers, two and three channels of sums keep eight and four vectors each.
#define NEVRA_PAIR_BLOCK 8
#define NEVRA_TRIPLE_BLOCK 4
#define NEVRA_TABLE x86_64_v4Table
#include "kernel_loops.h"

#else

#include "kernel_table.h"

const Nevra::kernels::Table* Nevra::kernels::x86_64_v4Table() {
    return nullptr;
}

#endif
