#ifndef NEVRA_SRC_KERNELS_H
#define NEVRA_SRC_KERNELS_H

// Hot inner loops of the image operations, written on plain arrays so that they vectorise across
// pixels while every pixel keeps the exact arithmetic of its operation: the sums of a pixel are
// taken in the same order and every partial sum is a float. The library is compiled with
// -ffp-contract=off, so no multiply and add are fused into one rounding.
//
// On GCC for x86-64 each kernel is built three times (baseline, x86-64-v3, x86-64-v4) and the
// widest one the processor supports is picked when the program starts.

#include <cstdint>
#include <cstring>

namespace Nevra {
namespace kernels {

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define NEVRA_HOT_LOOP __attribute__((target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")))
#else
#define NEVRA_HOT_LOOP
#endif

// Sixteen floats in one value; loads and stores through it need no alignment and may alias the
// floats. Used through pointers only (a vector passed by value would depend on the ABI level).
typedef float Floats16 __attribute__((vector_size(64), aligned(4), may_alias));

// Picks lanes of a and b by constant indices, b's lanes numbered after a's: GCC's
// __builtin_shuffle with a mask vector of the given type, clang's __builtin_shufflevector.
#if defined(__clang__)
#define NEVRA_SHUFFLE(maskType, a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define NEVRA_SHUFFLE(maskType, a, b, ...) __builtin_shuffle(a, b, maskType{__VA_ARGS__})
#endif

#define NEVRA_V16(p) (*reinterpret_cast<const Floats16*>(p))
#define NEVRA_V16_OUT(p) (*reinterpret_cast<Floats16*>(p))

// out[x] := sum over t of weights[t] * rows[t][x], for x in [0, n), the terms added in the order
// of t to a sum that starts at 0.0f; every product and partial sum is a float. taps may be 0
// (every value is then 0). When `range` is not null, range[0] and range[1] (low, high) are
// widened by the n values as widenRange does. REQUIRES: rows[t] + n readable, out does not
// overlap the rows.
NEVRA_HOT_LOOP static void correlateRow(float* out, int n, const float* const* rows,
                                        const float* weights, int taps, float* range = nullptr) {
    Floats16 lo = (range != nullptr ? range[0] : 0.0f) - Floats16{};
    Floats16 hi = (range != nullptr ? range[1] : 0.0f) - Floats16{};
    auto widen = [&lo, &hi](const Floats16& v) {
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    };
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        Floats16 a0 = {}, a1 = {}, a2 = {}, a3 = {};
        for (int t = 0; t < taps; ++t) {
            const float* r = rows[t] + x;
            const float w = weights[t];
            a0 = a0 + w * NEVRA_V16(r);
            a1 = a1 + w * NEVRA_V16(r + 16);
            a2 = a2 + w * NEVRA_V16(r + 32);
            a3 = a3 + w * NEVRA_V16(r + 48);
        }
        NEVRA_V16_OUT(out + x) = a0;
        NEVRA_V16_OUT(out + x + 16) = a1;
        NEVRA_V16_OUT(out + x + 32) = a2;
        NEVRA_V16_OUT(out + x + 48) = a3;
        widen(a0);
        widen(a1);
        widen(a2);
        widen(a3);
    }
    for (; x + 16 <= n; x += 16) {
        Floats16 a = {};
        for (int t = 0; t < taps; ++t) {
            a = a + weights[t] * NEVRA_V16(rows[t] + x);
        }
        NEVRA_V16_OUT(out + x) = a;
        widen(a);
    }
    if (x < n && n >= 16) {
        // The last few pixels as one more block ending at n; the pixels it shares with the
        // block before get the same values again (and count again in the range, harmlessly).
        x = n - 16;
        Floats16 a = {};
        for (int t = 0; t < taps; ++t) {
            a = a + weights[t] * NEVRA_V16(rows[t] + x);
        }
        NEVRA_V16_OUT(out + x) = a;
        widen(a);
        x = n;
    }
    if (range == nullptr) {
        for (; x < n; ++x) {
            float a = 0.0f;
            for (int t = 0; t < taps; ++t) {
                a = a + weights[t] * rows[t][x];
            }
            out[x] = a;
        }
        return;
    }
    float low = range[0];
    float high = range[1];
    for (int l = 0; l < 16; ++l) {
        low = lo[l] < low ? lo[l] : low;
        high = hi[l] > high ? hi[l] : high;
    }
    for (; x < n; ++x) {
        float a = 0.0f;
        for (int t = 0; t < taps; ++t) {
            a = a + weights[t] * rows[t][x];
        }
        out[x] = a;
        low = a < low ? a : low;
        high = a > high ? a : high;
    }
    range[0] = low;
    range[1] = high;
}

// Widens the running range [low, high] by the n values; NaN values take no part, as with
// one-by-one "if (v < low) low = v; if (v > high) high = v".
NEVRA_HOT_LOOP static void widenRange(const float* values, int n, float& low, float& high) {
    int i = 0;
    if (n >= 16) {
        Floats16 lo = low - Floats16{};
        Floats16 hi = high - Floats16{};
        // Blocks of sixteen, the last one ending at n (a value seen twice changes nothing).
        for (;; i += 16) {
            if (i + 16 > n) {
                i = n - 16;
            }
            const Floats16 v = NEVRA_V16(values + i);
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
            if (i + 16 >= n) {
                break;
            }
        }
        for (int l = 0; l < 16; ++l) {
            low = lo[l] < low ? lo[l] : low;
            high = hi[l] > high ? hi[l] : high;
        }
        return;
    }
    for (; i < n; ++i) {
        low = values[i] < low ? values[i] : low;
        high = values[i] > high ? values[i] : high;
    }
}

// Four floats in one value, for the interleaving shuffles.
typedef float Floats4 __attribute__((vector_size(16), aligned(4), may_alias));
typedef int Lanes4 __attribute__((vector_size(16)));

// out[2x] := a[x], out[2x + 1] := b[x] for x in [0, n).
NEVRA_HOT_LOOP static void interleave2(float* out, const float* a, const float* b, int n) {
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const Floats4 va = *reinterpret_cast<const Floats4*>(a + x);
        const Floats4 vb = *reinterpret_cast<const Floats4*>(b + x);
        *reinterpret_cast<Floats4*>(out + 2 * x) = NEVRA_SHUFFLE(Lanes4, va, vb, 0, 4, 1, 5);
        *reinterpret_cast<Floats4*>(out + 2 * x + 4) = NEVRA_SHUFFLE(Lanes4, va, vb, 2, 6, 3, 7);
    }
    for (; x < n; ++x) {
        out[2 * x] = a[x];
        out[2 * x + 1] = b[x];
    }
}

// out[3x] := a[x], out[3x + 1] := b[x], out[3x + 2] := c[x] for x in [0, n).
NEVRA_HOT_LOOP static void interleave3(float* out, const float* a, const float* b, const float* c,
                                       int n) {
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const Floats4 va = *reinterpret_cast<const Floats4*>(a + x);
        const Floats4 vb = *reinterpret_cast<const Floats4*>(b + x);
        const Floats4 vc = *reinterpret_cast<const Floats4*>(c + x);
        const Floats4 ab = NEVRA_SHUFFLE(Lanes4, va, vb, 0, 4, 1, 5);   // a0 b0 a1 b1
        const Floats4 bc = NEVRA_SHUFFLE(Lanes4, vb, vc, 1, 5, 2, 6);   // b1 c1 b2 c2
        const Floats4 ab3 = NEVRA_SHUFFLE(Lanes4, va, vb, 3, 7, 3, 7);  // a3 b3 a3 b3
        float* target = out + 3 * x;
        *reinterpret_cast<Floats4*>(target) = NEVRA_SHUFFLE(Lanes4, ab, vc, 0, 1, 4, 2);
        *reinterpret_cast<Floats4*>(target + 4) = NEVRA_SHUFFLE(Lanes4, bc, va, 0, 1, 6, 2);
        *reinterpret_cast<Floats4*>(target + 8) = NEVRA_SHUFFLE(Lanes4, ab3, vc, 6, 0, 1, 7);
    }
    for (; x < n; ++x) {
        out[3 * x] = a[x];
        out[3 * x + 1] = b[x];
        out[3 * x + 2] = c[x];
    }
}

// out[x] := (a[2x] + a[2x + 1] + b[2x] + b[2x + 1]) / 4 truncated, for x in [0, n): the 2 x 2
// block mean of two byte rows. REQUIRES: a and b hold 2n bytes.
NEVRA_HOT_LOOP static void halveBytes2x2(unsigned char* out, const unsigned char* a,
                                         const unsigned char* b, int n) {
    int x = 0;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Thirty-two byte pairs as sixteen-bit lanes: the low byte is the even element.
    typedef unsigned short Pairs32 __attribute__((vector_size(64), aligned(1), may_alias));
    typedef unsigned char Bytes32 __attribute__((vector_size(32), aligned(1), may_alias));
    for (; x + 32 <= n; x += 32) {
        const Pairs32 top = *reinterpret_cast<const Pairs32*>(a + 2 * x);
        const Pairs32 bottom = *reinterpret_cast<const Pairs32*>(b + 2 * x);
        const Pairs32 sum = (top & 0xFF) + (top >> 8) + (bottom & 0xFF) + (bottom >> 8);
        *reinterpret_cast<Bytes32*>(out + x) = __builtin_convertvector(sum >> 2, Bytes32);
    }
#endif
    for (; x < n; ++x) {
        const int i = 2 * x;
        out[x] = static_cast<unsigned char>((a[i] + a[i + 1] + b[i] + b[i + 1]) >> 2);
    }
}

// Copies a row of `count` three-byte pixels in reverse pixel order: sixteen pixels at a time by
// byte shuffles, the rest one by one.
NEVRA_HOT_LOOP static void reverseTriples(unsigned char* out, const unsigned char* in, int count) {
    typedef unsigned char Bytes16 __attribute__((vector_size(16), aligned(1), may_alias));
    // Output byte k of a block of 48 takes input byte 45 - 3 (k / 3) + k % 3; each output vector
    // draws from two overlapping input vectors that together hold the bytes it needs.
    auto load = [](const unsigned char* p) { return *reinterpret_cast<const Bytes16*>(p); };
    int j = 0;
    for (; j + 16 <= count; j += 16) {
        const unsigned char* block = in + 3LL * (count - 16 - j);
        unsigned char* target = out + 3LL * j;
        *reinterpret_cast<Bytes16*>(target) =
            NEVRA_SHUFFLE(Bytes16, load(block + 16), load(block + 32), 29, 30, 31, 26, 27, 28, 23,
                          24, 25, 20, 21, 22, 17, 18, 19, 14);
        *reinterpret_cast<Bytes16*>(target + 16) =
            NEVRA_SHUFFLE(Bytes16, load(block + 15), load(block + 17), 30, 31, 12, 13, 14, 9, 10,
                          11, 6, 7, 8, 3, 4, 5, 0, 1);
        *reinterpret_cast<Bytes16*>(target + 32) =
            NEVRA_SHUFFLE(Bytes16, load(block), load(block + 2), 31, 12, 13, 14, 9, 10, 11, 6, 7, 8,
                          3, 4, 5, 0, 1, 2);
    }
    for (; j < count; ++j) {
        std::memcpy(out + 3LL * j, in + 3LL * (count - 1 - j), 3);
    }
}

// Turns a width x height plane of three-byte pixels a quarter turn about z: the pixel (x, y) goes
// to row width - 1 - x, column y of a plane whose rows are height pixels long. Walks square tiles
// and fills each target row from left to right, moving four-byte words where the byte after a
// pixel is written again next (or in a later tile) and is readable.
NEVRA_HOT_LOOP static void turnTriples(unsigned char* out, const unsigned char* in, int width,
                                       int height) {
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

}  // namespace kernels
}  // namespace Nevra

#endif  // NEVRA_SRC_KERNELS_H
