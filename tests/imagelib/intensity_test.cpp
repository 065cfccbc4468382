// Intensity operations: window/level records, inversion, window/level application, the 8- and
// 16-bit conversions and the centre of mass.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "image_test_support.h"

namespace Nevra {
namespace {

// A one-row image of `channels` channels holding `values` in memory order.
template <class T>
std::unique_ptr<ImageBase<T>> row(const std::vector<double>& values, int channels = 1) {
    auto image = std::make_unique<ImageBase<T>>();
    image->init(static_cast<int>(values.size()) / channels, 1, 1, 1, channels);
    for (std::size_t i = 0; i < values.size(); ++i)
        image->m_data[i] = static_cast<T>(values[i]);
    return image;
}

template <class T>
std::vector<double> values(const ImageBase<T>& image) {
    return std::vector<double>(image.m_data, image.m_data + image.m_image_size);
}

template <class T>
class IntensityTyped : public ::testing::Test {};
TYPED_TEST_SUITE(IntensityTyped, nevra_test::ElementTypes);

// Values below low and above high clamp to the ends; the line comes only when verbose.
TYPED_TEST(IntensityTyped, ApplyWindowLevelClampsAndShiftsOrMirrors) {
    for (bool invert : {false, true}) {
        auto image = row<TypeParam>({5, 30, 100, 10, 60});
        image->setWindowLevel(10.0f, 60.0f, 0);
        image->m_verbose = invert ? 0 : 1;
        CoutCapture out;
        image->applyWindowLevel(invert);
        EXPECT_EQ(out.text(), invert ? "" : "Window/Level setting applied\n");
        const std::vector<double> shifted = {0, 20, 50, 0, 50}, mirrored = {50, 30, 0, 50, 0};
        EXPECT_EQ(values(*image), invert ? mirrored : shifted);
    }
}

TYPED_TEST(IntensityTyped, WindowLevelFromPooledRangeAndInversionPerChannel) {
    auto image = row<TypeParam>({10, 20, 125, 40, 12, 11}, 3);
    image->computeWindowLevel();
    for (int c = 0; c < 3; ++c) {
        EXPECT_FLOAT_EQ(image->m_window_level[c].low, 10.0f);
        EXPECT_FLOAT_EQ(image->m_window_level[c].high, 125.0f);
        EXPECT_FLOAT_EQ(image->m_window_level[c].window, 115.0f);
        EXPECT_FLOAT_EQ(image->m_window_level[c].level, 67.5f);
    }
    image->setWindowLevel(10.0f, 40.0f, 1);
    image->setWindowLevel(0.0f, 100.0f, 2);
    image->invert();
    // 125 in channel 2 becomes 0 + 100 - 125, wrapped into the unsigned types.
    const double wrapped = static_cast<double>(static_cast<TypeParam>(-25));
    EXPECT_EQ(values(*image), (std::vector<double>{125, 30, wrapped, 95, 38, 89}));
}

TEST(Conversion, ByteVolumeScalesClampsAndTruncates) {
    auto image = row<short>({500, -5, 2000, 1000, 0});
    image->setWindowLevel(0.0f, 1000.0f, 0);
    std::unique_ptr<unsigned char[]> bytes(image->createByteVolume(nullptr, false));
    EXPECT_EQ(std::vector<int>(bytes.get(), bytes.get() + 5),
              (std::vector<int>{127, 0, 255, 255, 0}));
    std::unique_ptr<unsigned short[]> words(image->createWordVolume(nullptr, false));
    EXPECT_EQ(words[3], 65535);
    EXPECT_EQ(words[0], 32767);
    EXPECT_EQ(words[1], 0);

    // A buffer handed in is the one written and returned.
    unsigned char mine[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(image->createByteVolume(mine, false), mine);
    EXPECT_EQ(mine[0], 127);
}

TEST(Conversion, PowerOfTwoVolumePadsWithZerosPerChannel) {
    auto image = std::make_unique<ImageBase<float>>();
    image->init(3, 5, 1, 1, 2);
    for (int i = 0; i < image->m_image_size; ++i)
        image->m_data[i] = 100.0f + i;
    image->setWindowLevel(0.0f, 255.0f, 0);
    image->setWindowLevel(100.0f, 355.0f, 1);
    std::unique_ptr<unsigned char[]> out(image->createByteVolume(nullptr, true));
    std::vector<int> expected(8 * 4 * 2, 0);  // 4 x 8 pixels of two channels, padding 0
    for (int i = 0; i < 30; ++i)
        expected[(i / 6 * 4 + i % 6 / 2) * 2 + i % 2] = i + (i % 2 == 0 ? 100 : 0);
    EXPECT_EQ(std::vector<int>(out.get(), out.get() + 64), expected);
}

TEST(Conversion, NothingToScaleByGivesZerosAndHugeExtentsNoBuffer) {
    auto image = row<int>({3, 7, -2});
    image->setWindowLevel(7.0f, 7.0f, 0);
    std::unique_ptr<unsigned char[]> bytes(image->createByteVolume(nullptr, false));
    std::unique_ptr<unsigned short[]> words(image->createWordVolume(nullptr, false));
    std::unique_ptr<unsigned char[]> slice(image->createByteSlice(nullptr, 0, 0, false));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(bytes[i] == 0 && words[i] == 0 && slice[i] == 0) << i;
    // Rounded up, an extent beyond 2^30 has no int: refused before any element is read (the
    // one-byte block stands for the gigabyte such an image would hold).
    unsigned char block[1] = {0};
    ImageBase<unsigned char> wide;
    wide.m_external_data = true;
    wide.init((1 << 30) + 1, 1, 1, 1, 1);
    wide.setData(block);
    EXPECT_EQ(wide.createByteVolume(nullptr, true), nullptr);
    EXPECT_EQ(wide.createWordVolume(nullptr, true), nullptr);
    EXPECT_EQ(wide.createByteSlice(nullptr, 0, 0, true), nullptr);
}

TEST(Conversion, ByteSliceWrapsSliceNumbersAndPadsRows) {
    auto volume = std::make_unique<ImageBase<unsigned short>>();
    volume->init(3, 3, 3, 1, 2);
    for (int i = 0; i < volume->m_image_size; ++i)
        volume->m_data[i] = static_cast<unsigned short>(i);
    volume->setWindowLevel(0.0f, 255.0f, 1);
    for (int slice : {1, 4, -2}) {
        std::unique_ptr<unsigned char[]> out(volume->createByteSlice(nullptr, slice, 1, false));
        for (int p = 0; p < 9; ++p)
            EXPECT_EQ(out[p], volume->element(p % 3, p / 3, 1, 0, 1)) << "slice " << slice;
    }
    std::unique_ptr<unsigned char[]> padded(volume->createByteSlice(nullptr, 0, 1, true));
    EXPECT_EQ(padded[2 * 4 + 2], volume->element(2, 2, 0, 0, 1));
    EXPECT_EQ(padded[3], 0);  // the padding column of a buffer made by the operation
    EXPECT_EQ(padded[15], 0);
}

// A channel the image does not have has no window/level record to scale by: refused, and a
// buffer handed in is not written.
TEST(Conversion, ByteSliceOfAChannelTheImageLacksIsRefused) {
    auto volume = std::make_unique<ImageBase<short>>();
    volume->init(3, 3, 2, 1, 2);
    volume->setWindowLevel(0.0f, 255.0f, 1);
    for (int channel : {2, 3, -1, INT_MIN}) {
        unsigned char mine[16];
        std::fill(std::begin(mine), std::end(mine), 7);
        CoutCapture out;
        EXPECT_EQ(volume->createByteSlice(nullptr, 0, channel, false), nullptr) << channel;
        EXPECT_EQ(volume->createByteSlice(mine, 1, channel, true), nullptr) << channel;
        EXPECT_EQ(std::count(std::begin(mine), std::end(mine), 7), 16) << channel;
        EXPECT_EQ(out.text(),
                  "Error: channel out of range, cannot create byte slice!\n"
                  "Error: channel out of range, cannot create byte slice!\n");
    }
}

TEST(CenterOfMass, SingleVoxelAndWeightlessVolume) {
    ImageBase<float> volume;
    volume.init(5, 6, 7, 1, 1);
    std::fill_n(volume.m_data, volume.m_image_size, 4.0f);
    volume.setWindowLevel(4.0f, 10.0f, 0);
    float centre[3];
    EXPECT_EQ(volume.getCenterOfMass(centre), centre);
    EXPECT_EQ(std::vector<float>(centre, centre + 3), (std::vector<float>{2, 2.5f, 3}))
        << "no weight anywhere: the middle of the volume";
    volume.setValue(9.0f, 2, 3, 4, 0, 0);
    volume.getCenterOfMass(centre);
    EXPECT_EQ(std::vector<float>(centre, centre + 3), (std::vector<float>{2, 3, 4}));
}

}  // namespace
}  // namespace Nevra
