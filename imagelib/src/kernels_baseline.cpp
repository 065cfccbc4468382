// The hot loops for the baseline instruction set of the processor family the library is built
// for: on x86-64, SSE2 with sixteen 16-byte registers.

#define NEVRA_VECTOR_BYTES 16
#define NEVRA_SUM_BLOCK 12
#include "kernel_loops.h"

namespace Nevra {
namespace kernels {

namespace {
constexpr Table kTable = makeTable();
}  // namespace

const Table* baselineTable() {
    return &kTable;
}

}  // namespace kernels
}  // namespace Nevra
