// Geometric operations: downsampling, quarter turns, power-of-two padding, mirroring and
// interpolation, checked against plain index arithmetic and closed forms.

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "imagebase.h"
#include "support/cout_capture.h"

namespace {

using Nevra::ImageBase;

// An image of the given geometry whose elements are small distinct whole numbers (valid in every
// element type), or random values in [0, 100) when `seed` is non-zero.
template <class T>
std::unique_ptr<ImageBase<T>> makeImage(int x, int y, int z, int t, int c, unsigned seed = 0) {
    auto image = std::make_unique<ImageBase<T>>();
    image->init(x, y, z, t, c);
    std::mt19937 random(seed);
    for (int i = 0; i < image->m_image_size; ++i) {
        image->m_data[i] = seed == 0 ? static_cast<T>(i % 97) : static_cast<T>(random() % 100);
    }
    return image;
}

template <class T>
std::vector<T> elements(const ImageBase<T>& image) {
    return std::vector<T>(image.m_data, image.m_data + image.m_image_size);
}

template <class T>
class GeometryTyped : public ::testing::Test {};

using ElementTypes =
    ::testing::Types<char, unsigned char, short, unsigned short, int, unsigned int, float, double>;
TYPED_TEST_SUITE(GeometryTyped, ElementTypes);

// The block mean by the definition: one float sum per target element, fed in the order dt, dz,
// dy, dx, then divided and converted.
template <class T>
std::vector<T> referenceDownsample(const ImageBase<T>& in, int fx, int fy, int fz, int ft) {
    const int nx = in.m_dim[0] / fx, ny = in.m_dim[1] / fy, nz = in.m_dim[2] / fz,
              nt = in.m_dim[3] / ft, C = in.m_channels;
    std::vector<T> out;
    for (int t = 0; t < nt; ++t)
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x)
                    for (int c = 0; c < C; ++c) {
                        float sum = 0.0f;
                        for (int dt = 0; dt < ft; ++dt)
                            for (int dz = 0; dz < fz; ++dz)
                                for (int dy = 0; dy < fy; ++dy)
                                    for (int dx = 0; dx < fx; ++dx)
                                        sum = static_cast<float>(
                                            sum + in.element(x * fx + dx, y * fy + dy, z * fz + dz,
                                                             t * ft + dt, c));
                        const float mean = sum / (fx * fy * fz * ft);
                        if constexpr (std::is_floating_point_v<T>) {
                            out.push_back(static_cast<T>(mean));
                        } else {
                            out.push_back(static_cast<T>(static_cast<long long>(mean)));
                        }
                    }
    return out;
}

TYPED_TEST(GeometryTyped, DownsampleMatchesBlockMeans) {
    struct Case {
        int x, y, z, t, c, fx, fy, fz, ft;
    };
    const Case cases[] = {{5, 4, 1, 1, 1, 2, 2, 1, 1}, {67, 5, 1, 1, 1, 2, 2, 1, 1},
                          {7, 6, 3, 2, 3, 3, 2, 1, 1}, {6, 5, 4, 3, 2, 1, 1, 2, 3},
                          {9, 4, 2, 1, 1, 9, 4, 2, 1}, {4, 4, 1, 1, 1, 5, 1, 1, 1}};
    for (const Case& k : cases) {
        auto image = makeImage<TypeParam>(k.x, k.y, k.z, k.t, k.c, 3);
        const std::vector<TypeParam> expected = referenceDownsample(*image, k.fx, k.fy, k.fz, k.ft);
        std::unique_ptr<ImageBase<TypeParam>> copy(image->downsample(k.fx, k.fy, k.fz, k.ft, true));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(elements(*copy), expected) << k.x << "x" << k.y << " by " << k.fx << k.fy;
        image->m_verbose = 0;
        EXPECT_EQ(image->downsample(k.fx, k.fy, k.fz, k.ft, false), nullptr);
        EXPECT_EQ(elements(*image), expected);
        EXPECT_EQ(image->m_image_size, static_cast<int>(expected.size()));
        EXPECT_EQ(image->m_stride, image->m_dim[0] * k.c);
    }
}

