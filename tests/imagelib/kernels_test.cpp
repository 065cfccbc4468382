// The hot loops of every code path this processor runs, against plain scalar versions of what
// they promise: row lengths around every vector and block width (whole blocks, the overlapping
// last block, the one-by-one tail), weights that add, subtract, fuse and multiply, and samples
// that are NaN, infinite, negative zero or subnormal. Results are compared bit for bit (any NaN
// equals any NaN: which of two NaN operands a sum passes on is the compiler's choice). The path the operations run is checked against NEVRA_ISA.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "image_test_support.h"
#include "kernels.h"

namespace Nevra {
namespace kernels {
namespace {

using nevra_test::bits;
using nevra_test::sameFloat;

constexpr int kLengths[] = {0,  1,  3,  4,   5,   7,   8,   15,  16,  17,  31,  32, 33,
                            63, 64, 65, 127, 128, 129, 130, 255, 256, 257, 300, 1022};

// Rows of samples for the terms: random floats of all signs and sizes below 2^100, with some
// special values sprinkled in (`specials` false leaves them out).
std::vector<float> samples(std::size_t count, unsigned seed, bool specials) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
    std::uniform_int_distribution<int> exponent(-140, 90);
    const float special[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), -0.0f, 0.0f, 1e-40f,
                             -1e-42f, 3.0e37f};
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned pick = random() % 64;
        out[i] = specials && pick < 3 ? special[random() % 8]
                 : pick < 12          ? std::ldexp(value(random), exponent(random))
                                      : value(random);
    }
    return out;
}

float plainSum(const std::vector<Term>& terms, int x) {
    float sum = 0.0f;
    for (const Term& t : terms)
        sum = sum + t.weight * t.row[x];
    return sum;
}

float plainLargest(const float* values, int n) {
    float largest = 0.0f;
    for (int i = 0; i < n; ++i)
        largest = std::fabs(values[i]) > largest ? std::fabs(values[i]) : largest;
    return largest;
}

void plainWiden(float v, float range[2]) {
    range[0] = v < range[0] ? v : range[0];
    range[1] = v > range[1] ? v : range[1];
}

// Weight sets: adds and subtractions only, exact powers of two, inexact weights, a mixture, a
// long one that alternates kinds more often than a plan has runs, and none at all (zeros).
std::vector<std::vector<Term>> termSets(const std::vector<float>& data, int width, bool bounded) {
    const float unit[] = {1, -1, 1, 1, -1};
    const float powers[] = {2, -4, 1, 0.5f, -2, 8};
    const float inexact[] = {0.37f, -1.5f, 3, 1e-3f};
    const float mixed[] = {1, 2, 1, 2, 4, 2, 1, 2, 1, 3, -7, 0.1f};
    std::vector<std::vector<Term>> sets(6);
    auto add = [&](std::vector<Term>& set, float w, int i) {
        // An exact product needs samples below 2^100 (true of `data` when bounded): powers of
        // two from 2 up, and 1 and -1, are exact then.
        const float m = std::fabs(w);
        int e = 0;
        const bool power = std::frexp(m, &e) == 0.5f && e >= 1;
        set.push_back({data.data() + (i % 7) * width + (i % 5), w, bounded && power});
    };
    for (int i = 0; i < 5; ++i) add(sets[0], unit[i], i);
    for (int i = 0; i < 6; ++i) add(sets[1], powers[i], i);
    for (int i = 0; i < 4; ++i) add(sets[2], inexact[i], i);
    for (int i = 0; i < 12; ++i) add(sets[3], mixed[i], i);
    for (int i = 0; i < 150; ++i) add(sets[4], i % 2 == 0 ? 2.0f : 0.3f * (i - 75), i);
    return sets;
}

class KernelsOnPath : public ::testing::TestWithParam<CodePath> {
protected:
    void SetUp() override {
        table = tableFor(GetParam());
        if (table == nullptr)
            GTEST_SKIP() << codePathName(GetParam()) << " does not run here";
    }
    const Table* table = nullptr;
};

