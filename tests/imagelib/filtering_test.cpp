// Filtering and derivatives: every result is checked against a plain per-pixel reference that
// follows the definitions (float sums in the stated order, zero weights skipped), and against
// closed forms: ramps, quadratics, constants.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "imagebase.h"
#include "support/cout_capture.h"

namespace {

using Nevra::Image;
using Nevra::ImageBase;
using Nevra::kTypeByte;
using Nevra::kTypeDouble;
using Nevra::kTypeFloat;
using Nevra::kTypeInt;
using Nevra::kTypeShort;
using Nevra::kTypeUnsignedByte;

const float kSobel[9] = {1, 2, 1, 0, 0, 0, -1, -2, -1};

template <class T>
std::unique_ptr<ImageBase<T>> makeImage(int x, int y, int z, int c, unsigned seed) {
    auto image = std::make_unique<ImageBase<T>>();
    image->init(x, y, z, 1, c);
    std::mt19937 random(seed);
    for (int i = 0; i < image->m_image_size; ++i) {
        image->m_data[i] = static_cast<T>(random() % 100);
    }
    return image;
}

// What setNext stores for `value` in an element of the type with code `typeCode`, as a float.
float stored(float value, int typeCode) {
    const long long whole = static_cast<long long>(value);
    switch (typeCode) {
        case kTypeByte:
            return static_cast<signed char>(whole);
        case kTypeShort:
            return static_cast<short>(whole);
        case kTypeInt:
            return static_cast<float>(static_cast<int>(whole));
        default:
            return value;
    }
}

// The elements of a result in memory order, as floats.
std::vector<float> contents(Image* image) {
    std::vector<float> out;
    image->resetPosition();
    float value;
    while (image->getNext(&value))
        out.push_back(value);
    return out;
}

std::vector<float> stored(const std::vector<float>& values, int typeCode) {
    std::vector<float> out;
    for (float v : values)
        out.push_back(stored(v, typeCode));
    return out;
}

// Frame 0 of an image read as one channel: I(x, y, z).
template <class T>
struct Plane {
    const ImageBase<T>& image;
    float operator()(int x, int y, int z) const {
        return static_cast<float>(image.m_data[(z * image.m_dim[1] + y) * image.m_dim[0] + x]);
    }
};

template <class T>
std::vector<float> referenceFilter(const ImageBase<T>& image, const float* filter, int size) {
    const int W = image.m_dim[0], H = image.m_dim[1], D = image.m_dim[2], h = (size - 1) / 2;
    Plane<T> I{image};
    std::vector<float> out;
    for (int z = 0; z < D; ++z)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                float sum = 0.0f;
                if (x >= h && x < W - h && y >= h && y < H - h)
                    for (int j = -h; j <= h; ++j)
                        for (int i = -h; i <= h; ++i) {
                            const float w = filter[(j + h) * size + i + h];
                            if (w != 0.0f)
                                sum = sum + w * I(x + i, y + j, z);
                        }
                out.push_back(sum);
            }
    return out;
}

// The border fill on a W x H x D plane of floats; a copy that would reach outside the image is
// skipped.
void referenceFillBorder(std::vector<float>& v, int W, int H, int D, int n) {
    for (int z = 0; z < D; ++z)
        for (int y = 0; y < H; ++y)
            for (int k = n; k >= 2; --k) {
                if (k > W - 1)
                    continue;
                float* row = &v[(z * H + y) * W];
                row[k - 1] = row[k];
                row[W - k] = row[W - k - 1];
            }
    for (int z = 0; z < D; ++z)
        for (int x = 0; x < W; ++x)
            for (int k = n; k >= 2; --k) {
                if (k > H - 1)
                    continue;
                v[(z * H + k - 1) * W + x] = v[(z * H + k) * W + x];
                v[(z * H + H - k) * W + x] = v[(z * H + H - k - 1) * W + x];
            }
}