TYPED_TEST(GeometryTyped, QuarterTurnsMoveEveryFrameAndFourRestore) {
    auto image = makeImage<TypeParam>(4, 3, 2, 2, 2);
    image->m_verbose = 0;
    const std::vector<TypeParam> original = elements(*image);
    for (int axis = 0; axis < 3; ++axis) {
        auto turned = makeImage<TypeParam>(4, 3, 2, 2, 2);
        turned->m_verbose = 0;
        turned->rotate(axis);
        const int X = 4, Y = 3, Z = 2;
        for (int t = 0; t < 2; ++t)
            for (int z = 0; z < Z; ++z)
                for (int y = 0; y < Y; ++y)
                    for (int x = 0; x < X; ++x)
                        for (int c = 0; c < 2; ++c) {
                            int tx = x, ty = y, tz = z;
                            if (axis == 0)
                                tx = x, ty = z, tz = Y - 1 - y;
                            if (axis == 1)
                                tx = Z - 1 - z, ty = y, tz = x;
                            if (axis == 2)
                                tx = y, ty = X - 1 - x, tz = z;
                            ASSERT_EQ(turned->element(tx, ty, tz, t, c),
                                      image->element(x, y, z, t, c))
                                << "axis " << axis;
                        }
        for (int i = 0; i < 3; ++i)
            turned->rotate(axis);
        EXPECT_EQ(elements(*turned), original);
    }
}

TYPED_TEST(GeometryTyped, FlipMirrorsEachFlaggedAxis) {
    auto image = makeImage<TypeParam>(3, 4, 2, 3, 3);
    for (int flags = 0; flags < 16; ++flags) {
        const bool fx = flags & 1, fy = flags & 2, fz = flags & 4, ft = flags & 8;
        auto flipped = makeImage<TypeParam>(3, 4, 2, 3, 3);
        flipped->flip(fx, fy, fz, ft);
        for (int t = 0; t < 3; ++t)
            for (int z = 0; z < 2; ++z)
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 3; ++x)
                        for (int c = 0; c < 3; ++c)
                            ASSERT_EQ(flipped->element(fx ? 2 - x : x, fy ? 3 - y : y,
                                                       fz ? 1 - z : z, ft ? 2 - t : t, c),
                                      image->element(x, y, z, t, c))
                                << "flags " << flags;
        flipped->flip(fx, fy, fz, ft);
        EXPECT_EQ(elements(*flipped), elements(*image));
    }
}

TEST(Downsample, DesignExamplesBytesAndFloats) {
    auto bytes = std::make_unique<ImageBase<unsigned char>>();
    bytes->init(5, 4, 1, 1, 1);
    const unsigned char block[] = {1, 2, 3, 4};
    bytes->setValue(block[0], 0, 0, 0, 0, 0);
    bytes->setValue(block[1], 1, 0, 0, 0, 0);
    bytes->setValue(block[2], 0, 1, 0, 0, 0);
    bytes->setValue(block[3], 1, 1, 0, 0, 0);
    bytes->setSpacing(0.5f, 2.0f, 3.0f, 4.0f);
    {
        CoutCapture out;
        std::unique_ptr<ImageBase<unsigned char>> made(bytes->downsample(2, 2, 1, 1, true));
        EXPECT_EQ(out.text(), "");
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->m_dim[0], 2);
        EXPECT_EQ(made->m_dim[1], 2);
        EXPECT_EQ(made->element(0, 0, 0, 0, 0), 2);
        EXPECT_FLOAT_EQ(made->m_spacing[0], 1.0f);
        EXPECT_FLOAT_EQ(made->m_spacing[1], 4.0f);
        EXPECT_FLOAT_EQ(made->m_spacing[3], 4.0f);
        EXPECT_EQ(bytes->m_dim[0], 5);  // source untouched
    }
    {
        CoutCapture out;
        EXPECT_EQ(bytes->downsample(2, 2, 1, 1, false), nullptr);
        EXPECT_EQ(out.text(), "Image downsampled, new size 2 x 2 x 1\n");
        EXPECT_EQ(bytes->m_image_size, 4);
        EXPECT_FLOAT_EQ(bytes->m_spacing[0], 1.0f);
    }
    auto floats = std::make_unique<ImageBase<float>>();
    floats->init(2, 2, 1, 1, 1);
    for (int i = 0; i < 4; ++i)
        floats->m_data[i] = block[i];
    std::unique_ptr<ImageBase<float>> mean(floats->downsample(2, 2, 1, 1, true));
    EXPECT_FLOAT_EQ(mean->m_data[0], 2.5f);
}