TEST_P(KernelsOnPath, CorrelateRowMatchesTermByTermSums) {
    constexpr int kWidth = 1100;
    for (bool bounded : {true, false}) {
        // Unbounded rows hold infinities and huge values: nothing is marked exact then.
        // Seven rows for the terms and an eighth to look through meanwhile.
        const std::vector<float> data = samples(8 * kWidth, bounded ? 3 : 4, !bounded);
        const auto sets = termSets(data, kWidth, bounded);
        for (const auto& terms : sets) {
            for (int n : kLengths) {
                std::vector<float> out(n + 1, 12345.0f);
                float range[2] = {1e16f, -1e16f};
                float expectedRange[2] = {1e16f, -1e16f};
                Scan ahead{data.data() + 7 * kWidth, n + 3, -1.0f, true};
                table->correlateRow(out.data(), n, terms.data(), static_cast<int>(terms.size()),
                                    range, &ahead);
                EXPECT_EQ(ahead.largest, plainLargest(ahead.values, ahead.count)) << n;
                for (int x = 0; x < n; ++x) {
                    const float expected = plainSum(terms, x);
                    plainWiden(expected, expectedRange);
                    ASSERT_TRUE(sameFloat(expected, out[x]))
                        << "x " << x << " of " << n << ", " << terms.size() << " terms";
                }
                EXPECT_EQ(out[n], 12345.0f) << "wrote past the row";
                EXPECT_TRUE(sameFloat(expectedRange[0], range[0])) << n;
                EXPECT_TRUE(sameFloat(expectedRange[1], range[1])) << n;
                // Without a range, and with a row only fetched ahead, the values are the same.
                std::vector<float> plain(n + 1, 12345.0f);
                Scan fetched{data.data() + 7 * kWidth, n + 3, -1.0f, false};
                table->correlateRow(plain.data(), n, terms.data(),
                                    static_cast<int>(terms.size()), nullptr, &fetched);
                EXPECT_EQ(fetched.largest, -1.0f);
                for (int x = 0; x <= n; ++x)
                    ASSERT_TRUE(sameFloat(out[x], plain[x])) << x;
            }
        }
    }
}

// Row r's sum of the steps it takes, term by term.
float plainPairSum(const std::vector<TermPair>& steps, int r, int x) {
    float sum = 0.0f;
    for (const TermPair& s : steps) {
        if (s.present[r]) {
            sum = sum + s.weight[r] * s.row[x];
        }
    }
    return sum;
}

// Two rows of sums from steps that both rows take, and steps that only one does, built from the
// weight sets: each row's terms in their order, every third step taken by one row alone.
std::vector<TermPair> pairSteps(const std::vector<Term>& upper, const std::vector<Term>& lower) {
    std::vector<TermPair> steps;
    std::size_t a = 0, b = 0;
    for (int i = 0; a < upper.size() || b < lower.size(); ++i) {
        const bool first = a < upper.size() && (b == lower.size() || i % 3 != 2);
        const bool second = b < lower.size() && (a == upper.size() || i % 3 != 1);
        TermPair step{first ? upper[a].row : lower[b].row, {0.0f, 0.0f}, {false, false},
                      {first, second}};
        if (first) {
            step.weight[0] = upper[a].weight;
            step.exactProduct[0] = upper[a++].exactProduct;
        }
        if (second) {
            step.weight[1] = lower[b].weight;
            // A shared step reads the upper term's row, as bounded as the lower term's.
            step.exactProduct[1] = lower[b++].exactProduct;
        }
        steps.push_back(step);
    }
    return steps;
}

