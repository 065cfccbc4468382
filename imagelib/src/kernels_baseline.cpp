// The hot loops for the baseline instruction set of the processor family the library is built
// for: on x86-64, SSE2 with sixteen 16-byte registers; on aarch64, NEON (Advanced SIMD) with
// thirty-two.

#define NEVRA_VECTOR_BYTES 16
#define NEVRA_SUM_BLOCK 12
#if defined(__x86_64__)
// Two rows of sums keep five vectors each: with the bounds of their range, a vector of samples
// and a product, that fills SSE2's sixteen registers (six would leave a bound on the stack).
#define NEVRA_ROW_PAIR_BLOCK 5
#endif
#define NEVRA_TABLE baselineTable
#include "kernel_loops.h"
