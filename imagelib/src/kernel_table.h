#ifndef NEVRA_SRC_KERNEL_TABLE_H
#define NEVRA_SRC_KERNEL_TABLE_H

// The hot inner loops of the image operations as a table of functions. The loops are compiled
// once per code path (kernels_baseline.cpp, kernels_x86_64_v3.cpp, kernels_x86_64_v4.cpp), each
// translation unit for its own instruction set, and kernels.cpp picks one table when the library
// is first used.
//
// Declarations only: the per-path translation units include this header, and an inline function
// defined here would be compiled with their wider instruction sets, where the linker could pick
// that copy for every caller.

namespace Nevra {
namespace kernels {

// One term of a weighted row sum: the row it reads, already moved to the sample of the first
// pixel, and its weight. A weight of 1 or -1 adds or subtracts the sample as it is: this is
// exactly the sum with the product 1 * v or -1 * v, without the multiplication. exactProduct
// says that weight * v is exact (needs no rounding) for every sample v the term reads; a path
// with fused multiply-add may then take sum + weight * v in one instruction, which is the same
// single rounding.
struct Term {
    const float* row;
    float weight;
    bool exactProduct;
};

// One step of the sums of two rows made together: the samples of `row` join the first row's
// sums with weight[0] and the second's with weight[1], as a Term of that weight and exactProduct
// would; present[r] false leaves row r's sums out of the step. Each row's sums take their steps
// in order, so the steps of two rows whose windows overlap read every shared sample once.
struct TermPair {
    const float* row;
    float weight[2];
    bool exactProduct[2];
    bool present[2];
};

// The most steps correlateRowPair takes.
constexpr int kMaxTermPairs = 256;

// A row to look at while a row of sums is made: the next row the sums will read, which the kernel
// asks into the cache meanwhile; with `measure` it also sets largest := the largest magnitude of
// values[0, count), NaN values left out.
struct Scan {
    const float* values;
    int count;
    float largest;
    bool measure;
};

struct Table {
    // True when correlateRow fuses the terms with exact products (kernel_loops.h).
    bool fusesExactProducts;

    // out[x] := the sum over t of terms[t].weight * terms[t].row[x], for x in [0, n), the terms
    // added in the order of t to a sum that starts at 0.0f; every product and partial sum is a
    // float. count may be 0 (every value is then 0). When `range` is not null, range[0] and
    // range[1] (low, high) are widened by the n values as widenRange does. When `ahead` is not
    // null it is scanned.
    // REQUIRES: terms[t].row + n readable; out does not overlap the rows.
    void (*correlateRow)(float* out, int n, const Term* terms, int count, float* range,
                         Scan* ahead);

    // out0[x] and out1[x] := the sums of the rows 0 and 1 of the steps, for x in [0, n), each as
    // correlateRow makes the sum of that row's terms in the order of the steps. When `range` is
    // not null, range (low, high) is widened by the 2n values; without one, `ahead` is not
    // looked at. When `ahead` is not null, ahead[0] and ahead[1] are scanned as correlateRow
    // scans its one; a second look at no row (values null) is left as it is.
    // REQUIRES: count <= kMaxTermPairs; steps[t].row + n readable; the outputs overlap neither
    // each other nor the rows.
    void (*correlateRowPair)(float* out0, float* out1, int n, const TermPair* steps, int count,
                             float* range, Scan* ahead);

    // out[2x] and out[2x + 1] := the sums of the rows 0 and 1 of the steps for pixel x, as
    // correlateRowPair makes them; range and ahead as there. REQUIRES: count <= kMaxTermPairs;
    // steps[t].row + n readable; out does not overlap the rows.
    void (*correlateInterleavedPair)(float* out, int n, const TermPair* steps, int count,
                                     float* range, Scan* ahead);

    // out[3x] and out[3x + 1] := the sums of the rows 0 and 1 of the steps for pixel x, as
    // correlateRowPair makes them, and out[3x + 2] := the sum of the terms, as correlateRow makes
    // it, for x in [0, n); ranges[c] (low, high) is widened by the values of channel c.
    // REQUIRES: count <= kMaxTermPairs; the rows of steps and terms + n readable; out overlaps
    // none of them.
    void (*correlatePairAndRow)(float* out, int n, const TermPair* steps, int count,
                                const Term* terms, int termCount, float* const* ranges);

    // out[x] := factor * in[x] for x in [0, n).
    void (*scaleRow)(float* out, const float* in, float factor, int n);

    // Widens range[0] (low) and range[1] (high) by the n values; NaN values take no part, as with
    // one-by-one "if (v < low) low = v; if (v > high) high = v".
    void (*widenRange)(const float* values, int n, float* range);

    // The largest magnitude |v| of the n values (0 for none); NaN values take no part.
    float (*largestMagnitude)(const float* values, int n);

    // out[3x] := a[x], out[3x + 1] := b[x], out[3x + 2] := c[x] for x in [0, n).
    void (*interleave3)(float* out, const float* a, const float* b, const float* c, int n);

    // out[x] := (a[2x] + a[2x + 1] + b[2x] + b[2x + 1]) / 4 truncated, for x in [0, n): the 2 x 2
    // block mean of two byte rows. REQUIRES: a and b hold 2n bytes.
    void (*halveBytes2x2)(unsigned char* out, const unsigned char* a, const unsigned char* b,
                          int n);

    // Copies n bytes from `in` to `out`, as memcpy does. REQUIRES: they do not overlap.
    void (*copyBytes)(unsigned char* out, const unsigned char* in, long long n);

    // Copies a row of `count` three-byte pixels in reverse pixel order.
    void (*reverseTriples)(unsigned char* out, const unsigned char* in, int count);

    // Turns a width x height plane of three-byte pixels a quarter turn about z: the pixel (x, y)
    // goes to row width - 1 - x, column y of a plane whose rows are height pixels long.
    void (*turnTriples)(unsigned char* out, const unsigned char* in, int width, int height);
};

// The table of each code path, or null when this build holds none for it (the path's
// translation unit was not compiled for its instruction set, as on other processor families).
const Table* baselineTable();
const Table* x86_64_v3Table();
const Table* x86_64_v4Table();

}  // namespace kernels
}  // namespace Nevra

#endif  // NEVRA_SRC_KERNEL_TABLE_H
