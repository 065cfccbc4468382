// Filtering and derivatives: every result is checked against a plain per-pixel reference that
// follows the definitions (float sums in the stated order, zero weights skipped), and against
// closed forms: ramps, quadratics, constants.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "image_test_support.h"

namespace Nevra {
namespace {

using nevra_test::makeImage;

constexpr float kDefaultKernel[9] = {1, 2, 1, 0, 0, 0, -1, -2, -1};

// The elements of a result in memory order, as floats.
std::vector<float> contents(Image* image) {
    std::vector<float> out;
    image->resetPosition();
    float value;
    while (image->getNext(&value)) {
        out.push_back(value);
    }
    return out;
}

// `values` as a result of type `typeCode` holds them: as its setNext stores them.
std::vector<float> stored(const std::vector<float>& values, int typeCode) {
    std::unique_ptr<Image> image(createImage(typeCode));
    image->init(static_cast<int>(values.size()), 1, 1, 1, 1);
    for (float v : values)
        image->setNext(v);
    return contents(image.get());
}

void expectRange(Image* image, int channel, const std::vector<float>& values, int step = 1) {
    float low = 1e16f, high = -1e16f;
    for (std::size_t i = channel % step; i < values.size(); i += step) {
        low = std::min(low, values[i]);
        high = std::max(high, values[i]);
    }
    EXPECT_EQ(image->m_window_level[channel].low, low) << "channel " << channel;
    EXPECT_EQ(image->m_window_level[channel].high, high) << "channel " << channel;
}

// Frame 0 of an image read as one channel: I(x, y, z).
template <class T>
auto plane(const ImageBase<T>& image) {
    return [&image](int x, int y, int z) {
        return static_cast<float>(image.m_data[(z * image.m_dim[1] + y) * image.m_dim[0] + x]);
    };
}

// The sum over a size x size window of w(j, i) * f(x + i, y + j), rows j outer, columns i inner,
// zero weights skipped, in float; `transposed` takes the sample at (x + j, y + i).
template <class F>
float correlate(const float* w, int size, bool transposed, F f, int x, int y) {
    const int h = (size - 1) / 2;
    float sum = 0.0f;
    for (int j = -h; j <= h; ++j)
        for (int i = -h; i <= h; ++i)
            if (w[(j + h) * size + i + h] != 0.0f)
                sum = sum +
                      w[(j + h) * size + i + h] * (transposed ? f(x + j, y + i) : f(x + i, y + j));
    return sum;
}

template <class T>
std::vector<float> referenceFilter(const ImageBase<T>& image, const float* filter, int size) {
    const int W = image.m_dim[0], H = image.m_dim[1], h = (size - 1) / 2;
    std::vector<float> out;
    for (int z = 0; z < image.m_dim[2]; ++z)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                auto I = [&](int u, int v) { return plane(image)(u, v, z); };
                const bool inside = x >= h && x < W - h && y >= h && y < H - h;
                out.push_back(inside ? correlate(filter, size, false, I, x, y) : 0.0f);
            }
    return out;
}

// The border fill on a W x H x D plane of floats; a copy that would reach outside the image is
// skipped.
void referenceFillBorder(std::vector<float>& v, int W, int H, int D, int n) {
    for (int z = 0; z < D; ++z)
        for (int k = n; k >= 2; --k)
            for (int y = 0; y < H && k <= W - 1; ++y) {
                float* row = &v[(z * H + y) * W];
                row[k - 1] = row[k];
                row[W - k] = row[W - k - 1];
            }
    for (int z = 0; z < D; ++z)
        for (int k = n; k >= 2; --k)
            for (int x = 0; x < W && k <= H - 1; ++x) {
                v[(z * H + k - 1) * W + x] = v[(z * H + k) * W + x];
                v[(z * H + H - k) * W + x] = v[(z * H + H - k - 1) * W + x];
            }
}

// A, B per pixel; the outer ring is 0, and without keepSize it is left out.
template <class T>
std::vector<float> referenceGradient(const ImageBase<T>& image, const float* K, bool keepSize) {
    const int W = image.m_dim[0], H = image.m_dim[1], s = keepSize ? 0 : 1;
    std::vector<float> out;
    for (int z = 0; z < image.m_dim[2]; ++z)
        for (int y = s; y <= H - 1 - s; ++y)
            for (int x = s; x <= W - 1 - s; ++x) {
                auto I = [&](int u, int v) { return plane(image)(u, v, z); };
                const bool inner = x > 0 && y > 0 && x < W - 1 && y < H - 1;
                out.push_back(inner ? correlate(K, 3, false, I, x, y) : 0.0f);
                out.push_back(inner ? correlate(K, 3, true, I, x, y) : 0.0f);
            }
    return out;
}

// P, Q, R per pixel from the two channels of a W x H x D gradient.
std::vector<float> referenceHessian(const std::vector<float>& g, int W, int H, int D,
                                    const float* K) {
    std::vector<float> out;
    for (int z = 0; z < D; ++z)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                auto G0 = [&](int u, int v) { return g[((z * H + v) * W + u) * 2]; };
                auto G1 = [&](int u, int v) { return g[((z * H + v) * W + u) * 2 + 1]; };
                const bool inner = x > 0 && y > 0 && x < W - 1 && y < H - 1;
                out.push_back(inner ? correlate(K, 3, false, G0, x, y) : 0.0f);
                out.push_back(inner ? correlate(K, 3, true, G0, x, y) : 0.0f);
                out.push_back(inner ? correlate(K, 3, true, G1, x, y) : 0.0f);
            }
    return out;
}

