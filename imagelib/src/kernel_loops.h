#ifndef NEVRA_SRC_KERNEL_LOOPS_H
#define NEVRA_SRC_KERNEL_LOOPS_H

// The bodies of the hot loops, built once per code path. A translation unit defines
// NEVRA_VECTOR_BYTES (16, 32 or 64: the width of its path's vector registers), NEVRA_SUM_BLOCK
// (how many vectors of sums one pass of correlateRow keeps in registers; NEVRA_ROW_PAIR_BLOCK
// may set them per row of correlateRowPair, NEVRA_TRIPLE_BLOCK per channel of
// correlatePairAndRow) and NEVRA_TABLE (the name of the table's accessor in kernel_table.h), is
// compiled for the path's instruction set and includes this file, which defines that accessor.
//
// Every pixel keeps the exact arithmetic of its operation: sums are taken across pixels, one
// vector lane per pixel, in the order of the pixel's own sum, every product and partial sum a
// float. The library is compiled with -ffp-contract=off, so the compiler fuses no multiply and
// add into one rounding; the kernels fuse them only for products that are exact (Term), where
// the one rounding is the same. The vectors are as wide as the path's registers, and the loops
// over a sum's terms keep all of theirs in registers, except where interleaving two or three
// channels with sixteen registers (SSE2, x86-64-v3) leaves a few on the stack
// (scripts/kernel-spills lists them; smaller blocks, which need fewer, measured no faster).
//
// Everything here has internal linkage, nothing uses an inline function or template of the
// standard library (std::memcpy is the C library's) and nothing needs a constructor at start-up:
// a function shared with the rest of the program would be built with this path's instructions,
// where the linker could pick that build for every caller, and start-up code runs on every
// processor.

#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__AVX2__) || defined(__AVX512F__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kernel_table.h"

#if !defined(NEVRA_VECTOR_BYTES) || !defined(NEVRA_SUM_BLOCK) || !defined(NEVRA_TABLE)
#error "define NEVRA_VECTOR_BYTES, NEVRA_SUM_BLOCK and NEVRA_TABLE before including kernel_loops.h"
#endif