TEST_P(KernelsOnPath, CorrelateRowPairMatchesTermByTermSums) {
    ASSERT_NE(table->correlateRowPair, nullptr);
    ASSERT_NE(table->correlateInterleavedPair, nullptr);
    constexpr int kWidth = 1100;
    for (bool bounded : {true, false}) {
        // Seven rows for the terms, two more to look through meanwhile.
        const std::vector<float> data = samples(9 * kWidth, bounded ? 5 : 6, !bounded);
        const auto sets = termSets(data, kWidth, bounded);
        for (std::size_t set = 0; set < sets.size(); ++set) {
            const auto steps = pairSteps(sets[set], sets[(set + 3) % sets.size()]);
            ASSERT_LE(steps.size(), static_cast<std::size_t>(kMaxTermPairs));
            for (int n : kLengths) {
                std::vector<float> out(2 * n + 2, 12345.0f);
                float* out0 = out.data();
                float* out1 = out.data() + n + 1;
                float range[2] = {1e16f, -1e16f};
                float expectedRange[2] = {1e16f, -1e16f};
                // The second look covers nothing for some lengths, as past an image's last row.
                Scan ahead[2] = {{data.data() + 7 * kWidth, n + 3, -1.0f, true},
                                 {data.data() + 8 * kWidth, n % 3 == 0 ? 0 : n + 1, -1.0f, true}};
                table->correlateRowPair(out0, out1, n, steps.data(),
                                        static_cast<int>(steps.size()), range, ahead);
                for (const Scan& scan : ahead) {
                    EXPECT_EQ(scan.largest, plainLargest(scan.values, scan.count)) << n;
                }
                for (int x = 0; x < n; ++x) {
                    for (int r = 0; r < 2; ++r) {
                        const float expected = plainPairSum(steps, r, x);
                        plainWiden(expected, expectedRange);
                        ASSERT_TRUE(sameFloat(expected, (r == 0 ? out0 : out1)[x]))
                            << "x " << x << " row " << r << " of " << n << ", set " << set;
                    }
                }
                EXPECT_EQ(out0[n], 12345.0f) << "wrote past the first row";
                EXPECT_EQ(out1[n], 12345.0f) << "wrote past the second row";
                EXPECT_TRUE(sameFloat(expectedRange[0], range[0])) << n;
                EXPECT_TRUE(sameFloat(expectedRange[1], range[1])) << n;

                // The same sums pixel by pixel, the first row's before the second's.
                std::vector<float> mixed(2 * n + 1, 12345.0f);
                float mixedRange[2] = {1e16f, -1e16f};
                Scan again[2] = {ahead[0], ahead[1]};
                again[0].largest = again[1].largest = -1.0f;
                table->correlateInterleavedPair(mixed.data(), n, steps.data(),
                                                static_cast<int>(steps.size()), mixedRange, again);
                for (int i = 0; i < 2; ++i) {
                    EXPECT_EQ(again[i].largest, ahead[i].largest) << n;
                }
                for (int x = 0; x < n; ++x) {
                    ASSERT_TRUE(sameFloat(out0[x], mixed[2 * x])) << x << " of " << n;
                    ASSERT_TRUE(sameFloat(out1[x], mixed[2 * x + 1])) << x << " of " << n;
                }
                EXPECT_EQ(mixed[2 * n], 12345.0f) << "wrote past the row";
                EXPECT_TRUE(sameFloat(range[0], mixedRange[0])) << n;
                EXPECT_TRUE(sameFloat(range[1], mixedRange[1])) << n;
            }
        }
    }
}

TEST_P(KernelsOnPath, CorrelatePairAndRowMatchesTermByTermSums) {
    constexpr int kWidth = 1100;
    for (bool bounded : {true, false}) {
        const std::vector<float> data = samples(7 * kWidth, bounded ? 9 : 10, !bounded);
        const auto sets = termSets(data, kWidth, bounded);
        for (std::size_t set = 0; set < sets.size(); ++set) {
            const auto steps = pairSteps(sets[set], sets[(set + 3) % sets.size()]);
            const auto& terms = sets[(set + 1) % sets.size()];
            for (int n : kLengths) {
                float ranges[3][2] = {{1e16f, -1e16f}, {1e16f, -1e16f}, {1e16f, -1e16f}};
                float expected[3][2] = {{1e16f, -1e16f}, {1e16f, -1e16f}, {1e16f, -1e16f}};
                float* const bounds[3] = {ranges[0], ranges[1], ranges[2]};
                std::vector<float> out(3 * n + 1, 12345.0f);
                table->correlatePairAndRow(out.data(), n, steps.data(),
                                           static_cast<int>(steps.size()), terms.data(),
                                           static_cast<int>(terms.size()), bounds);
                for (int x = 0; x < n; ++x) {
                    const float v[3] = {plainPairSum(steps, 0, x), plainPairSum(steps, 1, x),
                                        plainSum(terms, x)};
                    for (int c = 0; c < 3; ++c) {
                        plainWiden(v[c], expected[c]);
                        ASSERT_TRUE(sameFloat(v[c], out[3 * x + c]))
                            << "x " << x << " channel " << c << ", n " << n << ", set " << set;
                    }
                }
                EXPECT_EQ(out[3 * n], 12345.0f) << "wrote past the row";
                for (int c = 0; c < 3; ++c) {
                    EXPECT_TRUE(sameFloat(expected[c][0], ranges[c][0])) << c << ", n " << n;
                    EXPECT_TRUE(sameFloat(expected[c][1], ranges[c][1])) << c << ", n " << n;
                }
            }
        }
    }
}

