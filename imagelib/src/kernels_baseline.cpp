// The hot loops for the baseline instruction set of the processor family the library is built
// for: on x86-64, SSE2 with sixteen 16-byte registers; on aarch64, NEON (Advanced SIMD) with
// thirty-two.

#define NEVRA_VECTOR_BYTES 16
#define NEVRA_SUM_BLOCK 12
#define NEVRA_TABLE baselineTable
#include "kernel_loops.h"
