// The hot loops for x86-64-v3 (AVX2: sixteen 32-byte registers). The build compiles this file
// with -march=x86-64-v3; without it (another processor family, another compiler) it holds no
// table.

#if defined(__AVX2__) && defined(__FMA__)

#define NEVRA_VECTOR_BYTES 32
#define NEVRA_SUM_BLOCK 8
#define NEVRA_TABLE x86_64_v3Table
#include "kernel_loops.h"

#else

#include "kernel_table.h"

const Nevra::kernels::Table* Nevra::kernels::x86_64_v3Table() {
    return nullptr;
}

#endif