// A, B per pixel as computeGradient defines them.
template <class T>
std::vector<float> referenceGradient(const ImageBase<T>& image, const float* K, bool keepSize) {
    const int W = image.m_dim[0], H = image.m_dim[1], D = image.m_dim[2], s = keepSize ? 0 : 1;
    Plane<T> I{image};
    std::vector<float> out;
    for (int z = 0; z < D; ++z)
        for (int y = s; y <= H - 1 - s; ++y)
            for (int x = s; x <= W - 1 - s; ++x) {
                float a = 0.0f, b = 0.0f;
                if (!(x == 0 || y == 0 || x == W - 1 || y == H - 1))
                    for (int r = 0; r < 3; ++r)
                        for (int q = 0; q < 3; ++q)
                            if (K[3 * r + q] != 0.0f) {
                                a = a + K[3 * r + q] * I(x + q - 1, y + r - 1, z);
                                b = b + K[3 * r + q] * I(x + r - 1, y + q - 1, z);
                            }
                out.push_back(a);
                out.push_back(b);
            }
    return out;
}

// P, Q, R per pixel from a two-channel gradient image of W x H x D.
std::vector<float> referenceHessian(const std::vector<float>& g, int W, int H, int D,
                                    const float* K) {
    auto G = [&](int ch, int x, int y, int z) { return g[((z * H + y) * W + x) * 2 + ch]; };
    std::vector<float> out;
    for (int z = 0; z < D; ++z)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                float p = 0.0f, q = 0.0f, r = 0.0f;
                if (!(x == 0 || y == 0 || x == W - 1 || y == H - 1))
                    for (int i = 0; i < 3; ++i)
                        for (int j = 0; j < 3; ++j)
                            if (K[3 * i + j] != 0.0f) {
                                p = p + K[3 * i + j] * G(0, x + j - 1, y + i - 1, z);
                                q = q + K[3 * i + j] * G(0, x + i - 1, y + j - 1, z);
                                r = r + K[3 * i + j] * G(1, x + i - 1, y + j - 1, z);
                            }
                out.push_back(p);
                out.push_back(q);
                out.push_back(r);
            }
    return out;
}

// U, V, S per voxel, the weights taken in index order.
template <class T>
std::vector<float> referenceGradient3D(const ImageBase<T>& image, const float* K, bool keepSize) {
    const int W = image.m_dim[0], H = image.m_dim[1], D = image.m_dim[2], s = keepSize ? 0 : 1;
    Plane<T> I{image};
    std::vector<float> out;
    for (int z = s; z <= D - 1 - s; ++z)
        for (int y = s; y <= H - 1 - s; ++y)
            for (int x = s; x <= W - 1 - s; ++x) {
                float u = 0.0f, v = 0.0f, w = 0.0f;
                const bool shell =
                    x == 0 || y == 0 || z == 0 || x == W - 1 || y == H - 1 || z == D - 1;
                for (int index = 0; index < 27 && !shell; ++index) {
                    const int r = index / 9, q = index / 3 % 3, p = index % 3;
                    if (K[index] == 0.0f)
                        continue;
                    u = u + K[index] * I(x + r - 1, y + q - 1, z + p - 1);
                    v = v + K[index] * I(x + p - 1, y + r - 1, z + q - 1);
                    w = w + K[index] * I(x + p - 1, y + q - 1, z + r - 1);
                }
                out.push_back(u);
                out.push_back(v);
                out.push_back(w);
            }
    return out;
}

void expectRange(Image* image, int channel, float low, float high) {
    EXPECT_EQ(image->m_window_level[channel].low, low) << "channel " << channel;
    EXPECT_EQ(image->m_window_level[channel].high, high) << "channel " << channel;
}

template <class T>
class FilteringTyped : public ::testing::Test {};

using ElementTypes =
    ::testing::Types<char, unsigned char, short, unsigned short, int, unsigned int, float, double>;
TYPED_TEST_SUITE(FilteringTyped, ElementTypes);

