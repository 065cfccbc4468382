// The choice of the code path of the hot loops: the widest the processor runs, or the one that
// NEVRA_ISA asks for, lowered to what the processor runs.

#include "kernels.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

namespace Nevra {
namespace kernels {

namespace {

// True when the processor (and the operating system, which must save the wider registers) runs
// the instructions of `path`.
bool processorRuns(CodePath path) {
    if (path == CodePath::Baseline) {
        return true;
    }
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    __builtin_cpu_init();
#if defined(__clang__)
    // Clang knows the features one by one; AVX2 processors have the rest of x86-64-v3 as well.
    const bool v3 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
                    __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    const bool v4 = v3 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                    __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq") &&
                    __builtin_cpu_supports("avx512vl");
#else
    const bool v3 = __builtin_cpu_supports("x86-64-v3");
    const bool v4 = __builtin_cpu_supports("x86-64-v4");
#endif
    return path == CodePath::X86_64_V3 ? v3 : v4;
#else
    return false;
#endif
}

const Table* builtTable(CodePath path) {
    switch (path) {
        case CodePath::Baseline:
            return baselineTable();
        case CodePath::X86_64_V3:
            return x86_64_v3Table();
        case CodePath::X86_64_V4:
            return x86_64_v4Table();
    }
    return nullptr;
}

// The path named by a value of NEVRA_ISA, or -1 for a name we do not know.
int pathNamed(const char* value) {
    if (std::strcmp(value, "baseline") == 0 || std::strcmp(value, "x86-64") == 0) {
        return static_cast<int>(CodePath::Baseline);
    }
    if (std::strcmp(value, "v3") == 0 || std::strcmp(value, "x86-64-v3") == 0) {
        return static_cast<int>(CodePath::X86_64_V3);
    }
    if (std::strcmp(value, "v4") == 0 || std::strcmp(value, "x86-64-v4") == 0) {
        return static_cast<int>(CodePath::X86_64_V4);
    }
    return -1;
}

CodePath choosePath() {
    int widest = 0;
    for (int p = 0; p < kCodePathCount; ++p) {
        if (tableFor(static_cast<CodePath>(p)) != nullptr) {
            widest = p;
        }
    }
    const char* request = std::getenv("NEVRA_ISA");
    if (request == nullptr || *request == '\0') {
        return static_cast<CodePath>(widest);
    }
    int wanted = pathNamed(request);
    if (wanted < 0) {
        std::cerr << "Nevra: NEVRA_ISA=" << request
                  << " names no code path (baseline, v3, v4); using "
                  << codePathName(static_cast<CodePath>(widest)) << std::endl;
        return static_cast<CodePath>(widest);
    }
    const int asked = wanted;
    while (wanted > 0 && tableFor(static_cast<CodePath>(wanted)) == nullptr) {
        --wanted;
    }
    if (wanted != asked) {
#if defined(__x86_64__)
        std::cerr << "Nevra: this processor or build does not run the "
                  << codePathName(static_cast<CodePath>(asked)) << " code path; using "
                  << codePathName(static_cast<CodePath>(wanted)) << std::endl;
#else
        // Builds for other processor families (aarch64) have the baseline path alone.
        std::cerr << "Nevra: the " << codePathName(static_cast<CodePath>(asked))
                  << " code path exists on x86-64 only; using "
                  << codePathName(static_cast<CodePath>(wanted)) << std::endl;
#endif
    }
    return static_cast<CodePath>(wanted);
}

}  // namespace

const char* codePathName(CodePath path) {
    switch (path) {
        case CodePath::Baseline:
            return "baseline";
        case CodePath::X86_64_V3:
            return "x86-64-v3";
        case CodePath::X86_64_V4:
            return "x86-64-v4";
    }
    return "unknown";
}

const Table* tableFor(CodePath path) {
    // The processor first: a path's table lives in code built for that path.
    return processorRuns(path) ? builtTable(path) : nullptr;
}

CodePath activeCodePath() {
    static const CodePath chosen = choosePath();
    return chosen;
}

const Table& active() {
    static const Table& chosen = *tableFor(activeCodePath());
    return chosen;
}

}  // namespace kernels
}  // namespace Nevra