TEST(Downsample, RefusesFactorsBelowOneAndLeavesImage) {
    for (int bad : {0, -2}) {
        auto image = makeImage<short>(4, 4, 1, 1, 1);
        const std::vector<short> before = elements(*image);
        CoutCapture out;
        EXPECT_EQ(image->downsample(2, bad, 1, 1, false), nullptr);
        EXPECT_EQ(image->downsample(bad, 1, 1, 1, true), nullptr);
        EXPECT_EQ(out.text(),
                  "Error: downsampling factors must be 1 or more!\n"
                  "Error: downsampling factors must be 1 or more!\n");
        EXPECT_EQ(elements(*image), before);
        EXPECT_EQ(image->m_dim[0], 4);
    }
    ImageBase<float> empty;
    EXPECT_EQ(empty.downsample(2, 2, 1, 1, false), nullptr);
}

TEST(Rotate, ThreeByTwoAboutZAndRefusedAxes) {
    auto image = makeImage<unsigned char>(3, 2, 1, 1, 3);
    image->setSpacing(1.0f, 2.0f, 3.0f, 4.0f);
    const std::vector<unsigned char> before = elements(*image);
    {
        CoutCapture out;
        image->rotate(3);
        image->rotate(-1);
        EXPECT_EQ(out.text(),
                  "Error: rotation axis must be 0, 1 or 2!\nError: rotation axis must be 0, 1 "
                  "or 2!\n");
        EXPECT_EQ(elements(*image), before);
    }
    CoutCapture out;
    image->rotate(2);
    EXPECT_EQ(out.text(), "Rotated image around axis 2\n");
    EXPECT_EQ(image->m_dim[0], 2);
    EXPECT_EQ(image->m_dim[1], 3);
    EXPECT_EQ(image->m_stride, 6);
    EXPECT_FLOAT_EQ(image->m_spacing[0], 2.0f);
    EXPECT_FLOAT_EQ(image->m_spacing[1], 1.0f);
    image->m_verbose = 0;
    image->rotate(2);
    EXPECT_EQ(out.text(), "Rotated image around axis 2\n");
}

TEST(Rotate, LargeTiledTurnMatchesIndexFormula) {
    // Larger than one tile in both directions, with partial tiles at the edges, two slices and
    // two frames.
    for (int channels : {1, 3, 5}) {
        auto image = makeImage<unsigned char>(70, 45, 2, 2, channels, 9);
        auto turned = makeImage<unsigned char>(70, 45, 2, 2, channels, 9);
        turned->m_verbose = 0;
        turned->rotate(2);
        for (int t = 0; t < 2; ++t)
            for (int z = 0; z < 2; ++z)
                for (int y = 0; y < 45; ++y)
                    for (int x = 0; x < 70; ++x)
                        for (int c = 0; c < channels; ++c)
                            ASSERT_EQ(turned->element(y, 69 - x, z, t, c),
                                      image->element(x, y, z, t, c));
    }
}

TEST(Flip, WideRowsOfEveryPixelSizeMirrorAlongX) {
    // Widths around the sixteen-pixel blocks of the three-byte path.
    for (int width : {15, 16, 17, 33, 70}) {
        for (int channels : {1, 2, 3, 4, 7}) {
            auto image = makeImage<unsigned char>(width, 3, 2, 1, channels, 2);
            auto flipped = makeImage<unsigned char>(width, 3, 2, 1, channels, 2);
            flipped->flip(true, false, true, false);
            for (int z = 0; z < 2; ++z)
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < width; ++x)
                        for (int c = 0; c < channels; ++c)
                            ASSERT_EQ(flipped->element(width - 1 - x, y, 1 - z, 0, c),
                                      image->element(x, y, z, 0, c))
                                << width << " " << channels;
        }
    }
}

