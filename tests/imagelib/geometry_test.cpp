// Geometric operations: downsampling, quarter turns, power-of-two padding, mirroring and
// interpolation, checked against plain index arithmetic, block means by their definition and
// closed forms.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <type_traits>
#include <vector>

#include "image_test_support.h"

namespace Nevra {
namespace {

using nevra_test::elements;
using nevra_test::makeImage;

// Every element (x, y, z, t, c) of `before` is found at to(x, y, z, t) in `after`.
template <class T, class Map>
void expectMoved(const ImageBase<T>& before, const ImageBase<T>& after, Map to) {
    const int* d = before.m_dim;
    for (int t = 0; t < d[3]; ++t)
        for (int z = 0; z < d[2]; ++z)
            for (int y = 0; y < d[1]; ++y)
                for (int x = 0; x < d[0]; ++x)
                    for (int c = 0; c < before.m_channels; ++c) {
                        const std::array<int, 4> p = to(x, y, z, t);
                        ASSERT_EQ(after.element(p[0], p[1], p[2], p[3], c),
                                  before.element(x, y, z, t, c))
                            << x << "," << y << "," << z << "," << t << "," << c;
                    }
}

// The block mean by its definition: one float sum per target element, fed in the order dt, dz,
// dy, dx, then divided and converted.
template <class T>
std::vector<T> referenceDownsample(const ImageBase<T>& in, const int f[4]) {
    const int C = in.m_channels;
    std::vector<T> out;
    for (int t = 0; t < in.m_dim[3] / f[3]; ++t)
        for (int z = 0; z < in.m_dim[2] / f[2]; ++z)
            for (int y = 0; y < in.m_dim[1] / f[1]; ++y)
                for (int x = 0; x < in.m_dim[0] / f[0]; ++x)
                    for (int c = 0; c < C; ++c) {
                        float sum = 0.0f;
                        for (int dt = 0; dt < f[3]; ++dt)
                            for (int dz = 0; dz < f[2]; ++dz)
                                for (int dy = 0; dy < f[1]; ++dy)
                                    for (int dx = 0; dx < f[0]; ++dx)
                                        sum = static_cast<float>(
                                            sum + in.element(x * f[0] + dx, y * f[1] + dy,
                                                             z * f[2] + dz, t * f[3] + dt, c));
                        const float mean = sum / (f[0] * f[1] * f[2] * f[3]);
                        out.push_back(std::is_floating_point_v<T>
                                          ? static_cast<T>(mean)
                                          : static_cast<T>(static_cast<long long>(mean)));
                    }
    return out;
}

template <class T>
class GeometryTyped : public ::testing::Test {};
TYPED_TEST_SUITE(GeometryTyped, nevra_test::ElementTypes);

TYPED_TEST(GeometryTyped, DownsampleGivesBlockMeans) {
    // Geometry x, y, z, t, c and factors; the second row takes the vector path of 2 x 2 bytes.
    const int cases[][9] = {{5, 4, 1, 1, 1, 2, 2, 1, 1}, {67, 5, 1, 1, 1, 2, 2, 1, 1},
                            {7, 6, 3, 2, 3, 3, 2, 1, 1}, {6, 5, 4, 3, 2, 1, 1, 2, 3},
                            {9, 4, 2, 1, 1, 9, 4, 2, 1}, {4, 4, 1, 1, 1, 5, 1, 1, 1}};
    for (const auto& k : cases) {
        const int* f = k + 5;
        auto image = makeImage<TypeParam>(k[0], k[1], k[2], k[3], k[4], 3);
        image->setSpacing(0.5f, 2.0f, 3.0f, 4.0f);
        const std::vector<TypeParam> expected = referenceDownsample(*image, f);
        const std::string what = std::to_string(k[0]) + "x" + std::to_string(k[1]);
        CoutCapture out;
        std::unique_ptr<ImageBase<TypeParam>> copy(image->downsample(f[0], f[1], f[2], f[3], true));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(elements(*copy), expected) << what;
        EXPECT_EQ(copy->m_spacing[0], 0.5f * f[0]);
        EXPECT_EQ(copy->m_spacing[3], 4.0f * f[3]);
        EXPECT_EQ(image->m_dim[0], k[0]) << "the source stays";
        EXPECT_EQ(out.text(), "");

        EXPECT_EQ(image->downsample(f[0], f[1], f[2], f[3], false), nullptr);
        EXPECT_EQ(elements(*image), expected) << what;
        EXPECT_EQ(image->m_stride, image->m_dim[0] * k[4]);
        EXPECT_EQ(image->m_spacing[1], 2.0f * f[1]);
        EXPECT_EQ(out.text(), "Image downsampled, new size " + std::to_string(k[0] / f[0]) + " x " +
                                  std::to_string(k[1] / f[1]) + " x " +
                                  std::to_string(k[2] / f[2]) + "\n");
    }
}

// Factors past the extents leave nothing, however large: the block they would average is never
// sized (INT_MAX on four axes overflows even a long long).
TEST(Downsample, FactorsPastTheExtentsLeaveAnEmptyImage) {
    auto image = makeImage<float>(5, 4, 2, 1, 1);
    image->m_verbose = 0;
    const int huge = std::numeric_limits<int>::max();
    std::unique_ptr<ImageBase<float>> copy(image->downsample(huge, huge, huge, huge, true));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->m_image_size, 0);
    EXPECT_EQ(image->m_image_size, 40) << "the source stays";
    EXPECT_EQ(image->downsample(huge, 1, huge, huge, false), nullptr);
    EXPECT_EQ(image->m_image_size, 0);
    EXPECT_EQ(image->m_dim[1], 4);
}

// Partial tiles in both directions, several slices and frames, every pixel size of the copies
// (three one-byte channels take the turn of triples).
TYPED_TEST(GeometryTyped, QuarterTurnsMoveEveryPixelAndFourRestore) {
    const int X = 35, Y = 33, Z = 2;
    for (int channels : {1, 2, 3, 5}) {
        for (int axis = 0; axis < 3; ++axis) {
            const auto image = makeImage<TypeParam>(X, Y, Z, 2, channels);
            auto turned = makeImage<TypeParam>(X, Y, Z, 2, channels);
            turned->setSpacing(1.0f, 2.0f, 3.0f, 4.0f);
            CoutCapture out;
            turned->rotate(axis);
            EXPECT_EQ(out.text(), "Rotated image around axis " + std::to_string(axis) + "\n");
            const std::array<int, 3> dims[] = {{X, Z, Y}, {Z, Y, X}, {Y, X, Z}};
            const std::array<float, 3> spacings[] = {{1, 3, 2}, {3, 2, 1}, {2, 1, 3}};
            EXPECT_EQ((std::array<int, 3>{turned->m_dim[0], turned->m_dim[1], turned->m_dim[2]}),
                      dims[axis]);
            EXPECT_EQ((std::array<float, 3>{turned->m_spacing[0], turned->m_spacing[1],
                                            turned->m_spacing[2]}),
                      spacings[axis]);
            EXPECT_EQ(turned->m_stride, turned->m_dim[0] * channels);
            expectMoved(*image, *turned, [&](int x, int y, int z, int t) {
                return axis == 0   ? std::array<int, 4>{x, z, Y - 1 - y, t}
                       : axis == 1 ? std::array<int, 4>{Z - 1 - z, y, x, t}
                                   : std::array<int, 4>{y, X - 1 - x, z, t};
            });
            turned->m_verbose = 0;
            for (int i = 0; i < 3; ++i)
                turned->rotate(axis);
            EXPECT_EQ(elements(*turned), elements(*image));
            EXPECT_EQ(out.text(), "Rotated image around axis " + std::to_string(axis) + "\n");
        }
    }
}

// Every combination of axes, on rows around the sixteen-pixel blocks of the mirrored rows and
// every pixel size; flipping twice restores.
TYPED_TEST(GeometryTyped, FlipMirrorsEachFlaggedAxis) {
    std::vector<std::array<int, 5>> shapes = {{3, 4, 2, 3, 3}};
    for (int width : {15, 16, 17, 33, 70}) {
        for (int channels : {1, 2, 3, 4, 7}) {
            shapes.push_back({width, 2, 2, 2, channels});
        }
    }
    for (const auto& s : shapes) {
        const auto image = makeImage<TypeParam>(s[0], s[1], s[2], s[3], s[4], 2);
        for (int flags = 0; flags < 16; ++flags) {
            const bool fx = flags & 1, fy = flags & 2, fz = flags & 4, ft = flags & 8;
            auto flipped = makeImage<TypeParam>(s[0], s[1], s[2], s[3], s[4], 2);
            flipped->flip(fx, fy, fz, ft);
            expectMoved(*image, *flipped, [&](int x, int y, int z, int t) {
                return std::array<int, 4>{fx ? s[0] - 1 - x : x, fy ? s[1] - 1 - y : y,
                                          fz ? s[2] - 1 - z : z, ft ? s[3] - 1 - t : t};
            });
            flipped->flip(fx, fy, fz, ft);
            ASSERT_EQ(elements(*flipped), elements(*image)) << s[0] << " flags " << flags;
        }
    }
}

TEST(ScaleToPowerOfTwo, PadsEveryFrameWithZeros) {
    const auto source = makeImage<short>(100, 60, 2, 2, 2);
    auto image = makeImage<short>(100, 60, 2, 2, 2);
    CoutCapture out;
    image->scaleToPowerOfTwo();
    EXPECT_EQ(out.text(), "Scaled to power of two, new width = 128, height = 64\n");
    ASSERT_EQ(image->m_dim[0], 128);
    ASSERT_EQ(image->m_dim[1], 64);
    EXPECT_EQ(image->m_image_size, 128 * 64 * 2 * 2 * 2);
    expectMoved(*source, *image, [](int x, int y, int z, int t) {
        return std::array<int, 4>{x, y, z, t};
    });
    // The elements are not negative, so an equal sum leaves zeros around the source.
    const std::vector<short> before = elements(*source), after = elements(*image);
    EXPECT_EQ(std::accumulate(after.begin(), after.end(), 0LL),
              std::accumulate(before.begin(), before.end(), 0LL));

    auto square = makeImage<float>(256, 256, 1, 1, 1);
    square->scaleToPowerOfTwo();
    EXPECT_EQ(elements(*square), elements(*makeImage<float>(256, 256, 1, 1, 1)));
    EXPECT_NE(out.text().find("new width = 256, height = 256\n"), std::string::npos);
}

// The float logarithms of the padding's definition are exact below 131072 only; the smallest
// extent they get wrong is 2^21 + 1. The padded width is the exact power of two.
TEST(ScaleToPowerOfTwo, PadsLongRowsToTheExactPowerOfTwo) {
    for (int extent : {(1 << 21) + 1, (1 << 24) + 1}) {
        auto row = std::make_unique<ImageBase<unsigned char>>();
        row->init(extent, 1, 1, 1, 1);
        row->m_data[extent - 1] = 9;
        CoutCapture out;
        row->scaleToPowerOfTwo();
        const int width = nextPowerOfTwo(extent);
        EXPECT_EQ(out.text(), "Scaled to power of two, new width = " + std::to_string(width) +
                                  ", height = 1\n");
        ASSERT_EQ(row->m_dim[0], width);
        EXPECT_EQ(row->m_image_size, width);
        EXPECT_EQ(row->m_data[extent - 1], 9);
        EXPECT_EQ(row->m_data[extent], 0);
    }
}

// Over external storage (m_external_data), the operations that replace the storage make a block
// of their own: the image owns it from then on, so it is freed with the image, and the caller's
// block is left as it was. Each result equals that of an image owning its storage.
TEST(ExternalStorage, ReplacedStorageBelongsToTheImage) {
    using S = ImageBase<short>;
    const std::function<void(S&)> operations[] = {
        [](S& i) { i.rotate(2); },
        [](S& i) { i.rotate(0); },
        [](S& i) { i.flip(true, false, false, false); },
        [](S& i) { i.downsample(2, 1, 1, 1, false); },
        [](S& i) { i.downsample(4, 1, 1, 1, false); },  // to nothing: no block at all
        [](S& i) { i.scaleToPowerOfTwo(); },
    };
    for (std::size_t n = 0; n < std::size(operations); ++n) {
        auto owned = makeImage<short>(3, 2, 1, 1, 2);
        owned->m_verbose = 0;
        std::vector<short> block = elements(*owned);
        const std::vector<short> kept = block;
        {
            S view;
            view.m_verbose = 0;
            view.m_external_data = true;
            view.init(3, 2, 1, 1, 2);
            view.setData(block.data());
            operations[n](*owned);
            operations[n](view);
            EXPECT_FALSE(view.m_external_data) << n;
            EXPECT_NE(view.m_data, block.data()) << n;
            EXPECT_EQ(std::vector<int>(view.m_dim, view.m_dim + 4),
                      std::vector<int>(owned->m_dim, owned->m_dim + 4))
                << n;
            EXPECT_EQ(elements(view), elements(*owned)) << n;
        }
        EXPECT_EQ(block, kept) << n;
    }
}

TEST(Interpolation, TrilinearWeightsAndCubicGridValues) {
    auto one = makeImage<int>(5, 4, 3, 1, 1, 8);
    auto two = makeImage<float>(5, 4, 3, 1, 2, 5);
    const std::array<float, 3> points[] = {{2.3f, 1.75f, 0.6f}, {0.5f, 0, 0}, {3, 2, 1}};
    for (const auto& p : points) {
        // The eight neighbours weighted in double.
        auto reference = [&p](const auto& image, int c) {
            const int x = static_cast<int>(p[0]), y = static_cast<int>(p[1]),
                      z = static_cast<int>(p[2]);
            double sum = 0.0;
            for (int k = 0; k < 2; ++k)
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i)
                        sum += image.element(x + i, y + j, z + k, 0, c) *
                               (i ? p[0] - x : 1.0 - (p[0] - x)) *
                               (j ? p[1] - y : 1.0 - (p[1] - y)) *
                               (k ? p[2] - z : 1.0 - (p[2] - z));
            return sum;
        };
        EXPECT_NEAR(one->getTrilinear(p[0], p[1], p[2]), reference(*one, 0), 1e-4);
        float out[2];
        two->getTrilinear(out, p[0], p[1], p[2]);
        EXPECT_NEAR(out[0], reference(*two, 0), 1e-4);
        EXPECT_NEAR(out[1], reference(*two, 1), 1e-4);
    }

    // The cubic weights are (0, 1, 0, 0) at a grid point and sum to 1 everywhere.
    auto cubic = makeImage<short>(5, 5, 5, 1, 1, 4);
    for (int p = 1; p <= 2; ++p)
        EXPECT_EQ(cubic->getTricubic(p, 2.0f, p), cubic->element(p, 2, p, 0, 0));
    float out[2];
    auto flat = makeImage<double>(5, 5, 5, 1, 2);
    for (int i = 0; i < flat->m_image_size; ++i)
        flat->m_data[i] = i % 2 ? 7.0 : -3.0;
    flat->getTricubic(out, 1.3f, 2.7f, 1.5f);
    EXPECT_NEAR(out[0], -3.0f, 1e-5);
    EXPECT_NEAR(out[1], 7.0f, 1e-5);
}

}  // namespace
}  // namespace Nevra