TYPED_TEST(FilteringTyped, FilteredImageMatchesReferenceInEveryResultType) {
    // Sizes that leave partial vector blocks; windows with zero weights inside.
    const float small[9] = {0.5f, -1.25f, 0.0f, 2.0f, 0.125f, -3.0f, 0.0f, 1.5f, 0.75f};
    float wide[25];
    for (int i = 0; i < 25; ++i)
        wide[i] = i % 4 == 0 ? 0.0f : 0.1f * (i - 12);
    for (int typeCode : {kTypeFloat, kTypeShort, kTypeByte, kTypeDouble}) {
        const std::pair<const float*, int> windows[] = {{small, 3}, {wide, 5}};
        for (auto [filter, size] : windows) {
            auto image = makeImage<TypeParam>(83, 9, 2, 1, 17);
            std::vector<float> expected = referenceFilter(*image, filter, size);
            float low = 1e16f, high = -1e16f;
            for (float v : expected)
                low = std::min(low, v), high = std::max(high, v);
            std::unique_ptr<Image> result(
                image->computeFilteredImage(typeCode, filter, size, nullptr));
            ASSERT_NE(result, nullptr);
            EXPECT_EQ(result->m_position, 83 * 9 * 2);
            // The border fill works on the stored values.
            expected = stored(expected, typeCode);
            referenceFillBorder(expected, 83, 9, 2, (size - 1) / 2);
            EXPECT_EQ(contents(result.get()), expected) << "type " << typeCode << " " << size;
            expectRange(result.get(), 0, low, high);
        }
    }
}

TYPED_TEST(FilteringTyped, GradientAndHessianMatchReference) {
    const float kernel[9] = {0.5f, 2.0f, 0.0f, -1.0f, 0.0f, 3.0f, 0.25f, -2.0f, -0.5f};
    for (int typeCode : {kTypeFloat, kTypeShort}) {
        for (bool keepSize : {true, false}) {
            auto image = makeImage<TypeParam>(37, 6, 2, 1, 5);
            const std::vector<float> expected = referenceGradient(*image, kernel, keepSize);
            std::unique_ptr<Image> gradient(
                image->computeGradient(typeCode, kernel, keepSize, nullptr));
            ASSERT_NE(gradient, nullptr);
            EXPECT_EQ(gradient->m_channels, 2);
            EXPECT_EQ(gradient->m_dim[0], keepSize ? 37 : 35);
            EXPECT_EQ(contents(gradient.get()), stored(expected, typeCode));
            const auto [low, high] = std::minmax_element(expected.begin(), expected.end());
            expectRange(gradient.get(), 0, *low, *high);
            expectRange(gradient.get(), 1, *low, *high);
        }
        // The Hessian of a one-channel image goes through its gradient stored in the result type.
        auto image = makeImage<TypeParam>(37, 6, 2, 1, 6);
        const std::vector<float> g = stored(referenceGradient(*image, kernel, true), typeCode);
        const std::vector<float> expected = referenceHessian(g, 37, 6, 2, kernel);
        std::unique_ptr<Image> hessian(image->computeHessian(typeCode, kernel, nullptr));
        ASSERT_NE(hessian, nullptr);
        EXPECT_EQ(hessian->m_channels, 3);
        EXPECT_EQ(contents(hessian.get()), stored(expected, typeCode)) << "type " << typeCode;
        for (int c = 0; c < 3; ++c) {
            float low = 1e16f, high = -1e16f;
            for (std::size_t i = c; i < expected.size(); i += 3)
                low = std::min(low, expected[i]), high = std::max(high, expected[i]);
            expectRange(hessian.get(), c, low, high);
        }
    }
}

TEST(FilteredImage, DesignExamples) {
    auto image = makeImage<float>(5, 5, 1, 1, 2);
    const float two = 2.0f;
    std::unique_ptr<Image> doubled(image->computeFilteredImage(kTypeFloat, &two, 1, nullptr));
    const std::vector<float> values = contents(doubled.get());
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(values[i], 2 * image->m_data[i]);
    const auto [low, high] = std::minmax_element(image->m_data, image->m_data + 25);
    expectRange(doubled.get(), 0, 2 * *low, 2 * *high);

    // Window 5 on 7 x 7: columns and then rows 1 and 5 repeat their inner neighbours.
    auto seven = makeImage<float>(7, 7, 1, 1, 3);
    float ones[25];
    std::fill(ones, ones + 25, 1.0f);
    std::unique_ptr<Image> box(seven->computeFilteredImage(kTypeFloat, ones, 5, nullptr));
    const std::vector<float> b = contents(box.get());
    auto at = [&](int x, int y) { return b[y * 7 + x]; };
    EXPECT_EQ(at(1, 3), at(2, 3));
    EXPECT_EQ(at(5, 3), at(4, 3));
    EXPECT_EQ(at(3, 1), at(3, 2));
    EXPECT_EQ(at(5, 5), at(4, 4));
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(at(0, k), 0.0f);
        EXPECT_EQ(at(6, k), 0.0f);
        EXPECT_EQ(at(k, 0), 0.0f);
        EXPECT_EQ(at(k, 6), 0.0f);
    }
}