namespace Nevra {
namespace kernels {
namespace {

constexpr int kLanes = NEVRA_VECTOR_BYTES / 4;  // floats in one vector
constexpr int kSumBlock = NEVRA_SUM_BLOCK;
#ifndef NEVRA_TRIPLE_BLOCK
#define NEVRA_TRIPLE_BLOCK (NEVRA_SUM_BLOCK / 3)
#endif
constexpr int kTripleBlock = NEVRA_TRIPLE_BLOCK;  // vectors per channel with three channels
// Two rows of sums (correlateRowPair) keep six vectors each by default: with the two weights, a
// vector of samples and a product that fills sixteen registers.
#ifndef NEVRA_ROW_PAIR_BLOCK
#define NEVRA_ROW_PAIR_BLOCK 6
#endif
constexpr int kRowPairBlock = NEVRA_ROW_PAIR_BLOCK;  // vectors per row with two rows of sums

// One register of floats.
typedef float Floats __attribute__((vector_size(NEVRA_VECTOR_BYTES)));
typedef int Ints __attribute__((vector_size(NEVRA_VECTOR_BYTES)));

// A vector of type V from memory at any address, and back: through a copy of V's type that needs
// no alignment and may alias the elements (used for the memory access only, never for values).
template <class V>
struct InMemory {
    typedef V Type __attribute__((aligned(1), may_alias));
};

template <class V>
inline V loadVector(const void* p) {
    return *static_cast<const typename InMemory<V>::Type*>(p);
}

template <class V>
inline void storeVector(void* p, V v) {
    *static_cast<typename InMemory<V>::Type*>(p) = v;
}

inline Floats load(const float* p) {
    return loadVector<Floats>(p);
}

inline void store(float* p, const Floats& v) {
    storeVector(p, v);
}

// value in every lane (value - 0 is value exactly, -0 and NaN included).
inline Floats broadcast(float value) {
    return value - Floats{};
}

// The lanes of a and b picked by Pick::lane(i) for output lane i, b's lanes numbered after a's
// (Mask: integers as wide as V's lanes).
template <class V, class Mask, class Pick, int... I>
inline V pickLanes(V a, V b, std::integer_sequence<int, I...>) {
#if defined(__clang__)
    return __builtin_shufflevector(a, b, Pick::lane(I)...);
#else
    return __builtin_shuffle(a, b, Mask{Pick::lane(I)...});
#endif
}

template <class Pick>
inline Floats pick(Floats a, Floats b) {
    return pickLanes<Floats, Ints, Pick>(a, b, std::make_integer_sequence<int, kLanes>());
}

// low := the smaller of low and v, lane by lane; a NaN in v leaves low as it was.
inline void lower(Floats& low, const Floats& v) {
    low = v < low ? v : low;
}

inline void raise(Floats& high, const Floats& v) {
    high = v > high ? v : high;
}

// Lane i takes lane i + Shift (round the vector).
template <int Shift>
struct Rotate {
    static constexpr int lane(int i) { return (i + Shift) % kLanes; }
};

// The smallest (Max false) or largest lane of v in every lane, by halving steps. REQUIRES: no
// lane is NaN.
template <bool Max, int Half = kLanes / 2>
inline Floats spread(Floats v) {
    if constexpr (Half == 0) {
        return v;
    } else {
        const Floats turned = pick<Rotate<Half>>(v, v);
        if constexpr (Max) {
            raise(v, turned);
        } else {
            lower(v, turned);
        }
        return spread<Max, Half / 2>(v);
    }
}

// Widens range by the lanes of lo and hi, whose lanes are never NaN (they start from a range and
// only take values that are not).
inline void foldRange(const Floats& lo, const Floats& hi, float* range) {
    const float low = spread<false>(lo)[0];
    const float high = spread<true>(hi)[0];
    range[0] = low < range[0] ? low : range[0];
    range[1] = high > range[1] ? high : range[1];
}

// The magnitude |v| of each lane, as the bits without the sign.
inline Floats magnitudes(const Floats& v) {
    return (Floats)((Ints)v & 0x7FFFFFFF);
}

float largestMagnitude(const float* values, int n) {
    float largest = 0.0f;
    int i = 0;
    if (n >= kLanes) {
        Floats top[4] = {};
        for (; i + 4 * kLanes <= n; i += 4 * kLanes) {
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) {
                raise(top[k], magnitudes(load(values + i + k * kLanes)));
            }
        }
        for (; i + kLanes <= n; i += kLanes) {
            raise(top[0], magnitudes(load(values + i)));
        }
        raise(top[0], top[1]);
        raise(top[2], top[3]);
        raise(top[0], top[2]);
        largest = spread<true>(top[0])[0];
    }
    for (; i < n; ++i) {
        const float v = values[i] < 0.0f ? -values[i] : values[i];
        largest = v > largest ? v : largest;
    }
    return largest;
}

// What a kernel does with the row it is given to look at: nothing, ask for it to be brought into
// the cache, or also measure its largest magnitude.
enum Ahead { kNoAhead, kFetchAhead, kMeasureAhead };

// The B vectors of `scan` from x: widens top by their magnitudes, or only asks for their lines.
template <int B, int Mode>
__attribute__((always_inline)) inline void scanBlock(const float* scan, int x, Floats& top) {
    if constexpr (Mode == kMeasureAhead) {
#pragma GCC unroll 16
        for (int k = 0; k < B; ++k) {
            raise(top, magnitudes(load(scan + x + k * kLanes)));
        }
    } else if constexpr (Mode == kFetchAhead) {
        for (int l = 0; l < B * kLanes; l += 16) {
            __builtin_prefetch(scan + x + l);
        }
    }
}

// Completes a scan whose values [0, covered) went into top block by block.
inline void finishScan(Scan* scan, const Floats& top, int covered) {
    const float blocks = spread<true>(top)[0];
    const float rest = largestMagnitude(scan->values + covered, scan->count - covered);
    scan->largest = rest > blocks ? rest : blocks;
}

// ---- weighted row sums -------------------------------------------------------------------------

#if NEVRA_VECTOR_BYTES == 64 && defined(__AVX512F__)
#define NEVRA_FUSES 1
constexpr bool kFuses = true;
inline Floats fusedMultiplyAdd(const Floats& w, const Floats& v, const Floats& sum) {
    return (Floats)_mm512_fmadd_ps((__m512)w, (__m512)v, (__m512)sum);
}
#elif NEVRA_VECTOR_BYTES == 32 && defined(__FMA__)
#define NEVRA_FUSES 1
constexpr bool kFuses = true;
inline Floats fusedMultiplyAdd(const Floats& w, const Floats& v, const Floats& sum) {
    return (Floats)_mm256_fmadd_ps((__m256)w, (__m256)v, (__m256)sum);
}
#else
constexpr bool kFuses = false;
inline Floats fusedMultiplyAdd(const Floats& w, const Floats& v, const Floats& sum) {
    return sum + w * v;
}
#endif

// How a term joins a sum. sum + w * v with an exact product w * v is the one rounding of a fused
// multiply-add, so where the path has one, such a term takes a single instruction; so do the
// weights 1 and -1 there (whose products are exact). Elsewhere they add or subtract.
enum Kind { kAdd, kSubtract, kFused, kMultiply };

inline Kind kindOf(const Term& term) {
    const bool unit = term.weight == 1.0f || term.weight == -1.0f;
    if (kFuses && (unit || term.exactProduct)) {
        return kFused;
    }
    if (unit) {
        return term.weight == 1.0f ? kAdd : kSubtract;
    }
    return kMultiply;
}

// How the blocks of pixels go through a sum's terms, worked out once per row. Where the path
// fuses, every term fuses or multiplies, and the terms go one by one, each with its flag (short
// runs of one kind cost more in jumps than the flag's test). Elsewhere they go in runs of one kind.
//
// SSE2 spreads a weight over a vector with a shuffle, which takes a unit the sums' additions
// would use; the plan spreads the first kMaxSpread weights once per row, so that a block of
// pixels loads them. (Wider paths spread a weight as they load it, for nothing.)
#if NEVRA_VECTOR_BYTES == 16 && defined(__SSE2__)
constexpr bool kSpreadWeights = true;
#else
constexpr bool kSpreadWeights = false;
#endif

struct Plan {
    static constexpr int kMaxRuns = 64;
    static constexpr int kMaxFlags = 256;
    static constexpr int kMaxSpread = kSpreadWeights ? 64 : 1;
    const Term* terms;
    int count;
    bool byTerm;
    bool fused[kMaxFlags];
    int runs;
    Kind kinds[kMaxRuns];
    int ends[kMaxRuns];  // run r takes the terms from ends[r - 1] (0 for the first) to ends[r]
    Floats weights[kMaxSpread];  // with kSpreadWeights: terms[t].weight in every lane
};

// The weight of term t in every lane.
__attribute__((always_inline)) inline Floats weightOf(const Plan& plan, int t) {
    if (kSpreadWeights && t < Plan::kMaxSpread) {
        return plan.weights[t];
    }
    return broadcast(plan.terms[t].weight);
}

inline void makePlan(Plan& plan, const Term* terms, int count) {
    plan.terms = terms;
    plan.count = count;
    plan.runs = 0;
    if (kSpreadWeights) {
        for (int t = 0; t < count && t < Plan::kMaxSpread; ++t) {
            plan.weights[t] = broadcast(terms[t].weight);
        }
    }
    plan.byTerm = kFuses && count <= Plan::kMaxFlags;
    if (plan.byTerm) {
        for (int t = 0; t < count; ++t) {
            plan.fused[t] = kindOf(terms[t]) == kFused;
        }
        return;
    }
    for (int t = 0; t < count; ++t) {
        const Kind kind = kindOf(terms[t]);
        if (plan.runs > 0 && plan.kinds[plan.runs - 1] == kind) {
            plan.ends[plan.runs - 1] = t + 1;
            continue;
        }
        if (plan.runs == Plan::kMaxRuns) {
            // Too many runs: every term multiplies, which is exact for every kind too (1 * v is
            // v, -1 * v is -v, and an exact product rounds to itself).
            plan.runs = 1;
            plan.kinds[0] = kMultiply;
            plan.ends[0] = count;
            return;
        }
        plan.kinds[plan.runs] = kind;
        plan.ends[plan.runs] = t + 1;
        ++plan.runs;
    }
}

// Asks for the cache lines that the block a few blocks after this one will write, `count` floats
// from kWriteAhead past `out`: the writes of a row then rarely wait for their lines, also where
// the next row (or page) begins, which the processor's own prefetching does not foresee.
constexpr int kWriteAhead = 512;

inline void writeAhead(const float* out, int count) {
    // The address may lie past the image: a prefetch never faults, and it is formed as an
    // integer, not by pointer arithmetic beyond the array.
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(out) + 4 * kWriteAhead;
    for (int l = 0; l < count; l += 16) {
        __builtin_prefetch(reinterpret_cast<const void*>(first + 4 * l), 1);
    }
}

// The samples of a term from x, addressed as one register plus constant offsets: the compiler
// would otherwise index them with a register per vector, and an indexed operand of a
// three-operand instruction costs Intel processors an extra micro-operation.
inline const float* samplesFrom(const Term& term, int x) {
    const float* row = term.row + x;
#if defined(__GNUC__)
    __asm__("" : "+r"(row));
#endif
    return row;
}

// Adds the terms to the sums of the B vectors of pixels from x: every term adds its sample to all
// of them before the next term comes, so B independent additions are under way while each sum
// waits for its previous one.
template <int B>
__attribute__((always_inline)) inline void accumulate(Floats (&sum)[B], const Plan& plan, int x) {
#pragma GCC unroll 16
    for (int k = 0; k < B; ++k) {
        sum[k] = Floats{};
    }
    const Term* terms = plan.terms;
    if (plan.byTerm) {
        for (int t = 0; t < plan.count; ++t) {
            const float* row = samplesFrom(terms[t], x);
            const Floats weight = weightOf(plan, t);
            if (plan.fused[t]) {
#pragma GCC unroll 16
                for (int k = 0; k < B; ++k) {
                    sum[k] = fusedMultiplyAdd(weight, load(row + k * kLanes), sum[k]);
                }
            } else {
#pragma GCC unroll 16
                for (int k = 0; k < B; ++k) {
                    sum[k] = sum[k] + weight * load(row + k * kLanes);
                }
            }
        }
        return;
    }
    int t = 0;
    for (int r = 0; r < plan.runs; ++r) {
        const int end = plan.ends[r];
        switch (plan.kinds[r]) {
            case kAdd:
                for (; t < end; ++t) {
                    const float* row = samplesFrom(terms[t], x);
#pragma GCC unroll 16
                    for (int k = 0; k < B; ++k) {
                        sum[k] = sum[k] + load(row + k * kLanes);
                    }
                }
                break;
            case kSubtract:
                for (; t < end; ++t) {
                    const float* row = samplesFrom(terms[t], x);
#pragma GCC unroll 16
                    for (int k = 0; k < B; ++k) {
                        sum[k] = sum[k] - load(row + k * kLanes);
                    }
                }
                break;
            case kFused:
                for (; t < end; ++t) {
                    const float* row = samplesFrom(terms[t], x);
                    const Floats weight = weightOf(plan, t);
#pragma GCC unroll 16
                    for (int k = 0; k < B; ++k) {
                        sum[k] = fusedMultiplyAdd(weight, load(row + k * kLanes), sum[k]);
                    }
                }
                break;
            case kMultiply:
                for (; t < end; ++t) {
                    const float* row = samplesFrom(terms[t], x);
                    const Floats weight = weightOf(plan, t);
#pragma GCC unroll 16
                    for (int k = 0; k < B; ++k) {
                        sum[k] = sum[k] + weight * load(row + k * kLanes);
                    }
                }
                break;
        }
    }
}

// Widens lo and hi by the B vectors, one comparison each way per vector: the comparisons share
// the processor's adding units with the sums, so every one saved is a step of a sum. The bounds
// wait on B comparisons in a row, which the next block's sums cover. (Every vector joins lo and
// hi, never another vector: a NaN then never stands as a bound.)
template <int B>
__attribute__((always_inline)) inline void widen(const Floats (&sum)[B], Floats& lo, Floats& hi) {
#pragma GCC unroll 16
    for (int k = 0; k < B; ++k) {
        lower(lo, sum[k]);
        raise(hi, sum[k]);
    }
}

template <int B, bool Ranged, int Scanning>
__attribute__((always_inline)) inline void sumBlock(float* out, const Plan& plan, int x,
                                                    Floats& lo, Floats& hi, const float* scan,
                                                    Floats& top) {
    scanBlock<B, Scanning>(scan, x, top);
    writeAhead(out + x, B * kLanes);
    Floats sum[B];
    accumulate<B>(sum, plan, x);
#pragma GCC unroll 16
    for (int k = 0; k < B; ++k) {
        store(out + x + k * kLanes, sum[k]);
    }
    if (Ranged) {
        widen<B>(sum, lo, hi);
    }
}

// A count of vectors as a type, for the block sizes handed to the functions forBlocks calls.
template <int B>
struct Vectors {
    static constexpr int value = B;
};

// The vectors of the blocks that finish a row after its whole blocks.
constexpr int kTailBlock = 4;

// Calls each(Vectors<k>(), x) over the pixels [0, n): blocks of B vectors from x = 0, then the
// rest by blocks of kTailBlock vectors (when B is larger), the last of them ending at n; its
// pixels shared with the block before are made again (harmlessly: the same values, and a range
// takes them twice). Smaller tail blocks make fewer pixels twice: a row of 1022 pixels in blocks
// of 48 would otherwise make 34 of them again. Rows shorter than a block go by single vectors the
// same way. Returns how far the vectors went: n, or 0 for a row shorter than a vector.
template <int B, class Each>
__attribute__((always_inline)) inline int forBlocks(int n, Each&& each) {
    if (n >= B * kLanes) {
        int x = 0;
        for (; x + B * kLanes <= n; x += B * kLanes) {
            each(Vectors<B>(), x);
        }
        if constexpr (B > kTailBlock) {
            for (; x + kTailBlock * kLanes <= n; x += kTailBlock * kLanes) {
                each(Vectors<kTailBlock>(), x);
            }
            if (x < n) {
                each(Vectors<kTailBlock>(), n - kTailBlock * kLanes);
            }
        } else if (x < n) {
            each(Vectors<B>(), n - B * kLanes);
        }
        return n;
    }
    if (n >= kLanes) {
        int x = 0;
        for (; x + kLanes <= n; x += kLanes) {
            each(Vectors<1>(), x);
        }
        if (x < n) {
            each(Vectors<1>(), n - kLanes);
        }
        return n;
    }
    return 0;
}

// One pixel's sum, term by term as the vectors take it (an exact product rounds to itself, so
// sum + w * v is the fused result).
inline float sumOne(const Term* terms, int count, int x) {
    float sum = 0.0f;
    for (int t = 0; t < count; ++t) {
        const float w = terms[t].weight;
        const float v = terms[t].row[x];
        sum = w == 1.0f ? sum + v : w == -1.0f ? sum - v : sum + w * v;
    }
    return sum;
}

inline void widenOne(float v, float* range) {
    range[0] = v < range[0] ? v : range[0];
    range[1] = v > range[1] ? v : range[1];
}

template <bool Ranged, int Scanning>
void correlate(float* out, int n, const Term* terms, int count, float* range, Scan* ahead) {
    Plan plan;
    makePlan(plan, terms, count);
    Floats lo = broadcast(Ranged ? range[0] : 0.0f);
    Floats hi = broadcast(Ranged ? range[1] : 0.0f);
    Floats top = Floats{};
    // The scan goes along with the blocks over [0, n) when it is that long.
    const float* scan = Scanning != kNoAhead && ahead->count >= n ? ahead->values : nullptr;
    int x = forBlocks<kSumBlock>(n, [&](auto vectors, int at) __attribute__((always_inline)) {
        sumBlock<decltype(vectors)::value, Ranged, Scanning>(out, plan, at, lo, hi, scan, top);
    });
    if (Scanning == kMeasureAhead) {
        finishScan(ahead, top, scan != nullptr ? x : 0);
    }
    if (Ranged) {
        foldRange(lo, hi, range);
    }
    for (; x < n; ++x) {
        out[x] = sumOne(terms, count, x);
        if (Ranged) {
            widenOne(out[x], range);
        }
    }
}

void correlateRow(float* out, int n, const Term* terms, int count, float* range, Scan* ahead) {
    if (ahead != nullptr && ahead->measure) {
        if (range != nullptr) {
            correlate<true, kMeasureAhead>(out, n, terms, count, range, ahead);
        } else {
            correlate<false, kMeasureAhead>(out, n, terms, count, range, ahead);
        }
    } else if (ahead != nullptr) {
        if (range != nullptr) {
            correlate<true, kFetchAhead>(out, n, terms, count, range, ahead);
        } else {
            correlate<false, kFetchAhead>(out, n, terms, count, range, ahead);
        }
    } else if (range != nullptr) {
        correlate<true, kNoAhead>(out, n, terms, count, range, ahead);
    } else {
        correlate<false, kNoAhead>(out, n, terms, count, range, ahead);
    }
}

// ---- interleaving ------------------------------------------------------------------------------

// Output lane i of the first (Half 0) or second (Half 1) vector of a, b interleaved.
template <int Half>
struct PairLanes {
    static constexpr int lane(int i) { return (i % 2) * kLanes + Half * kLanes / 2 + i / 2; }
};

// Vector m of a, b, c interleaved holds the elements e = m * kLanes + i: the value of pixel e / 3
// from source e % 3. It is made in two picks: the samples of a and b first (the lanes of c keep
// a placeholder), then those of c.
template <int M>
struct TripleLanesAB {
    static constexpr int lane(int i) {
        return (M * kLanes + i) % 3 == 1 ? kLanes + (M * kLanes + i) / 3 : (M * kLanes + i) / 3;
    }
};

template <int M>
struct TripleLanesC {
    static constexpr int lane(int i) {
        return (M * kLanes + i) % 3 == 2 ? kLanes + (M * kLanes + i) / 3 : i;
    }
};

template <int M>
inline Floats tripleVector(const Floats& va, const Floats& vb, const Floats& vc) {
    return pick<TripleLanesC<M>>(pick<TripleLanesAB<M>>(va, vb), vc);
}

#if defined(__SSE2__)
constexpr bool kSse2 = true;
#else
constexpr bool kSse2 = false;
#endif

// Stores one vector of pixels of each channel interleaved: C vectors from out.
template <int C>
inline void storeInterleaved(float* out, const Floats (&v)[C]) {
    if constexpr (C == 2) {
        store(out, pick<PairLanes<0>>(v[0], v[1]));
        store(out + kLanes, pick<PairLanes<1>>(v[0], v[1]));
    } else if constexpr (NEVRA_VECTOR_BYTES == 16 && kSse2) {
        // Nine SSE2 shuffles, where the picks of tripleVector take fifteen. (Left out by the
        // preprocessor elsewhere: clang checks the casts of a discarded branch too.)
#if defined(__SSE2__) && NEVRA_VECTOR_BYTES == 16
        const __m128 a = (__m128)v[0];
        const __m128 b = (__m128)v[1];
        const __m128 c = (__m128)v[2];
        const __m128 low = _mm_unpacklo_ps(a, b);                          // a0 b0 a1 b1
        const __m128 high = _mm_unpackhi_ps(a, b);                         // a2 b2 a3 b3
        const __m128 ca = _mm_shuffle_ps(c, low, _MM_SHUFFLE(2, 2, 0, 0));  // c0 c0 a1 a1
        const __m128 bc = _mm_shuffle_ps(low, c, _MM_SHUFFLE(1, 1, 3, 3));  // b1 b1 c1 c1
        const __m128 ca3 = _mm_shuffle_ps(c, high, _MM_SHUFFLE(2, 2, 2, 2));  // c2 c2 a3 a3
        const __m128 bc3 = _mm_shuffle_ps(high, c, _MM_SHUFFLE(3, 3, 3, 3));  // b3 b3 c3 c3
        store(out, (Floats)_mm_shuffle_ps(low, ca, _MM_SHUFFLE(2, 0, 1, 0)));
        store(out + kLanes, (Floats)_mm_shuffle_ps(bc, high, _MM_SHUFFLE(1, 0, 2, 0)));
        store(out + 2 * kLanes, (Floats)_mm_shuffle_ps(ca3, bc3, _MM_SHUFFLE(2, 0, 2, 0)));
#endif
    } else {
        static_assert(C == 3, "two or three channels");
        store(out, tripleVector<0>(v[0], v[1], v[2]));
        store(out + kLanes, tripleVector<1>(v[0], v[1], v[2]));
        store(out + 2 * kLanes, tripleVector<2>(v[0], v[1], v[2]));
    }
}

// ---- two rows at once --------------------------------------------------------------------------

// sum with w * v joined as Kind K, or as it is for kSkip.
constexpr int kSkip = kMultiply + 1;
constexpr int kKinds = kSkip + 1;

template <int K>
__attribute__((always_inline)) inline Floats take(const Floats& sum, const Floats& w,
                                                  const Floats& v) {
    if constexpr (K == kFused) {
        return fusedMultiplyAdd(w, v, sum);
    } else if constexpr (K == kMultiply) {
        return sum + w * v;
    } else if constexpr (K == kAdd) {
        return sum + v;
    } else if constexpr (K == kSubtract) {
        return sum - v;
    } else {
        return sum;
    }
}

// One step for the B vectors of both rows from x: each vector of samples is loaded once and
// joins both rows' sums.
template <int K0, int K1, int B>
__attribute__((always_inline)) inline void takeStep(Floats (&first)[B], Floats (&second)[B],
                                                    const float* row, const Floats& w0,
                                                    const Floats& w1) {
#pragma GCC unroll 16
    for (int k = 0; k < B; ++k) {
        Floats v = load(row + k * kLanes);
#if defined(__GNUC__) && defined(__x86_64__)
        if constexpr (K0 != kSkip && K1 != kSkip) {
            // Held in a register: the compiler would otherwise read the samples again for the
            // second row, as a memory operand of its instruction.
            __asm__("" : "+v"(v));
        }
#endif
        first[k] = take<K0>(first[k], w0, v);
        second[k] = take<K1>(second[k], w1, v);
    }
}

#if defined(NEVRA_FUSES)
// How the two rows take a step: both, or only the first or the second; each either multiplies and
// adds in two roundings (M) or takes w * v + sum in one fused multiply-add (F: an exact product,
// the weights 1 and -1 included).
enum PairCode { kFF, kFM, kMF, kMM, kFOnly, kMOnly, kOnlyF, kOnlyM };

// A step as the loops take it.
struct PairStep {
    const float* row;
    float w0;
    float w1;
    int code;  // PairCode
};

inline PairStep pairStep(const TermPair& step) {
    auto rounds = [&step](int r) {
        return kindOf(Term{step.row, step.weight[r], step.exactProduct[r]}) == kMultiply;
    };
    int code = 0;
    if (step.present[0] && step.present[1]) {
        code = (rounds(0) ? kMF : kFF) + (rounds(1) ? 1 : 0);
    } else if (step.present[0]) {
        code = rounds(0) ? kMOnly : kFOnly;
    } else {
        code = rounds(1) ? kOnlyM : kOnlyF;
    }
    return {step.row, step.weight[0], step.weight[1], code};
}

template <int B>
__attribute__((always_inline)) inline void accumulatePair(Floats (&first)[B],
                                                          Floats (&second)[B],
                                                          const PairStep* steps, int count,
                                                          int x) {
#pragma GCC unroll 16
    for (int k = 0; k < B; ++k) {
        first[k] = Floats{};
        second[k] = Floats{};
    }
    for (const PairStep* step = steps; step != steps + count; ++step) {
        const float* row = step->row + x;
#if defined(__GNUC__)
        __asm__("" : "+r"(row));  // one register plus constant offsets, as samplesFrom
#endif
        const Floats w0 = broadcast(step->w0);
        const Floats w1 = broadcast(step->w1);
        // Comparisons rather than a table of jump targets, which the processor foresees less
        // well.
        const int code = step->code;
        if (code < kFOnly) {
            if (code < kMF) {
                if (code == kFF) {
                    takeStep<kFused, kFused, B>(first, second, row, w0, w1);
                } else {
                    takeStep<kFused, kMultiply, B>(first, second, row, w0, w1);
                }
            } else if (code == kMF) {
                takeStep<kMultiply, kFused, B>(first, second, row, w0, w1);
            } else {
                takeStep<kMultiply, kMultiply, B>(first, second, row, w0, w1);
            }
        } else if (code < kOnlyF) {
            if (code == kFOnly) {
                takeStep<kFused, kSkip, B>(first, second, row, w0, w1);
            } else {
                takeStep<kMultiply, kSkip, B>(first, second, row, w0, w1);
            }
        } else if (code == kOnlyF) {
            takeStep<kSkip, kFused, B>(first, second, row, w0, w1);
        } else {
            takeStep<kSkip, kMultiply, B>(first, second, row, w0, w1);
        }
    }
}
#else
// Without fused multiply-add, each row adds, subtracts or multiplies and adds its samples as
// correlateRow would, or leaves the step out.

// A step as the loops take it: code is the kinds of both rows, kind0 * kKinds + kind1; the
// weights spread over a vector once per row (see Plan).
struct PairStep {
    const float* row;
    int code;
    Floats w0;
    Floats w1;
};

inline PairStep pairStep(const TermPair& step) {
    auto kind = [&step](int r) {
        return step.present[r] ? kindOf(Term{step.row, step.weight[r], false}) : kSkip;
    };
    return {step.row, kind(0) * kKinds + kind(1), broadcast(step.weight[0]),
            broadcast(step.weight[1])};
}

template <int B>
__attribute__((always_inline)) inline void accumulatePair(Floats (&first)[B],
                                                          Floats (&second)[B],
                                                          const PairStep* steps, int count,
                                                          int x) {
#pragma GCC unroll 16
    for (int k = 0; k < B; ++k) {
        first[k] = Floats{};
        second[k] = Floats{};
    }
    for (const PairStep* step = steps; step != steps + count; ++step) {
        const float* row = step->row + x;
#if defined(__GNUC__)
        __asm__("" : "+r"(row));  // one register plus constant offsets, as samplesFrom
#endif
        const Floats& w0 = step->w0;
        const Floats& w1 = step->w1;
        switch (step->code) {
#define NEVRA_PAIR_CASE(K0, K1)                                 \
    case K0 * kKinds + K1:                                      \
        takeStep<K0, K1, B>(first, second, row, w0, w1);        \
        break;
            NEVRA_PAIR_CASE(kAdd, kAdd)
            NEVRA_PAIR_CASE(kAdd, kSubtract)
            NEVRA_PAIR_CASE(kAdd, kMultiply)
            NEVRA_PAIR_CASE(kAdd, kSkip)
            NEVRA_PAIR_CASE(kSubtract, kAdd)
            NEVRA_PAIR_CASE(kSubtract, kSubtract)
            NEVRA_PAIR_CASE(kSubtract, kMultiply)
            NEVRA_PAIR_CASE(kSubtract, kSkip)
            NEVRA_PAIR_CASE(kMultiply, kAdd)
            NEVRA_PAIR_CASE(kMultiply, kSubtract)
            NEVRA_PAIR_CASE(kMultiply, kMultiply)
            NEVRA_PAIR_CASE(kMultiply, kSkip)
            NEVRA_PAIR_CASE(kSkip, kAdd)
            NEVRA_PAIR_CASE(kSkip, kSubtract)
            NEVRA_PAIR_CASE(kSkip, kMultiply)
#undef NEVRA_PAIR_CASE
            default:
                break;
        }
    }
}
#endif  // NEVRA_FUSES

// One pixel of row r, as the vectors make it.
inline float sumPairOne(const TermPair* steps, int count, int r, int x) {
    float sum = 0.0f;
    for (int t = 0; t < count; ++t) {
        if (steps[t].present[r]) {
            const float w = steps[t].weight[r];
            const float v = steps[t].row[x];
            sum = w == 1.0f ? sum + v : w == -1.0f ? sum - v : sum + w * v;
        }
    }
    return sum;
}

// With Interleaved, the two rows' sums go to out0 pixel by pixel (row 0's first) and out1 is
// not used.
template <bool Ranged, int Scanning, bool Interleaved>
void correlatePair(float* out0, float* out1, int n, const TermPair* steps, int count,
                   float* range, Scan* ahead) {
    PairStep taken[kMaxTermPairs];
    for (int t = 0; t < count; ++t) {
        taken[t] = pairStep(steps[t]);
    }
    Floats lo = broadcast(Ranged ? range[0] : 0.0f);
    Floats hi = broadcast(Ranged ? range[1] : 0.0f);
    Floats top = Floats{};
    Floats top2 = Floats{};
    const float* scan = Scanning != kNoAhead && ahead[0].count >= n ? ahead[0].values : nullptr;
    const float* scan2 = Scanning != kNoAhead && ahead[1].count >= n ? ahead[1].values : nullptr;
    int x = forBlocks<kRowPairBlock>(n, [&](auto vectors, int at) __attribute__((always_inline)) {
        constexpr int B = decltype(vectors)::value;
        if (scan2 != nullptr) {
            scanBlock<B, Scanning>(scan2, at, top2);
        }
        scanBlock<B, Scanning>(scan, at, top);
        if (Interleaved) {
            writeAhead(out0 + 2 * at, 2 * B * kLanes);
        } else {
            writeAhead(out0 + at, B * kLanes);
            writeAhead(out1 + at, B * kLanes);
        }
        Floats first[B];
        Floats second[B];
        accumulatePair<B>(first, second, taken, count, at);
#pragma GCC unroll 16
        for (int k = 0; k < B; ++k) {
            if (Interleaved) {
                const Floats pixels[2] = {first[k], second[k]};
                storeInterleaved<2>(out0 + 2 * (at + k * kLanes), pixels);
            } else {
                store(out0 + at + k * kLanes, first[k]);
                store(out1 + at + k * kLanes, second[k]);
            }
        }
        if (Ranged) {
            widen<B>(first, lo, hi);
            widen<B>(second, lo, hi);
        }
    });
    if (Scanning == kMeasureAhead) {
        finishScan(ahead, top, scan != nullptr ? x : 0);
        if (ahead[1].values != nullptr) {
            finishScan(ahead + 1, top2, scan2 != nullptr ? x : 0);
        }
    }
    if (Ranged) {
        foldRange(lo, hi, range);
    }
    for (; x < n; ++x) {
        const float sum0 = sumPairOne(steps, count, 0, x);
        const float sum1 = sumPairOne(steps, count, 1, x);
        if (Interleaved) {
            out0[2 * x] = sum0;
            out0[2 * x + 1] = sum1;
        } else {
            out0[x] = sum0;
            out1[x] = sum1;
        }
        if (Ranged) {
            widenOne(sum0, range);
            widenOne(sum1, range);
        }
    }
}

// correlateRowPair and correlateInterleavedPair: the pass that suits the range and the looks
// ahead.
template <bool Interleaved>
void correlatePairs(float* out0, float* out1, int n, const TermPair* steps, int count,
                    float* range, Scan* ahead) {
    if (range == nullptr) {
        // (No caller looks ahead without a range.)
        correlatePair<false, kNoAhead, Interleaved>(out0, out1, n, steps, count, range, nullptr);
    } else if (ahead != nullptr && ahead->measure && !kFuses) {
        // Rows are measured only where exact products fuse; elsewhere a pass of their own keeps
        // the blocks' registers for the sums.
        correlatePair<true, kNoAhead, Interleaved>(out0, out1, n, steps, count, range, nullptr);
        for (int i = 0; i < 2; ++i) {
            if (ahead[i].values != nullptr) {
                ahead[i].largest = largestMagnitude(ahead[i].values, ahead[i].count);
            }
        }
    } else if (ahead != nullptr && ahead->measure) {
        correlatePair<true, kMeasureAhead, Interleaved>(out0, out1, n, steps, count, range,
                                                        ahead);
    } else if (ahead != nullptr) {
        correlatePair<true, kFetchAhead, Interleaved>(out0, out1, n, steps, count, range, ahead);
    } else {
        correlatePair<true, kNoAhead, Interleaved>(out0, out1, n, steps, count, range, ahead);
    }
}

void correlateRowPair(float* out0, float* out1, int n, const TermPair* steps, int count,
                      float* range, Scan* ahead) {
    correlatePairs<false>(out0, out1, n, steps, count, range, ahead);
}

void correlateInterleavedPair(float* out, int n, const TermPair* steps, int count, float* range,
                              Scan* ahead) {
    correlatePairs<true>(out, nullptr, n, steps, count, range, ahead);
}

// ---- two rows of sums and a third, interleaved ----------------------------------------------

void correlatePairAndRow(float* out, int n, const TermPair* steps, int count, const Term* terms,
                         int termCount, float* const* ranges) {
    PairStep taken[kMaxTermPairs];
    for (int t = 0; t < count; ++t) {
        taken[t] = pairStep(steps[t]);
    }
    Plan plan;
    makePlan(plan, terms, termCount);
    // The bounds of the three ranges stay in memory, taken in once a block: the registers are
    // the sums'.
    Floats bounds[3][2];
    for (int c = 0; c < 3; ++c) {
        bounds[c][0] = broadcast(ranges[c][0]);
        bounds[c][1] = broadcast(ranges[c][1]);
    }
    int x = forBlocks<kTripleBlock>(n, [&](auto vectors, int at) __attribute__((always_inline)) {
        constexpr int B = decltype(vectors)::value;
        writeAhead(out + 3 * at, 3 * B * kLanes);
        Floats sum[3][B];
        accumulatePair<B>(sum[0], sum[1], taken, count, at);
        accumulate<B>(sum[2], plan, at);
        Floats(*held)[2] = bounds;
#if defined(__GNUC__)
        __asm__("" : "+r"(held));  // the compiler then keeps no bound in a register
#endif
#pragma GCC unroll 4
        for (int c = 0; c < 3; ++c) {
            widen<B>(sum[c], held[c][0], held[c][1]);
        }
#pragma GCC unroll 16
        for (int k = 0; k < B; ++k) {
            const Floats pixels[3] = {sum[0][k], sum[1][k], sum[2][k]};
            storeInterleaved<3>(out + 3 * (at + k * kLanes), pixels);
        }
    });
    for (int c = 0; c < 3; ++c) {
        foldRange(bounds[c][0], bounds[c][1], ranges[c]);
    }
    for (; x < n; ++x) {
        const float pixel[3] = {sumPairOne(steps, count, 0, x), sumPairOne(steps, count, 1, x),
                                sumOne(terms, termCount, x)};
        for (int c = 0; c < 3; ++c) {
            out[3 * x + c] = pixel[c];
            widenOne(pixel[c], ranges[c]);
        }
    }
}

void scaleRow(float* out, const float* in, float factor, int n) {
    const Floats f = broadcast(factor);
    int x = 0;
    for (; x + 2 * kLanes <= n; x += 2 * kLanes) {
        store(out + x, f * load(in + x));
        store(out + x + kLanes, f * load(in + x + kLanes));
    }
    for (; x < n; ++x) {
        out[x] = factor * in[x];
    }
}

// Four vectors at a time, each into its own running bounds, so that the comparisons of one
// vector need not wait for those of the one before.
void widenRange(const float* values, int n, float* range) {
    if (n < kLanes) {
        for (int i = 0; i < n; ++i) {
            widenOne(values[i], range);
        }
        return;
    }
    Floats lo[4];
    Floats hi[4];
    for (int k = 0; k < 4; ++k) {
        lo[k] = broadcast(range[0]);
        hi[k] = broadcast(range[1]);
    }
    int i = 0;
    for (; i + 4 * kLanes <= n; i += 4 * kLanes) {
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            const Floats v = load(values + i + k * kLanes);
            lower(lo[k], v);
            raise(hi[k], v);
        }
    }
    // The rest by vectors, the last one ending at n (a value seen twice changes nothing).
    for (; i < n; i += kLanes) {
        const Floats v = load(values + (i + kLanes <= n ? i : n - kLanes));
        lower(lo[0], v);
        raise(hi[0], v);
    }
    lower(lo[0], lo[1]);
    lower(lo[2], lo[3]);
    lower(lo[0], lo[2]);
    raise(hi[0], hi[1]);
    raise(hi[2], hi[3]);
    raise(hi[0], hi[2]);
    foldRange(lo[0], hi[0], range);
}

void interleave3(float* out, const float* a, const float* b, const float* c, int n) {
    int x = 0;
    for (; x + kLanes <= n; x += kLanes) {
        const Floats v[3] = {load(a + x), load(b + x), load(c + x)};
        storeInterleaved<3>(out + 3 * x, v);
    }
    for (; x < n; ++x) {
        out[3 * x] = a[x];
        out[3 * x + 1] = b[x];
        out[3 * x + 2] = c[x];
    }
}

// ---- bytes -------------------------------------------------------------------------------------

typedef unsigned char Bytes __attribute__((vector_size(NEVRA_VECTOR_BYTES)));
typedef signed char ByteLanes __attribute__((vector_size(NEVRA_VECTOR_BYTES)));

void copyBytes(unsigned char* out, const unsigned char* in, long long n) {
    // Four vectors a step. Rows of a few kilobytes moved so a tenth faster than by the C
    // library's memcpy, which takes a string instruction for copies of that size (AMD EPYC).
    constexpr int kBytes = NEVRA_VECTOR_BYTES;
    long long i = 0;
    for (; i + 4 * kBytes <= n; i += 4 * kBytes) {
        const Bytes a = loadVector<Bytes>(in + i);
        const Bytes b = loadVector<Bytes>(in + i + kBytes);
        const Bytes c = loadVector<Bytes>(in + i + 2 * kBytes);
        const Bytes d = loadVector<Bytes>(in + i + 3 * kBytes);
        storeVector(out + i, a);
        storeVector(out + i + kBytes, b);
        storeVector(out + i + 2 * kBytes, c);
        storeVector(out + i + 3 * kBytes, d);
    }
    for (; i + kBytes <= n; i += kBytes) {
        storeVector(out + i, loadVector<Bytes>(in + i));
    }
    if (i < n) {
        std::memcpy(out + i, in + i, static_cast<std::size_t>(n - i));
    }
}

// The even bytes of a, then those of b: the low bytes of their sixteen-bit lanes.
struct EvenBytes {
    static constexpr int lane(int i) { return 2 * i; }
};

void halveBytes2x2(unsigned char* out, const unsigned char* a, const unsigned char* b, int n) {
    int x = 0;
#if (NEVRA_VECTOR_BYTES == 32 && defined(__AVX2__)) || \
    (NEVRA_VECTOR_BYTES == 64 && defined(__AVX512BW__))
    // Pairs of bytes summed by one multiply-add against ones, each sum a sixteen-bit lane.
#if NEVRA_VECTOR_BYTES == 64
    typedef __m512i Wide;
    const Wide ones = _mm512_set1_epi8(1);
    auto pairSums = [&ones](const unsigned char* p) {
        return _mm512_maddubs_epi16(_mm512_loadu_si512(p), ones);
    };
    // packus packs each 128-bit lane on its own: the 64-bit pieces back in order.
    const Wide order = _mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0);
    auto pack = [&order](const Wide& low, const Wide& high) {
        // (The zero-masking form: the plain one leaves GCC 12 warning about its placeholder.)
        return _mm512_maskz_permutexvar_epi64(0xFF, order, _mm512_packus_epi16(low, high));
    };
    auto quarter = [](const Wide& top, const Wide& bottom) {
        return _mm512_srli_epi16(_mm512_add_epi16(top, bottom), 2);
    };
    auto put = [](unsigned char* p, const Wide& v) { _mm512_storeu_si512(p, v); };
#else
    typedef __m256i Wide;
    const Wide ones = _mm256_set1_epi8(1);
    auto pairSums = [&ones](const unsigned char* p) {
        return _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const Wide*>(p)), ones);
    };
    auto pack = [](const Wide& low, const Wide& high) {
        return _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
    };
    auto quarter = [](const Wide& top, const Wide& bottom) {
        return _mm256_srli_epi16(_mm256_add_epi16(top, bottom), 2);
    };
    auto put = [](unsigned char* p, const Wide& v) {
        _mm256_storeu_si256(reinterpret_cast<Wide*>(p), v);
    };