TEST(ScaleToPowerOfTwo, PadsEveryFrameWithZeros) {
    auto image = makeImage<short>(100, 60, 2, 2, 2);
    CoutCapture out;
    image->scaleToPowerOfTwo();
    EXPECT_EQ(out.text(), "Scaled to power of two, new width = 128, height = 64\n");
    ASSERT_EQ(image->m_dim[0], 128);
    ASSERT_EQ(image->m_dim[1], 64);
    EXPECT_EQ(image->m_image_size, 128 * 64 * 2 * 2 * 2);
    auto source = makeImage<short>(100, 60, 2, 2, 2);
    for (int t = 0; t < 2; ++t)
        for (int z = 0; z < 2; ++z)
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 128; ++x)
                    for (int c = 0; c < 2; ++c) {
                        const short want =
                            x < 100 && y < 60 ? source->element(x, y, z, t, c) : short(0);
                        ASSERT_EQ(image->element(x, y, z, t, c), want);
                    }
    auto square = makeImage<float>(256, 256, 1, 1, 1);
    const std::vector<float> before = elements(*square);
    square->scaleToPowerOfTwo();
    EXPECT_EQ(elements(*square), before);
    EXPECT_NE(out.text().find("new width = 256, height = 256\n"), std::string::npos);
}

TEST(ScaleToPowerOfTwo, ExtentsUpToTheLargePowers) {
    for (int extent : {1, 2, 3, 5, 17, 1000, 1024, 1025, 65537}) {
        auto image = makeImage<unsigned char>(extent, 1, 1, 1, 1);
        image->m_verbose = 0;
        image->scaleToPowerOfTwo();
        EXPECT_EQ(image->m_dim[0], Nevra::nextPowerOfTwo(extent)) << extent;
    }
}

TEST(Interpolation, TrilinearAtGridPointsHalfwayAndAgainstDoubleReference) {
    auto image = makeImage<float>(4, 3, 3, 1, 2, 5);
    float out[2];
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                image->getTrilinear(out, x, y, z);
                EXPECT_EQ(out[1], image->element(x, y, z, 0, 1));
            }
    image->getTrilinear(out, 0.5f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(out[0], (image->element(0, 0, 0, 0, 0) + image->element(1, 0, 0, 0, 0)) / 2);

    auto single = makeImage<int>(5, 4, 3, 1, 1, 8);
    const float x = 2.3f, y = 1.75f, z = 0.6f;
    double expected = 0.0;
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i)
                expected += single->element(2 + i, 1 + j, k, 0, 0) * (i ? x - 2.0 : 3.0 - x) *
                            (j ? y - 1.0 : 2.0 - y) * (k ? z - 0.0 : 1.0 - z);
    EXPECT_NEAR(single->getTrilinear(x, y, z), expected, 1e-4);
    single->getTrilinear(out, x, y, z);
    EXPECT_NEAR(out[0], expected, 1e-4);
}

TEST(Interpolation, TricubicKeepsGridValuesAndConstants) {
    auto image = makeImage<short>(5, 5, 5, 1, 1, 4);
    for (int p = 1; p <= 2; ++p) {
        EXPECT_EQ(image->getTricubic(p, 2.0f, p), image->element(p, 2, p, 0, 0));
    }
    auto flat = std::make_unique<ImageBase<double>>();
    flat->init(5, 5, 5, 1, 2);
    for (int i = 0; i < flat->m_image_size; ++i)
        flat->m_data[i] = i % 2 ? 7.0 : -3.0;
    float out[2];
    flat->getTricubic(out, 1.3f, 2.7f, 1.5f);
    EXPECT_NEAR(out[0], -3.0f, 1e-5);
    EXPECT_NEAR(out[1], 7.0f, 1e-5);
}

}  // namespace