// U, V, S (and with `append` the input value) per voxel, the weights taken in index order; the
// outer shell is 0.
template <class T>
std::vector<float> referenceGradient3D(const ImageBase<T>& image, const float* K, bool keepSize,
                                       bool append) {
    const int W = image.m_dim[0], H = image.m_dim[1], D = image.m_dim[2], s = keepSize ? 0 : 1;
    const auto I = plane(image);
    std::vector<float> out;
    for (int z = s; z <= D - 1 - s; ++z)
        for (int y = s; y <= H - 1 - s; ++y)
            for (int x = s; x <= W - 1 - s; ++x) {
                float u = 0.0f, v = 0.0f, w = 0.0f;
                const bool shell =
                    x == 0 || y == 0 || z == 0 || x == W - 1 || y == H - 1 || z == D - 1;
                for (int index = 0; index < 27 && !shell; ++index) {
                    const int r = index / 9 - 1, q = index / 3 % 3 - 1, p = index % 3 - 1;
                    if (K[index] != 0.0f) {
                        u = u + K[index] * I(x + r, y + q, z + p);
                        v = v + K[index] * I(x + p, y + r, z + q);
                        w = w + K[index] * I(x + p, y + q, z + r);
                    }
                }
                out.insert(out.end(), {u, v, w});
                if (append)
                    out.push_back(I(x, y, z));
            }
    return out;
}