TEST_P(KernelsOnPath, RangesAndMagnitudesLeaveNaNOut) {
    for (int n : kLengths) {
        const std::vector<float> values = samples(n, 11 + n, true);
        float range[2] = {5.0f, 5.0f};
        float expected[2] = {5.0f, 5.0f};
        for (float v : values)
            plainWiden(v, expected);
        const float largest = plainLargest(values.data(), n);
        table->widenRange(values.data(), n, range);
        EXPECT_TRUE(sameFloat(expected[0], range[0])) << n;
        EXPECT_TRUE(sameFloat(expected[1], range[1])) << n;
        EXPECT_EQ(table->largestMagnitude(values.data(), n), largest) << n;
    }
}

TEST_P(KernelsOnPath, ScaleAndInterleaveMoveEveryValue) {
    for (int n : kLengths) {
        const std::vector<float> a = samples(n, 21, true);
        const std::vector<float> b = samples(n, 22, true);
        const std::vector<float> c = samples(n, 23, true);
        std::vector<float> scaled(n + 1, 9.0f);
        table->scaleRow(scaled.data(), a.data(), 0.37f, n);
        std::vector<float> triple(3 * n + 1, 9.0f);
        table->interleave3(triple.data(), a.data(), b.data(), c.data(), n);
        for (int x = 0; x < n; ++x) {
            ASSERT_TRUE(sameFloat(0.37f * a[x], scaled[x])) << x;
            ASSERT_EQ(bits(triple[3 * x]), bits(a[x]));
            ASSERT_EQ(bits(triple[3 * x + 1]), bits(b[x]));
            ASSERT_EQ(bits(triple[3 * x + 2]), bits(c[x]));
        }
        EXPECT_EQ(scaled[n], 9.0f);
        EXPECT_EQ(triple[3 * n], 9.0f);
    }
}

TEST_P(KernelsOnPath, BytesCopyHalveAndThreeBytePixelsReverseAndTurn) {
    std::mt19937 random(31);
    for (int n : kLengths) {
        // Three rows' worth, so that every length has whole steps of four vectors, single
        // vectors and a tail.
        std::vector<unsigned char> from(3 * n + 2), to(3 * n + 2, 77);
        for (auto& v : from)
            v = static_cast<unsigned char>(random());
        table->copyBytes(to.data() + 1, from.data() + 1, 3 * n);
        EXPECT_EQ(to[0], 77);
        EXPECT_TRUE(std::equal(from.begin() + 1, from.end() - 1, to.begin() + 1)) << 3 * n;
        EXPECT_EQ(to[3 * n + 1], 77);

        std::vector<unsigned char> a(2 * n), b(2 * n), half(n + 1, 77);
        for (int i = 0; i < 2 * n; ++i) {
            a[i] = static_cast<unsigned char>(random());
            b[i] = static_cast<unsigned char>(random());
        }
        table->halveBytes2x2(half.data(), a.data(), b.data(), n);
        for (int x = 0; x < n; ++x)
            ASSERT_EQ(half[x], (a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1]) / 4) << x;
        EXPECT_EQ(half[n], 77);

        std::vector<unsigned char> row(3 * n), reversed(3 * n + 1, 77);
        for (auto& v : row)
            v = static_cast<unsigned char>(random());
        table->reverseTriples(reversed.data(), row.data(), n);
        for (int x = 0; x < n; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(reversed[3 * x + k], row[3 * (n - 1 - x) + k]) << x;
        EXPECT_EQ(reversed[3 * n], 77);
    }
    for (int width : {1, 2, 31, 32, 33, 70}) {
        for (int height : {1, 3, 32, 45}) {
            std::vector<unsigned char> in(3 * width * height), out(3 * width * height + 1, 77);
            for (auto& v : in)
                v = static_cast<unsigned char>(random());
            table->turnTriples(out.data(), in.data(), width, height);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    for (int k = 0; k < 3; ++k)
                        ASSERT_EQ(out[3 * ((width - 1 - x) * height + y) + k],
                                  in[3 * (y * width + x) + k])
                            << width << "x" << height << " at " << x << "," << y;
            EXPECT_EQ(out[3 * width * height], 77);
        }
    }
}