#endif
    constexpr int kBytes = NEVRA_VECTOR_BYTES;
    for (; x + kBytes <= n; x += kBytes) {
        const Wide low = quarter(pairSums(a + 2 * x), pairSums(b + 2 * x));
        const Wide high = quarter(pairSums(a + 2 * x + kBytes), pairSums(b + 2 * x + kBytes));
        put(out + x, pack(low, high));
    }
#elif defined(__SSE2__) && NEVRA_VECTOR_BYTES == 16
    // Byte pairs as sixteen-bit lanes, the even bytes masked out and the odd ones shifted down;
    // each sum of four is at most 1020, at most 255 after the shift, so packus takes it as it is
    // (the portable loop below masks the sums once more for its pick of the low bytes).
    const __m128i evens = _mm_set1_epi16(0xFF);
    auto sums = [&evens](const unsigned char* top, const unsigned char* bottom) {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top));
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom));
        const __m128i even = _mm_add_epi16(_mm_and_si128(t, evens), _mm_and_si128(u, evens));
        const __m128i odd = _mm_add_epi16(_mm_srli_epi16(t, 8), _mm_srli_epi16(u, 8));
        return _mm_srli_epi16(_mm_add_epi16(even, odd), 2);
    };
    for (; x + 16 <= n; x += 16) {
        // Two rows at sixteen bytes a load keep few lines on the way; asking for them a
        // kilobyte ahead saved a tenth of the time here.
        __builtin_prefetch(a + 2 * x + 1024);
        __builtin_prefetch(b + 2 * x + 1024);
        const __m128i low = sums(a + 2 * x, b + 2 * x);
        const __m128i high = sums(a + 2 * x + 16, b + 2 * x + 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(low, high));
    }
