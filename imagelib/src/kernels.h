#ifndef NEVRA_SRC_KERNELS_H
#define NEVRA_SRC_KERNELS_H

// Which build of the hot loops (kernel_table.h) the image operations run.
//
// On x86-64 the loops are built for three code paths: the baseline instruction set (SSE2),
// x86-64-v3 (AVX2, 32-byte vectors) and x86-64-v4 (AVX-512, 64-byte vectors); elsewhere only the
// baseline build exists (on aarch64 its loops are NEON's, 16-byte vectors). When the library is
// first used it takes the widest path the processor runs. The environment variable NEVRA_ISA, read
// once at that moment, asks for a lower one:
//   NEVRA_ISA=baseline | v3 | v4   (also x86-64, x86-64-v3, x86-64-v4)
// A path the processor (or this build) cannot run is lowered to the widest one it can, with a
// note on standard error; so is an unknown value. Every path gives the same results, bit for bit,
// apart from the sign and payload of a NaN result (see "Code paths" in imagebase.h).
//
// Thread-safe: the choice is made once, under the guard of a function-local static.

#include "kernel_table.h"

namespace Nevra {
namespace kernels {

enum class CodePath { Baseline = 0, X86_64_V3 = 1, X86_64_V4 = 2 };
constexpr int kCodePathCount = 3;

// "baseline", "x86-64-v3" or "x86-64-v4".
const char* codePathName(CodePath path);

// The table of `path` when this build holds it and the processor runs it; null otherwise.
const Table* tableFor(CodePath path);

// The path the operations run and its table, chosen once as the header comment says.
CodePath activeCodePath();
const Table& active();

}  // namespace kernels
}  // namespace Nevra

#endif  // NEVRA_SRC_KERNELS_H