// Every row length up to three of the widest blocks and a tail: each pixel made, none written
// outside the row, and the largest and smallest sums, put at every position in turn, reaching the
// range. The rows are whole numbers, so every sum is exact and a misplaced sample shows.
TEST_P(KernelsOnPath, EveryRowLengthIsFinished) {
    constexpr int kWidth = 420;
    std::vector<float> data(3 * kWidth);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<float>(static_cast<int>((i * 37) % 101) - 50);
    const float weights[] = {1, 2, 1, 2, 4, 2, 1, 2, -3};
    std::vector<Term> terms;
    for (int i = 0; i < 9; ++i)
        terms.push_back({data.data() + (i / 3) * kWidth + i % 3, weights[i], false});
    for (int n = 0; n <= 400; ++n) {
        for (int spike = 0; spike < n; spike += n / 7 + 1) {
            // The spike makes pixel `spike` the largest sum and pixel n - 1 - spike the smallest.
            std::vector<float> saved = data;
            data[kWidth + spike + 1] = 4000.0f;
            data[kWidth + (n - 1 - spike) + 1] = -4000.0f;
            std::vector<float> out(n + 2, 12345.0f);
            float range[2] = {1e16f, -1e16f};
            table->correlateRow(out.data() + 1, n, terms.data(), 9, range, nullptr);
            float expected[2] = {1e16f, -1e16f};
            for (int x = 0; x < n; ++x) {
                const float v = plainSum(terms, x);
                plainWiden(v, expected);
                ASSERT_EQ(v, out[x + 1]) << "x " << x << " of " << n;
            }
            EXPECT_EQ(out[0], 12345.0f) << "wrote before the row, n " << n;
            EXPECT_EQ(out[n + 1], 12345.0f) << "wrote past the row, n " << n;
            EXPECT_EQ(expected[0], range[0]) << n << " " << spike;
            EXPECT_EQ(expected[1], range[1]) << n << " " << spike;
            // The same sums as the first row of steps and as the third channel, interleaved,
            // with a second row of steps that takes one term fewer.
            const std::vector<Term> fewer(terms.begin() + 1, terms.end());
            const auto steps = pairSteps(terms, fewer);
            float ranges[3][2] = {{1e16f, -1e16f}, {1e16f, -1e16f}, {1e16f, -1e16f}};
            float* const bounds[3] = {ranges[0], ranges[1], ranges[2]};
            std::vector<float> mixed(3 * n + 2, 12345.0f);
            table->correlatePairAndRow(mixed.data() + 1, n, steps.data(),
                                       static_cast<int>(steps.size()), terms.data(), 9, bounds);
            for (int x = 0; x < n; ++x) {
                ASSERT_EQ(out[x + 1], mixed[3 * x + 1]) << x << " of " << n;
                ASSERT_EQ(plainPairSum(steps, 1, x), mixed[3 * x + 2]) << x << " of " << n;
                ASSERT_EQ(out[x + 1], mixed[3 * x + 3]) << x << " of " << n;
            }
            EXPECT_EQ(mixed[0], 12345.0f) << n;
            EXPECT_EQ(mixed[3 * n + 1], 12345.0f) << n;
            for (int c : {0, 2}) {
                EXPECT_EQ(expected[0], ranges[c][0]) << "channel " << c << ", " << n;
                EXPECT_EQ(expected[1], ranges[c][1]) << "channel " << c << ", " << n;
            }
            data = saved;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, KernelsOnPath,
                         ::testing::Values(CodePath::Baseline, CodePath::X86_64_V3,
                                           CodePath::X86_64_V4),
                         [](const ::testing::TestParamInfo<CodePath>& info) {
                             std::string name = codePathName(info.param);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The path the operations run: the one NEVRA_ISA names when the processor runs it, else the
// widest it runs at or below it; the widest it runs when NEVRA_ISA is not set.
TEST(CodePath, FollowsNevraIsaWithinWhatTheProcessorRuns) {
    int widest = 0;
    for (int p = 0; p < kCodePathCount; ++p)
        widest = tableFor(static_cast<CodePath>(p)) != nullptr ? p : widest;
    ASSERT_NE(tableFor(CodePath::Baseline), nullptr);
    int expected = widest;
    const char* request = std::getenv("NEVRA_ISA");
    const std::string asked = request != nullptr ? request : "";
    if (asked == "baseline" || asked == "x86-64")
        expected = 0;
    else if (asked == "v3" || asked == "x86-64-v3")
        expected = std::min(1, widest);
    else if (asked == "v4" || asked == "x86-64-v4")
        expected = std::min(2, widest);
    EXPECT_EQ(static_cast<int>(activeCodePath()), expected) << "NEVRA_ISA=" << asked;
    EXPECT_EQ(&active(), tableFor(activeCodePath()));
}

}  // namespace
}  // namespace kernels
}  // namespace Nevra