#elif __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Byte pairs as sixteen-bit lanes (the low byte is the even element); two vectors of sums
    // give one vector of bytes.
    typedef unsigned short Pairs __attribute__((vector_size(NEVRA_VECTOR_BYTES)));
    constexpr int kBytes = NEVRA_VECTOR_BYTES;
    auto sums = [](const unsigned char* top, const unsigned char* bottom) {
        const Pairs t = loadVector<Pairs>(top);
        const Pairs u = loadVector<Pairs>(bottom);
        return ((t & 0xFF) + (t >> 8) + (u & 0xFF) + (u >> 8)) >> 2;
    };
    for (; x + kBytes <= n; x += kBytes) {
        const Pairs low = sums(a + 2 * x, b + 2 * x);
        const Pairs high = sums(a + 2 * x + kBytes, b + 2 * x + kBytes);
        storeVector(out + x, pickLanes<Bytes, ByteLanes, EvenBytes>(
                                 (Bytes)low, (Bytes)high, std::make_integer_sequence<int, kBytes>()));
    }
#endif
    for (; x < n; ++x) {
        const int i = 2 * x;
        out[x] = static_cast<unsigned char>((a[i] + a[i + 1] + b[i] + b[i + 1]) >> 2);
    }
}

#if defined(__SSSE3__)
// Sixteen pixels at a time by byte shuffles, the rest one by one.
void reverseTriples(unsigned char* out, const unsigned char* in, int count) {
    typedef unsigned char Bytes16 __attribute__((vector_size(16)));
    // Output byte k of a block of 48 takes input byte 45 - 3 (k / 3) + k % 3; each output vector
    // draws from two overlapping input vectors that together hold the bytes it needs.
    auto load16 = [](const unsigned char* p) { return loadVector<Bytes16>(p); };
#if defined(__clang__)
#define NEVRA_SHUFFLE16(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
    typedef signed char Lanes16 __attribute__((vector_size(16)));
#define NEVRA_SHUFFLE16(a, b, ...) __builtin_shuffle(a, b, Lanes16{__VA_ARGS__})
#endif
    int j = 0;
    for (; j + 16 <= count; j += 16) {
        const unsigned char* block = in + 3LL * (count - 16 - j);
        unsigned char* target = out + 3LL * j;
        const Bytes16 first =
            NEVRA_SHUFFLE16(load16(block + 16), load16(block + 32), 29, 30, 31, 26, 27, 28, 23,
                            24, 25, 20, 21, 22, 17, 18, 19, 14);
        const Bytes16 second =
            NEVRA_SHUFFLE16(load16(block + 15), load16(block + 17), 30, 31, 12, 13, 14, 9, 10,
                            11, 6, 7, 8, 3, 4, 5, 0, 1);
        const Bytes16 third =
            NEVRA_SHUFFLE16(load16(block), load16(block + 2), 31, 12, 13, 14, 9, 10, 11, 6, 7,
                            8, 3, 4, 5, 0, 1, 2);
        storeVector(target, first);
        storeVector(target + 16, second);
        storeVector(target + 32, third);
    }
#undef NEVRA_SHUFFLE16
    for (; j < count; ++j) {
        std::memcpy(out + 3LL * j, in + 3LL * (count - 1 - j), 3);
    }
}
#else
// Without byte shuffles: two pixels at a time in one 64-bit word. The word read at pixel k - 1
// holds pixels k - 1 and k and two bytes more; its two pixels change places and the word goes
// out whole, its two extra bytes overwritten by the next word. The first and last pair move
// bytewise, so nothing is read or written beyond either row.
void reverseTriples(unsigned char* out, const unsigned char* in, int count) {
    int j = 0;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count >= 6) {
        std::memcpy(out, in + 3LL * (count - 1), 3);
        std::memcpy(out + 3, in + 3LL * (count - 2), 3);
        for (j = 2; j + 4 <= count; j += 2) {
            std::uint64_t word;
            std::memcpy(&word, in + 3LL * (count - 2 - j), 8);
            word = ((word >> 24) & 0xFFFFFF) | ((word & 0xFFFFFF) << 24);
            std::memcpy(out + 3LL * j, &word, 8);
        }
    }