TEST(FilteredImage, RefusalsPrintTheirLineAndReturnNull) {
    auto image = makeImage<float>(5, 5, 1, 1, 2);
    const float filter[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    struct Case {
        int typeCode;
        const float* filter;
        int size;
        const char* line;
    };
    const Case cases[] = {
        {kTypeUnsignedByte, filter, 3,
         "Error: unsigned data type, cannot compute filtered image!\n"},
        {Nevra::kTypeUnsignedInt, nullptr, 2,
         "Error: unsigned data type, cannot compute filtered image!\n"},
        {kTypeFloat, nullptr, 3, "Error: Cannot compute filtered image without filter!\n"},
        {kTypeFloat, filter, 2, "Error: Window size must be an odd number!\n"},
        {kTypeShort, filter, 0, "Error: Window size must be an odd number!\n"},
        {kTypeFloat, filter, -4, "Error: Window size must be an odd number!\n"},
        {0, filter, 3, "Error: unknown data type, cannot compute filtered image!\n"},
        {0x1408, filter, 3, "Error: unknown data type, cannot compute filtered image!\n"},
    };
    for (const Case& k : cases) {
        CoutCapture out;
        EXPECT_EQ(image->computeFilteredImage(k.typeCode, k.filter, k.size, nullptr), nullptr);
        EXPECT_EQ(out.text(), k.line);
    }
    // A refused window leaves an output handed in untouched.
    auto output = makeImage<float>(5, 5, 1, 1, 9);
    const std::vector<float> before = contents(output.get());
    output->m_position = 3;
    CoutCapture out;
    EXPECT_EQ(image->computeFilteredImage(kTypeFloat, filter, 4, output.get()), nullptr);
    EXPECT_EQ(contents(output.get()), before);
}

TEST(FilteredImage, WindowsWiderThanTheImageAndNegativeWindowsStayInside) {
    auto image = makeImage<short>(4, 3, 2, 1, 4);
    std::vector<float> filter(81, 1.0f);
    for (int size : {5, 7, 9, -1, -3}) {
        std::unique_ptr<Image> result(
            image->computeFilteredImage(kTypeFloat, filter.data(), size, nullptr));
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(contents(result.get()), std::vector<float>(24, 0.0f)) << size;
    }
}

TEST(FilteredImage, EmptyImagesAndImagesWithoutStorage) {
    const float one = 1.0f;
    ImageBase<float> empty;
    empty.m_verbose = 0;
    empty.init(0, 4, 1, 1, 2);
    for (Image* result : {empty.computeFilteredImage(kTypeFloat, &one, 1, nullptr),
                          empty.computeGradient(kTypeFloat, nullptr, true, nullptr),
                          empty.computeHessian(kTypeFloat, nullptr, nullptr),
                          empty.computeGradient3D(kTypeFloat, nullptr, true, false, nullptr)}) {
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->m_position, 0);
        delete result;
    }
    // Extents but no channels: there is nothing to read.
    ImageBase<short> hollow;
    hollow.init(3, 3, 1, 1, 0);
    CoutCapture out;
    EXPECT_EQ(hollow.computeFilteredImage(kTypeFloat, &one, 1, nullptr), nullptr);
    EXPECT_EQ(hollow.computeHessian(kTypeFloat, nullptr, nullptr), nullptr);
    EXPECT_EQ(out.text(),
              "Error: no image data, cannot compute filtered image!\n"
              "Error: no image data, cannot compute hessian!\n");
}

TEST(FilteredImage, ZeroWeightsKeepNonFiniteValuesOut) {
    auto image = makeImage<float>(5, 5, 1, 1, 2);
    image->m_data[2 * 5 + 2] = std::numeric_limits<float>::quiet_NaN();
    image->m_data[1 * 5 + 1] = std::numeric_limits<float>::infinity();
    const float ring[9] = {0, 1, 0, 1, 0, 1, 0, 1, 0};
    std::unique_ptr<Image> result(image->computeFilteredImage(kTypeFloat, ring, 3, nullptr));
    EXPECT_TRUE(std::isfinite(result->getValue(2, 2, 0, 0, 0)));
    EXPECT_TRUE(std::isfinite(result->getValue(1, 1, 0, 0, 0)));
    EXPECT_TRUE(std::isnan(result->getValue(2, 1, 0, 0, 0)));
}