// Equal bit for bit (any NaN equals any NaN).
void expectSameFloats(const std::vector<float>& expected, const std::vector<float>& got,
                      const std::string& what) {
    ASSERT_EQ(expected.size(), got.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_TRUE(nevra_test::sameFloat(expected[i], got[i])) << what << " at " << i;
}

// Rows shorter than the widest path's vector blocks, and rows long enough for whole blocks on
// every path, with the last block overlapping and a one-by-one tail.
constexpr int kWidths[] = {37, 131, 300};

// A width x 7 x 2 image. Floating-point ones get samples that are NaN, infinite, negative zero
// or so large that a product by 4 overflows, and -2 * 1.7e38 + 4 * 2^126 under kOverflow: the
// product 4 * 2^126 overflows, so the sum is infinite, while one fused multiply-add of the same
// terms would give a finite value. That pattern sits in a row read first and in one read later.
template <class T>
std::unique_ptr<ImageBase<T>> testImage(int width) {
    auto image = makeImage<T>(width, 7, 2, 1, 1, 41);
    if constexpr (std::is_floating_point_v<T>) {
        const float special[] = {std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(), -0.0f, 3.0e38f, -1.5e38f};
        for (int i = 0; i < 12; ++i)
            image->m_data[(i * 97) % image->m_image_size] = static_cast<T>(special[i % 5]);
        for (int y : {0, 3}) {
            image->m_data[y * width + width / 2] = static_cast<T>(1.7e38f);
            image->m_data[y * width + width / 2 + 1] = static_cast<T>(0x1p126f);
        }
    }
    return image;
}

// Weights that add, subtract, are exact powers of two, repeat a magnitude (multiplied once per
// row) or round, with zero weights inside.
constexpr float kSmooth[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
constexpr float kShared[9] = {3, -1, 3, 0.5f, 0, -0.5f, -3, 1, -3};
constexpr float kOverflow[9] = {-2, 4, 0, 0, 1, 0, 0, 0, 0};
constexpr float kUneven[9] = {0.5f, -1.25f, 0.0f, 2.0f, 0.125f, -3.0f, 0.0f, 1.5f, 0.75f};

template <class T>
class FilteringTyped : public ::testing::Test {};
TYPED_TEST_SUITE(FilteringTyped, nevra_test::ElementTypes);

// Every result type; a window of one weight has no border.
TYPED_TEST(FilteringTyped, FilteredImageMatchesReference) {
    const float two = 2.0f;
    float inexact[25], whole[25];
    for (int i = 0; i < 25; ++i) {
        inexact[i] = i % 4 == 0 ? 0.0f : 0.1f * (i - 12);
        whole[i] = static_cast<float>(1 + (i % 5) * (i / 5) % 7);
    }
    const std::pair<const float*, int> windows[] = {{&two, 1},    {kUneven, 3},   {kSmooth, 3},
                                                    {kShared, 3}, {kOverflow, 3}, {inexact, 5},
                                                    {whole, 5}};
    for (int width : kWidths) {
        const auto image = testImage<TypeParam>(width);
        for (int typeCode : {kTypeFloat, kTypeShort, kTypeByte, kTypeDouble}) {
            for (auto [filter, size] : windows) {
                const std::string what = "width " + std::to_string(width) + " type " +
                                         std::to_string(typeCode) + " size " + std::to_string(size);
                const std::vector<float> sums = referenceFilter(*image, filter, size);
                std::unique_ptr<Image> result(
                    image->computeFilteredImage(typeCode, filter, size, nullptr));
                ASSERT_NE(result, nullptr);
                EXPECT_EQ(result->m_position, width * 7 * 2);
                // The border fill works on the stored values.
                std::vector<float> expected = stored(sums, typeCode);
                referenceFillBorder(expected, width, 7, 2, (size - 1) / 2);
                expectSameFloats(expected, contents(result.get()), what);
                expectRange(result.get(), 0, sums);
            }
        }
    }
}

// Windows five and more wide sum two rows at a time, the rows checked for huge samples as they
// are looked at ahead; windows of more than 128 weights go row by row. Every row holds the
// overflow pattern of kOverflow for a 5 x 5 window (-2 * 1.7e38 + 4 * 2^126 is infinite), and
// the odd count of inner rows leaves one row to go alone.
TEST(Filtering, WideWindowsOnTallImagesMatchReference) {
    float overflow[25] = {-2, 4};
    overflow[12] = 1;
    float dense[169];
    for (int i = 0; i < 169; ++i)
        dense[i] = i % 3 == 0 ? 2.0f : 0.3f * (i % 11) - 1.0f;
    const std::pair<const float*, int> windows[] = {{overflow, 5}, {dense, 7}, {dense, 11},
                                                    {dense, 13}};
    for (int width : kWidths) {
        auto image = makeImage<float>(width, 23, 2, 1, 1, 17);
        for (int y = 0; y < 23 * 2; ++y) {
            const int x = (7 * y) % (width - 4);
            image->m_data[y * width + x] = 1.7e38f;
            image->m_data[y * width + x + 1] = 0x1p126f;
        }
        for (auto [filter, size] : windows) {
            const std::string what = "width " + std::to_string(width) + " size " +
                                     std::to_string(size);
            const std::vector<float> sums = referenceFilter(*image, filter, size);
            std::unique_ptr<Image> result(
                image->computeFilteredImage(kTypeFloat, filter, size, nullptr));
            ASSERT_NE(result, nullptr);
            std::vector<float> expected = sums;
            referenceFillBorder(expected, width, 23, 2, (size - 1) / 2);
            expectSameFloats(expected, contents(result.get()), what);
            expectRange(result.get(), 0, sums);
        }
    }
}

// Every height from 1 to 9 on three slices: the inner rows of each slice go in pairs and, for an
// odd count, one alone, with the look at the next rows ending at each slice's last row.
TEST(Filtering, EveryHeightMatchesReference) {
    float whole[25];
    for (int i = 0; i < 25; ++i)
        whole[i] = static_cast<float>(1 + (i % 5) * (i / 5) % 7);
    const std::pair<const float*, int> windows[] = {{kSmooth, 3}, {kUneven, 3}, {whole, 5}};
    for (int height = 1; height <= 9; ++height) {
        auto image = makeImage<float>(53, height, 3, 1, 1, 5 + height);
        for (auto [filter, size] : windows) {
            const std::string what = "height " + std::to_string(height) + " size " +
                                     std::to_string(size);
            const std::vector<float> sums = referenceFilter(*image, filter, size);
            std::unique_ptr<Image> result(
                image->computeFilteredImage(kTypeFloat, filter, size, nullptr));
            ASSERT_NE(result, nullptr) << what;
            std::vector<float> expected = sums;
            referenceFillBorder(expected, 53, height, 3, (size - 1) / 2);
            expectSameFloats(expected, contents(result.get()), what);
            expectRange(result.get(), 0, sums);
        }
    }
}

// Null stands for the default kernel.
TYPED_TEST(FilteringTyped, GradientAndHessianMatchReference) {
    for (int width : kWidths) {
        const auto image = testImage<TypeParam>(width);
        for (const float* kernel :
             {static_cast<const float*>(nullptr), kUneven, kSmooth, kShared, kOverflow}) {
            const float* k = kernel != nullptr ? kernel : kDefaultKernel;
            for (int typeCode : {kTypeFloat, kTypeShort}) {
                const std::string what = "width " + std::to_string(width) + " type " +
                                         std::to_string(typeCode) + " kernel " +
                                         std::to_string(k[0]);
                for (bool keepSize : {true, false}) {
                    const std::vector<float> expected = referenceGradient(*image, k, keepSize);
                    std::unique_ptr<Image> gradient(
                        image->computeGradient(typeCode, kernel, keepSize, nullptr));
                    ASSERT_NE(gradient, nullptr);
                    EXPECT_EQ(gradient->m_channels, 2);
                    EXPECT_EQ(gradient->m_dim[0], keepSize ? width : width - 2);
                    expectSameFloats(stored(expected, typeCode), contents(gradient.get()), what);
                    expectRange(gradient.get(), 0, expected);
                    expectRange(gradient.get(), 1, expected);
                }
                // The Hessian of a one-channel image goes through its gradient stored in the
                // result type.
                const std::vector<float> g = stored(referenceGradient(*image, k, true), typeCode);
                const std::vector<float> expected = referenceHessian(g, width, 7, 2, k);
                std::unique_ptr<Image> hessian(image->computeHessian(typeCode, kernel, nullptr));
                ASSERT_NE(hessian, nullptr);
                EXPECT_EQ(hessian->m_channels, 3);
                expectSameFloats(stored(expected, typeCode), contents(hessian.get()), what);
                for (int c = 0; c < 3; ++c)
                    expectRange(hessian.get(), c, expected, 3);
            }
        }
    }
}

TYPED_TEST(FilteringTyped, Gradient3DMatchesReference) {
    float kernel[27];
    for (int i = 0; i < 27; ++i)
        kernel[i] = i % 5 == 0 ? 0.0f : 0.37f * (i - 13);
    auto volume = makeImage<TypeParam>(35, 7, 6, 1, 1, 11);
    volume->m_verbose = 0;
    volume->setWindowLevel(-1.0f, 9.0f, 0);
    for (bool keepSize : {true, false}) {
        for (bool append : {false, true}) {
            const std::vector<float> expected =
                referenceGradient3D(*volume, kernel, keepSize, append);
            std::unique_ptr<Image> got(
                volume->computeGradient3D(kTypeFloat, kernel, keepSize, append, nullptr));
            EXPECT_EQ(got->m_dim[2], keepSize ? 6 : 4);
            EXPECT_EQ(contents(got.get()), expected) << keepSize << append;
            for (int c = 0; c < 3 && !append; ++c)
                expectRange(got.get(), c, expected);
            if (append) {
                EXPECT_EQ(got->m_window_level[3].low, -1.0f);
                EXPECT_EQ(got->m_window_level[3].high, 9.0f);
            }
        }
    }
}

// Windows and border widths beyond the image, and images without extent, are read and written
// nowhere outside.
TEST(Filtering, SmallAndEmptyImagesStayInside) {
    auto image = makeImage<short>(4, 3, 2, 1, 1, 4);
    std::vector<float> ones(81, 1.0f);
    for (int size : {5, 9, -1}) {
        std::unique_ptr<Image> result(
            image->computeFilteredImage(kTypeFloat, ones.data(), size, nullptr));
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(contents(result.get()), std::vector<float>(24, 0.0f)) << size;
    }
    for (int width : {3, 40}) {
        auto border = makeImage<int>(6, 5, 2, 1, 1, 8);
        std::vector<float> expected = contents(border.get());
        referenceFillBorder(expected, 6, 5, 2, width);
        border->fillBorder(width);
        EXPECT_EQ(contents(border.get()), expected) << width;
    }
    ImageBase<float> empty;
    empty.m_verbose = 0;
    empty.init(0, 4, 1, 1, 2);
    for (Image* result : {empty.computeFilteredImage(kTypeFloat, ones.data(), 1, nullptr),
                          empty.computeGradient(kTypeFloat, nullptr, true, nullptr),
                          empty.computeHessian(kTypeFloat, nullptr, nullptr),
                          empty.computeGradient3D(kTypeFloat, nullptr, true, false, nullptr)}) {
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->m_position, 0);
        delete result;
    }
}

// Without keepSize a result is two pixels smaller along every axis the derivative works across.
// An image narrower or lower than two pixels (or, in 3D, with fewer than two slices) has no
// such result: refused, whether an output is given or not. Two pixels give an empty result.
TEST(Gradient, ImagesTooSmallToShrinkAreRefused) {
    const struct {
        int x, y, z;
        bool threeD;
        bool refused;
    } rows[] = {{1, 5, 1, false, true}, {5, 1, 3, false, true},  {1, 1, 1, false, true},
                {0, 0, 1, false, true}, {2, 5, 1, false, false}, {5, 2, 1, false, false},
                {5, 5, 1, true, true},  {1, 5, 5, true, true},   {5, 1, 5, true, true},
                {0, 0, 0, true, true},  {5, 5, 2, true, false},  {2, 2, 2, true, false}};
    for (const auto& r : rows) {
        const std::string what = std::to_string(r.x) + "x" + std::to_string(r.y) + "x" +
                                 std::to_string(r.z) + (r.threeD ? " 3D" : "");
        auto image = makeImage<short>(r.x, r.y, r.z, 1, 1, 3);
        image->m_verbose = 0;
        auto output = makeImage<float>(3, 3, 3, 1, 4, 5);
        const std::vector<float> before = contents(output.get());
        for (Image* given : {static_cast<Image*>(nullptr), static_cast<Image*>(output.get())}) {
            CoutCapture out;
            Image* result = r.threeD
                                ? image->computeGradient3D(kTypeFloat, nullptr, false, true, given)
                                : image->computeGradient(kTypeFloat, nullptr, false, given);
            if (r.refused) {
                EXPECT_EQ(result, nullptr) << what;
                EXPECT_EQ(out.text(), "Error: image too small, cannot compute gradient!\n") << what;
                EXPECT_EQ(contents(output.get()), before) << what;
            } else {
                ASSERT_NE(result, nullptr) << what;
                EXPECT_EQ(out.text(), "") << what;
                if (given == nullptr) {
                    EXPECT_EQ(result->m_image_size, 0) << what;
                    EXPECT_EQ(result->m_dim[0], r.x - 2) << what;
                    delete result;
                }
            }
        }
    }
}

// On I(x, y) = x the default kernel gives A = 0 and B = -8 at every inner pixel.
TEST(Gradient, RampWithTheDefaultKernel) {
    auto ramp = std::make_unique<ImageBase<short>>();
    ramp->init(10, 8, 1, 1, 1);
    for (int i = 0; i < 80; ++i)
        ramp->m_data[i] = static_cast<short>(i % 10);
    ramp->setSpacing(0.5f, 0.25f, 2.0f, 1.0f);
    std::unique_ptr<Image> small(ramp->computeGradient(kTypeFloat, nullptr, false, nullptr));
    EXPECT_EQ(small->m_dim[0], 8);
    EXPECT_EQ(small->m_dim[1], 6);
    EXPECT_EQ(small->m_spacing[1], 0.25f);
    const std::vector<float> values = contents(small.get());
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(values[i], i % 2 == 0 ? 0.0f : -8.0f) << i;
}

TEST(Gradient, WritesAsSetNextIntoImagesHandedIn) {
    auto image = makeImage<float>(6, 5, 1, 1, 1, 3);
    const std::vector<float> all = contents(
        std::unique_ptr<Image>(image->computeGradient(kTypeFloat, nullptr, true, nullptr)).get());
    // Too small: the values beyond its end are dropped.
    auto small = std::make_unique<ImageBase<short>>();
    small->init(4, 2, 1, 1, 1);
    EXPECT_EQ(image->computeGradient(0, nullptr, true, small.get()), small.get());
    EXPECT_EQ(small->m_position, 8);
    EXPECT_EQ(contents(small.get()),
              stored(std::vector<float>(all.begin(), all.begin() + 8), kTypeShort));
    // Too large: the elements after the last value keep theirs.
    auto large = makeImage<double>(100, 1, 1, 1, 1, 4);
    std::vector<float> expected = contents(large.get());
    image->computeGradient(kTypeFloat, nullptr, true, large.get());
    EXPECT_EQ(large->m_position, 60);
    std::copy(all.begin(), all.end(), expected.begin());
    EXPECT_EQ(contents(large.get()), expected);
}

// Each operation asked to write into the image it reads gives what a separate output of the same
// geometry and contents gets: every value, the window/level records and the cursor. (A float
// image was read in place, so its values were overwritten before they were read.)
TYPED_TEST(FilteringTyped, WritingIntoTheImageItselfIsAsASeparateOutput) {
    using I = ImageBase<TypeParam>;
    if constexpr (std::is_signed_v<TypeParam>) {
        const float weights[25] = {1, 2, 0, -1, 3, 0, 1, 1, 2, 0, -2, 4, 5, 1, 1,
                                   0, 1, -3, 2, 0, 1, 1, 0, 2, 1};
        const std::function<Image*(I&, Image*)> operations[] = {
            [&](I& i, Image* o) { return i.computeFilteredImage(0, weights, 5, o); },
            [&](I& i, Image* o) { return i.computeFilteredImage(0, weights + 6, 3, o); },
            [](I& i, Image* o) { return i.computeGradient(0, nullptr, true, o); },
            [](I& i, Image* o) { return i.computeGradient(0, nullptr, false, o); },
            [](I& i, Image* o) { return i.computeHessian(kTypeFloat, nullptr, o); },
            [](I& i, Image* o) { return i.computeGradient3D(0, nullptr, true, true, o); },
            [](I& i, Image* o) { return i.computeGradient3D(0, nullptr, false, false, o); },
        };
        for (int channels : {1, 2}) {
            for (std::size_t n = 0; n < std::size(operations); ++n) {
                const std::string what = std::to_string(n) + ", channels " +
                                         std::to_string(channels);
                auto image = makeImage<TypeParam>(9, 7, 4, 1, channels, 11);
                auto separate = makeImage<TypeParam>(9, 7, 4, 1, channels, 11);
                image->m_verbose = separate->m_verbose = 0;
                auto source = makeImage<TypeParam>(9, 7, 4, 1, channels, 11);
                source->m_verbose = 0;
                CoutCapture out;
                EXPECT_EQ(operations[n](*source, separate.get()), separate.get()) << what;
                EXPECT_EQ(operations[n](*image, image.get()), image.get()) << what;
                EXPECT_EQ(nevra_test::elements(*image), nevra_test::elements(*separate)) << what;
                EXPECT_EQ(image->m_position, separate->m_position) << what;
                for (int c = 0; c < channels; ++c) {
                    EXPECT_EQ(image->m_window_level[c].low, separate->m_window_level[c].low);
                    EXPECT_EQ(image->m_window_level[c].high, separate->m_window_level[c].high);
                }
            }
        }
    }
}

// On I(x, y) = x * x the second derivative along x is constant (128 with the default kernel).
TEST(Hessian, QuadraticHasConstantSecondDerivative) {
    auto quadratic = std::make_unique<ImageBase<float>>();
    quadratic->init(12, 9, 1, 1, 1);
    for (int i = 0; i < 12 * 9; ++i)
        quadratic->m_data[i] = static_cast<float>(i % 12 * (i % 12));
    std::unique_ptr<Image> hessian(quadratic->computeHessian(kTypeFloat, nullptr, nullptr));
    for (int y = 2; y <= 6; ++y)
        for (int x = 2; x <= 9; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(hessian->getValue(x, y, 0, 0, c), c == 2 ? 128.0f : 0.0f);
}

// Values rising by 200 along x give U = -4000, stored as -128 and counted once per voxel; the
// warning comes whatever the verbosity.
TEST(Gradient3D, ClampsIntoBytesAndWarns) {
    auto ramp = std::make_unique<ImageBase<short>>();
    ramp->init(5, 4, 4, 1, 1);
    for (int i = 0; i < 80; ++i)
        ramp->m_data[i] = static_cast<short>(200 * (i % 5));
    for (int verbose : {0, 1}) {
        ramp->m_verbose = verbose;
        CoutCapture out;
        std::unique_ptr<Image> result(
            ramp->computeGradient3D(kTypeByte, nullptr, false, false, nullptr));
        EXPECT_EQ(
            out.text(),
            std::string(verbose ? "Computing 3D gradient...\nDone. Range = [-128..0]\n" : "") +
                "Warning: 12 values exceeded.\n");
        const std::vector<float> values = contents(result.get());
        ASSERT_EQ(values.size(), 36u);
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(values[i], i % 3 == 0 ? -128.0f : 0.0f) << i;
        expectRange(result.get(), 2, values);
    }
}

}  // namespace
}  // namespace Nevra