#endif
    for (; j < count; ++j) {
        std::memcpy(out + 3LL * j, in + 3LL * (count - 1 - j), 3);
    }
}
#endif

// Walks square tiles and fills each target row from left to right, moving four-byte words where
// the byte after a pixel is written again next (or in a later tile) and is readable.
void turnTriples(unsigned char* out, const unsigned char* in, int width, int height) {
    constexpr int kTile = 32;
    const long long inRow = 3LL * width;
    const long long outRow = 3LL * height;
    for (int y0 = 0; y0 < height; y0 += kTile) {
        const int y1 = y0 + kTile < height ? y0 + kTile : height;
        const int wordEnd = y1 < height ? y1 : height - 1;  // the last column is moved bytewise
        for (int x0 = 0; x0 < width; x0 += kTile) {
            const int x1 = x0 + kTile < width ? x0 + kTile : width;
            for (int x = x0; x < x1; ++x) {
                unsigned char* target = out + (width - 1 - x) * outRow;
                const unsigned char* source = in + 3LL * x;
                int y = y0;
                for (; y < wordEnd; ++y) {
                    std::uint32_t word;
                    std::memcpy(&word, source + y * inRow, 4);
                    std::memcpy(target + 3LL * y, &word, 4);
                }
                for (; y < y1; ++y) {
                    std::memcpy(target + 3LL * y, source + y * inRow, 3);
                }
            }
        }
    }
}

// The table of this translation unit's path.
constexpr Table makeTable() {
    return Table{kFuses,           &correlateRow,     &correlateRowPair,
                 &correlateInterleavedPair, &correlatePairAndRow, &scaleRow,
                 &widenRange,       &largestMagnitude, &interleave3,
                 &halveBytes2x2,    &copyBytes,        &reverseTriples,
                 &turnTriples};
}

}  // namespace

// The accessor of kernel_table.h that this translation unit defines, named by NEVRA_TABLE.
const Table* NEVRA_TABLE() {
    static constexpr Table table = makeTable();
    return &table;
}

}  // namespace kernels
}  // namespace Nevra

#endif  // NEVRA_SRC_KERNEL_LOOPS_H