TEST(FillBorder, WidthsBeyondHalfTheImageOnlyMoveInsideValues) {
    for (int width : {2, 3, 5, 40}) {
        auto image = makeImage<int>(6, 5, 2, 1, 8);
        std::vector<float> expected = contents(image.get());
        referenceFillBorder(expected, 6, 5, 2, width);
        image->fillBorder(width);
        EXPECT_EQ(contents(image.get()), expected) << width;
    }
    auto flat = makeImage<float>(3, 1, 1, 1, 1);
    flat->fillBorder(1000);  // nothing to repeat into, nothing outside touched
}

TEST(Gradient, RampSizesRefusalsAndDefaultKernel) {
    auto ramp = std::make_unique<ImageBase<short>>();
    ramp->init(10, 8, 1, 1, 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            ramp->setValue(x, x, y, 0, 0, 0);
    ramp->setSpacing(0.5f, 0.25f, 2.0f, 1.0f);
    std::unique_ptr<Image> small(ramp->computeGradient(kTypeFloat, nullptr, false, nullptr));
    EXPECT_EQ(small->m_dim[0], 8);
    EXPECT_EQ(small->m_dim[1], 6);
    EXPECT_EQ(small->m_spacing[1], 0.25f);
    const std::vector<float> values = contents(small.get());
    for (std::size_t i = 0; i < values.size(); i += 2) {
        ASSERT_EQ(values[i], 0.0f);
        ASSERT_EQ(values[i + 1], -8.0f);
    }
    std::unique_ptr<Image> same(ramp->computeGradient(kTypeFloat, nullptr, true, nullptr));
    EXPECT_EQ(same->m_dim[0], 10);
    EXPECT_EQ(same->getValue(0, 3, 0, 0, 1), 0.0f);
    EXPECT_EQ(same->getValue(4, 3, 0, 0, 1), -8.0f);
    expectRange(same.get(), 1, -8.0f, 0.0f);

    CoutCapture out;
    EXPECT_EQ(ramp->computeGradient(Nevra::kTypeUnsignedShort, nullptr, true, nullptr), nullptr);
    EXPECT_EQ(ramp->computeGradient3D(Nevra::kTypeUnsignedShort, nullptr, true, false, nullptr),
              nullptr);
    EXPECT_EQ(ramp->computeHessian(kTypeUnsignedByte, nullptr, nullptr), nullptr);
    // Type code 0 stands for m_type, which nothing sets: no element type, no result.
    EXPECT_EQ(ramp->computeGradient(0, nullptr, true, nullptr), nullptr);
    EXPECT_EQ(out.text(),
              "Error: unsigned data type, cannot compute gradient!\n"
              "Error: unsigned data type, cannot compute gradient!\n"
              "Error: unsigned data type, cannot compute hessian!\n"
              "Error: unknown data type, cannot compute gradient!\n");
}

TEST(Gradient, WritesAsSetNextIntoImagesHandedIn) {
    auto ramp = makeImage<float>(6, 5, 1, 1, 3);
    const std::vector<float> all = contents(
        std::unique_ptr<Image>(ramp->computeGradient(kTypeFloat, nullptr, true, nullptr)).get());
    // Too small: the values beyond its end are dropped.
    auto small = std::make_unique<ImageBase<short>>();
    small->init(4, 2, 1, 1, 1);
    EXPECT_EQ(ramp->computeGradient(0, nullptr, true, small.get()), small.get());
    EXPECT_EQ(small->m_position, 8);
    EXPECT_EQ(contents(small.get()),
              stored(std::vector<float>(all.begin(), all.begin() + 8), kTypeShort));
    // Too large: the elements after the last value keep theirs.
    auto large = makeImage<double>(100, 1, 1, 1, 4);
    const std::vector<float> before = contents(large.get());
    ramp->computeGradient(kTypeFloat, nullptr, true, large.get());
    EXPECT_EQ(large->m_position, 60);
    std::vector<float> expected = all;
    expected.insert(expected.end(), before.begin() + 60, before.end());
    EXPECT_EQ(contents(large.get()), expected);
}

TEST(Hessian, QuadraticHasConstantSecondDerivativeAndGradientInputsAgree) {
    auto quadratic = std::make_unique<ImageBase<float>>();
    quadratic->init(12, 9, 1, 1, 1);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            quadratic->setValue(static_cast<float>(x * x), x, y, 0, 0, 0);
    std::unique_ptr<Image> hessian(quadratic->computeHessian(kTypeFloat, nullptr, nullptr));
    for (int y = 2; y <= 6; ++y)
        for (int x = 2; x <= 9; ++x) {
            EXPECT_EQ(hessian->getValue(x, y, 0, 0, 0), 0.0f);
            EXPECT_EQ(hessian->getValue(x, y, 0, 0, 1), 0.0f);
            EXPECT_EQ(hessian->getValue(x, y, 0, 0, 2), 128.0f);
        }
    std::unique_ptr<Image> gradient(quadratic->computeGradient(kTypeFloat, nullptr, true, nullptr));
    std::unique_ptr<Image> again(gradient->computeHessian(kTypeFloat, nullptr, nullptr));
    EXPECT_EQ(contents(again.get()), contents(hessian.get()));
}

TEST(Gradient3D, ClampsIntoBytesAndWarnsWhateverVerbosity) {
    auto ramp = std::make_unique<ImageBase<short>>();
    ramp->init(5, 4, 4, 1, 1);
    ramp->m_verbose = 0;
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                ramp->setValue(200.0f * x, x, y, z, 0, 0);
    CoutCapture out;
    std::unique_ptr<Image> result(
        ramp->computeGradient3D(kTypeByte, nullptr, false, false, nullptr));
    EXPECT_EQ(out.text(), "Warning: 12 values exceeded.\n");
    const std::vector<float> values = contents(result.get());
    ASSERT_EQ(values.size(), 36u);
    for (std::size_t i = 0; i < values.size(); i += 3) {
        EXPECT_EQ(values[i], -128.0f);
        EXPECT_EQ(values[i + 1], 0.0f);
        EXPECT_EQ(values[i + 2], 0.0f);
    }
    expectRange(result.get(), 2, -128.0f, 0.0f);
}

TEST(Gradient3D, AppendedValueVerboseLinesAndReference) {
    auto ramp = std::make_unique<ImageBase<float>>();
    ramp->init(4, 4, 4, 1, 1);
    for (int i = 0; i < 64; ++i)
        ramp->m_data[i] = static_cast<float>(i % 4);
    ramp->setWindowLevel(-1.0f, 9.0f, 0);
    CoutCapture out;
    std::unique_ptr<Image> result(
        ramp->computeGradient3D(kTypeFloat, nullptr, false, true, nullptr));
    EXPECT_EQ(out.text(), "Computing 3D gradient...\nDone. Range = [-20..0]\n");
    ASSERT_EQ(result->m_dim[0], 2);
    ASSERT_EQ(result->m_dim[2], 2);
    ASSERT_EQ(result->m_channels, 4);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(result->getValue(x, y, z, 0, 3),
                          ramp->getValue(x + 1, y + 1, z + 1, 0, 0));
    expectRange(result.get(), 3, -1.0f, 9.0f);
    expectRange(result.get(), 0, -20.0f, 0.0f);

    float kernel[27];
    for (int i = 0; i < 27; ++i)
        kernel[i] = i % 5 == 0 ? 0.0f : 0.37f * (i - 13);
    for (bool keepSize : {true, false}) {
        auto volume = makeImage<unsigned short>(35, 7, 6, 1, 11);
        volume->m_verbose = 0;
        const std::vector<float> expected = referenceGradient3D(*volume, kernel, keepSize);
        std::unique_ptr<Image> got(
            volume->computeGradient3D(kTypeFloat, kernel, keepSize, false, nullptr));
        EXPECT_EQ(contents(got.get()), expected) << keepSize;
        const auto [low, high] = std::minmax_element(expected.begin(), expected.end());
        for (int c = 0; c < 3; ++c)
            expectRange(got.get(), c, *low, *high);
    }
}

}  // namespace
