// Image and ImageBase<T>: geometry, storage and ownership, conversions per element type, raw
// files, sequential and element access, byte swapping, createImage and nextPowerOfTwo.

#include "imagebase.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "bitmap.h"

namespace Nevra {
#include <unistd.h>

namespace {

std::string tempPath(const std::string& name) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string unique = std::string(info->test_suite_name()) + "_" + info->name() + "_" + name;
    for (char& ch : unique) {
        if (ch == '/') {
            ch = '_';
        }
    }
    // The process id keeps runs of two builds at the same time apart.
    return ::testing::TempDir() + std::to_string(getpid()) + "_" + unique;
}

long long fileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long long>(in.tellg()) : -1;
}

// ---- Geometry and storage -------------------------------------------------------------------

TEST(ImageStorage, ConstructionDefaults) {
    ImageBase<float> image;
    EXPECT_EQ(image.m_data, nullptr);
    EXPECT_FALSE(image.m_external_data);
    EXPECT_EQ(image.m_window_level, nullptr);
    EXPECT_EQ(image.m_verbose, 1);
    EXPECT_EQ(image.m_type, 0);
    EXPECT_EQ(image.m_position, 0);
    EXPECT_EQ(image.m_image_size, 0);
    for (float s : image.m_spacing) {
        EXPECT_EQ(s, 1.0f);
    }
}

TEST(ImageStorage, FreshBitmapIsEmpty) {
    Bitmap bitmap;
    EXPECT_EQ(bitmap.getWidth(), 0);
    EXPECT_EQ(bitmap.getHeight(), 0);
    EXPECT_EQ(bitmap.getData(), nullptr);
    EXPECT_EQ(bitmap.m_window_level, nullptr);
    EXPECT_EQ(bitmap.m_bit_count, 0);
    EXPECT_EQ(bitmap.m_palette_size, 0);
    EXPECT_EQ(bitmap.m_palette, nullptr);
}

TEST(ImageStorage, InitDerivesSizesAndZeroes) {
    ImageBase<short> image;
    EXPECT_EQ(image.init(4, 3, 1, 1, 3), 0);
    EXPECT_EQ(image.m_stride, 12);
    EXPECT_EQ(image.m_slice_size, 36);
    EXPECT_EQ(image.m_frame_size, 36);
    EXPECT_EQ(image.m_image_size, 36);
    ASSERT_NE(image.m_data, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(image.m_data) % 16, 0u);
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(image.m_data[i], 0);
    }
    ASSERT_NE(image.m_window_level, nullptr);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(image.m_window_level[c].window, 0.0f);
        EXPECT_EQ(image.m_window_level[c].level, 0.0f);
        EXPECT_EQ(image.m_window_level[c].low, 0.0f);
        EXPECT_EQ(image.m_window_level[c].high, 0.0f);
    }
}

TEST(ImageStorage, ZeroExtentOrChannelsGivesNoStorage) {
    ImageBase<int> image;
    image.init(4, 0, 1, 1, 2);
    EXPECT_EQ(image.m_image_size, 0);
    EXPECT_EQ(image.m_data, nullptr);
    EXPECT_NE(image.m_window_level, nullptr);

    image.init(4, 4, 1, 1, 0);
    EXPECT_EQ(image.m_image_size, 0);
    EXPECT_EQ(image.m_data, nullptr);
    EXPECT_EQ(image.m_window_level, nullptr);
}

TEST(ImageStorage, ReinitReplacesStorageWithZeros) {
    ImageBase<unsigned char> image;
    image.init(2, 2, 1, 1, 1);
    image.setValue(9.0f, 1, 1, 0, 0, 0);
    image.setWindowLevel(1.0f, 5.0f, 0);
    image.m_position = 3;
    image.init(3, 3, 1, 1, 2);
    EXPECT_EQ(image.m_image_size, 18);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(image.m_data[i], 0);
    }
    EXPECT_EQ(image.m_window_level[0].high, 0.0f);
    EXPECT_EQ(image.m_position, 3) << "the cursor survives init";
}

// Sizes that do not fit an int must neither wrap round nor allocate.
struct BadGeometry {
    int x, y, z, t, c;
};

class ImageStorageBadGeometry : public ::testing::TestWithParam<BadGeometry> {};

TEST_P(ImageStorageBadGeometry, InitReportsAndKeepsNoStorage) {
    const BadGeometry g = GetParam();
    ImageBase<float> image;
    image.init(2, 2, 1, 1, 1);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(image.init(g.x, g.y, g.z, g.t, g.c), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error while initializing!\n");
    EXPECT_EQ(image.m_data, nullptr);
    EXPECT_EQ(image.m_image_size, 0);
    EXPECT_EQ(image.m_stride, 0);
}

INSTANTIATE_TEST_SUITE_P(Overflow, ImageStorageBadGeometry,
                         ::testing::Values(BadGeometry{65536, 65536, 1, 1, 1},
                                           BadGeometry{1 << 16, 1 << 8, 1 << 8, 1, 1},
                                           BadGeometry{1024, 1024, 1024, 1024, 4},
                                           BadGeometry{INT_MAX, 1, 1, 1, 2},
                                           BadGeometry{-1, 4, 1, 1, 1},
                                           BadGeometry{-2, -2, 1, 1, 1},
                                           BadGeometry{4, 4, 1, 1, -3}));

TEST(ImageStorage, ClearZeroesElementsAndRecords) {
    ImageBase<float> image;
    image.init(3, 2, 1, 1, 2);
    image.setValue(4.5f, 2, 1, 0, 0, 1);
    image.setWindowLevel(-1.0f, 3.0f, 1);
    image.clear();
    for (int i = 0; i < image.m_image_size; ++i) {
        EXPECT_EQ(image.m_data[i], 0.0f);
    }
    EXPECT_EQ(image.m_window_level[1].window, 0.0f);
    EXPECT_EQ(image.m_window_level[1].low, 0.0f);

    image.releaseData();
    EXPECT_EQ(image.m_data, nullptr);
    image.clear();
    ASSERT_NE(image.m_data, nullptr) << "clear allocates when there is no storage";
    EXPECT_EQ(image.m_data[5], 0.0f);
}

TEST(ImageStorage, SetDataTakesOwnershipUnlessExternal) {
    ImageBase<short> owned;
    owned.init(2, 1, 1, 1, 1);
    auto* block = static_cast<short*>(allocateAligned(2 * sizeof(short)));
    block[0] = 7;
    block[1] = -8;
    short* previous = owned.getData();
    EXPECT_EQ(owned.setData(block), 0);
    EXPECT_EQ(owned.getValue(1, 0, 0, 0, 0), -8.0f);
    releaseAligned(previous);  // the caller keeps the old block; `block` is freed by the image

    short external[4] = {1, 2, 3, 4};
    {
        ImageBase<short> view;
        view.m_external_data = true;
        view.setData(external);
        view.init(2, 2, 1, 1, 1);
        EXPECT_EQ(view.m_data, external) << "init allocates nothing over external storage";
        view.setValue(9.0f, 1, 1, 0, 0, 0);
        view.releaseData();
        EXPECT_EQ(view.m_data, external);
    }
    EXPECT_EQ(external[3], 9) << "the view wrote through and did not free";
}

TEST(ImageStorage, SetWindowLevelAndSpacing) {
    ImageBase<unsigned short> image;
    image.init(1, 1, 1, 1, 2);
    image.setWindowLevel(10.0f, 30.0f, 1);
    EXPECT_EQ(image.m_window_level[1].window, 20.0f);
    EXPECT_EQ(image.m_window_level[1].level, 20.0f);
    EXPECT_EQ(image.m_window_level[1].low, 10.0f);
    EXPECT_EQ(image.m_window_level[1].high, 30.0f);
    EXPECT_EQ(image.m_window_level[0].high, 0.0f);

    // Computed in double: the float sum would round 16777216 + 1 down.
    image.setWindowLevel(16777216.0f, 16777218.0f, 0);
    EXPECT_EQ(image.m_window_level[0].level, 16777217.0f);
    EXPECT_EQ(image.m_window_level[0].window, 2.0f);

    image.setSpacing(0.5f, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ(image.m_spacing[0], 0.5f);
    EXPECT_EQ(image.m_spacing[3], 4.0f);
}

// ---- Element access ---------------------------------------------------------------------------

TEST(ImageAccess, IndexFormulaChannelFastest) {
    ImageBase<int> image;
    image.init(4, 3, 2, 2, 3);
    for (int t = 0; t < 2; ++t)
        for (int z = 0; z < 2; ++z)
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x)
                    for (int c = 0; c < 3; ++c)
                        image.setValue(
                            static_cast<float>(t * 10000 + z * 1000 + y * 100 + x * 10 + c), x, y,
                            z, t, c);
    for (int i = 0; i < image.m_image_size; ++i) {
        const int c = i % 3, x = i / 3 % 4, y = i / 12 % 3, z = i / 36 % 2, t = i / 72;
        ASSERT_EQ(image.m_data[i], t * 10000 + z * 1000 + y * 100 + x * 10 + c) << i;
    }
    EXPECT_EQ(image.element(3, 2, 1, 1, 2), 11232);
    EXPECT_EQ(image.getValue(1, 2, 1, 0, 1), 1211.0f);
    EXPECT_EQ(image.getValue(3.9f, 2.5f, 1.99f), 1230.0f) << "float coordinates truncate";
    float pixel[3];
    image.getPixel(pixel, 2.7f, 1.2f, 0.0f);
    EXPECT_EQ(pixel[0], 120.0f);
    EXPECT_EQ(pixel[1], 121.0f);
    EXPECT_EQ(pixel[2], 122.0f);
}

TEST(ImageAccess, SignedAndUnsignedReads) {
    ImageBase<char> bytes;
    bytes.init(1, 1, 1, 1, 1);
    bytes.m_data[0] = static_cast<char>(-56);
    EXPECT_EQ(bytes.getValue(0, 0, 0, 0, 0), -56.0f);
    ImageBase<unsigned char> ubytes;
    ubytes.init(1, 1, 1, 1, 1);
    ubytes.m_data[0] = 200;
    EXPECT_EQ(ubytes.getValue(0, 0, 0, 0, 0), 200.0f);
}

TEST(ImageAccess, SequentialWalk) {
    ImageBase<unsigned char> image;
    image.init(2, 1, 1, 1, 1);
    image.m_data[0] = 5;
    image.m_data[1] = 6;
    float v = -1.0f;
    EXPECT_TRUE(image.getNext(&v));
    EXPECT_EQ(v, 5.0f);
    EXPECT_TRUE(image.getNext(&v));
    EXPECT_EQ(v, 6.0f);
    v = -1.0f;
    EXPECT_FALSE(image.getNext(&v));
    EXPECT_EQ(v, -1.0f);
    EXPECT_EQ(image.m_position, 2);
    EXPECT_FALSE(image.setNext(1.0f));
    EXPECT_EQ(image.m_data[1], 6);

    image.setCurrent(300.7f);
    EXPECT_EQ(image.m_data[1], 44) << "setCurrent rewrites the last element, converted";

    image.resetPosition();
    EXPECT_EQ(image.m_position, 0);
    EXPECT_TRUE(image.setNext(-1.0f));
    EXPECT_EQ(image.m_data[0], 255);
    EXPECT_EQ(image.m_position, 1);
}

#ifndef NDEBUG
TEST(ImageAccessDeathTest, CheckedBuildsAssertTheIndex) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ImageBase<float> image;
    image.init(2, 2, 1, 1, 1);
    EXPECT_DEATH(image.setValue(1.0f, 2, 1, 0, 0, 0),
                 "c \\+ x\\*m_channels \\+ y\\*m_stride \\+ z\\*m_slice_size \\+ "
                 "t\\*m_frame_size < m_image_size");
    EXPECT_DEATH(image.getValue(0, -1, 0, 0, 0),
                 "m_data \\+ c \\+ x\\*m_channels \\+ y\\*m_stride \\+ z\\*m_slice_size \\+ "
                 "t\\*m_frame_size >= m_data");
    EXPECT_DEATH(image.element(0, 0, 0, 1, 0), "< m_image_size");
}
#endif

// ---- Conversions per element type -------------------------------------------------------------

// Expected element for each input of kInputs, per type: truncation toward zero, kept to the
// type's width; plain conversion for float and double.
constexpr float kInputs[] = {300.7f, -1.5f, 70000.9f, -40000.0f, 5e9f, -5e9f, 0.99f};

template <class T>
struct Expected;
template <>
struct Expected<char> {
    static constexpr long long v[] = {44, -1, 112, -64, 0, 0, 0};
};
template <>
struct Expected<unsigned char> {
    static constexpr long long v[] = {44, 255, 112, 192, 0, 0, 0};
};
template <>
struct Expected<short> {
    static constexpr long long v[] = {300, -1, 4464, 25536, -3584, 3584, 0};
};
template <>
struct Expected<unsigned short> {
    static constexpr long long v[] = {300, 65535, 4464, 25536, 61952, 3584, 0};
};
template <>
struct Expected<int> {
    static constexpr long long v[] = {300, -1, 70000, -40000, 705032704, -705032704, 0};
};
template <>
struct Expected<unsigned int> {
    static constexpr long long v[] = {300,       4294967295LL, 70000, 4294927296LL,
                                      705032704, 3589934592LL, 0};
};

template <class T>
class ImageConversion : public ::testing::Test {};

using ElementTypes =
    ::testing::Types<char, unsigned char, short, unsigned short, int, unsigned int, float, double>;
TYPED_TEST_SUITE(ImageConversion, ElementTypes);

TYPED_TEST(ImageConversion, SetValueTruncatesToTheTypeWidth) {
    ImageBase<TypeParam> image;
    image.init(1, 1, 1, 1, 1);
    for (std::size_t i = 0; i < std::size(kInputs); ++i) {
        image.setValue(kInputs[i], 0, 0, 0, 0, 0);
        if constexpr (std::is_floating_point_v<TypeParam>) {
            EXPECT_EQ(image.element(0, 0, 0, 0, 0), static_cast<TypeParam>(kInputs[i]));
        } else {
            EXPECT_EQ(static_cast<long long>(image.element(0, 0, 0, 0, 0)),
                      Expected<TypeParam>::v[i])
                << "input " << kInputs[i];
        }
    }
}

TYPED_TEST(ImageConversion, NotANumberIsQuiet) {
    ImageBase<TypeParam> image;
    image.init(1, 1, 1, 1, 1);
    image.setValue(std::numeric_limits<float>::quiet_NaN(), 0, 0, 0, 0, 0);
    image.setValue(std::numeric_limits<float>::infinity(), 0, 0, 0, 0, 0);
    if constexpr (!std::is_floating_point_v<TypeParam>) {
        EXPECT_EQ(image.element(0, 0, 0, 0, 0), TypeParam(0));
    }
}

TYPED_TEST(ImageConversion, SwapBytesFollowsTheTypeTable) {
    ImageBase<TypeParam> image;
    image.init(3, 1, 1, 1, 1);
    unsigned char raw[3 * sizeof(TypeParam)];
    for (std::size_t i = 0; i < sizeof raw; ++i) {
        raw[i] = static_cast<unsigned char>(i + 1);
    }
    std::memcpy(image.m_data, raw, sizeof raw);
    image.swapBytes();
    unsigned char after[sizeof raw];
    std::memcpy(after, image.m_data, sizeof raw);
    const std::size_t n = sizeof(TypeParam);
    const bool swaps = n == 2 || n == 4;
    for (std::size_t e = 0; e < 3; ++e) {
        for (std::size_t b = 0; b < n; ++b) {
            const std::size_t from = swaps ? e * n + (n - 1 - b) : e * n + b;
            EXPECT_EQ(after[e * n + b], raw[from]) << "element " << e << " byte " << b;
        }
    }
}

// ---- Raw files --------------------------------------------------------------------------------

TYPED_TEST(ImageConversion, RawRoundTrip) {
    ImageBase<TypeParam> image;
    image.init(3, 2, 2, 2, 2);
    for (int i = 0; i < image.m_image_size; ++i) {
        image.setNext(static_cast<float>(i * 3 - 20));
    }
    const std::string path = tempPath("round.raw");
    ASSERT_EQ(image.saveRaw(path.c_str()), 0);
    EXPECT_EQ(fileSize(path), static_cast<long long>(image.m_image_size * sizeof(TypeParam)));

    ImageBase<TypeParam> copy;
    copy.init(3, 2, 2, 2, 2);
    ASSERT_EQ(copy.loadRaw(path.c_str()), 0);
    EXPECT_EQ(std::memcmp(copy.m_data, image.m_data, image.m_image_size * sizeof(TypeParam)), 0);
    std::remove(path.c_str());
}

TEST(ImageRaw, MissingFileLeavesElements) {
    ImageBase<short> image;
    image.init(2, 2, 1, 1, 1);
    image.m_data[3] = 17;
    EXPECT_EQ(image.loadRaw(tempPath("absent.raw").c_str()), 1);
    EXPECT_EQ(image.m_data[3], 17);
}

TEST(ImageRaw, ShortFileFailsAndLeavesElements) {
    const std::string path = tempPath("short.raw");
    {
        std::ofstream out(path, std::ios::binary);
        const short values[3] = {1, 2, 3};
        out.write(reinterpret_cast<const char*>(values), sizeof values);
    }
    ImageBase<short> image;
    image.init(2, 2, 1, 1, 1);
    image.m_data[0] = 40;
    EXPECT_EQ(image.loadRaw(path.c_str()), 1);
    EXPECT_EQ(image.m_data[0], 40);
    std::remove(path.c_str());
}

TEST(ImageRaw, SaveFailuresReturnOne) {
    ImageBase<float> image;
    image.init(4, 4, 1, 1, 1);
    EXPECT_EQ(image.saveRaw((tempPath("no-such-dir") + "/x.raw").c_str()), 1);
    // The device accepts the open but no byte: the write or the close fails.
    if (std::FILE* probe = std::fopen("/dev/full", "wb")) {
        std::fclose(probe);
        EXPECT_EQ(image.saveRaw("/dev/full"), 1);
    }
}

// ---- Free functions ---------------------------------------------------------------------------

TEST(ImageFactory, CreateImageByTypeCode) {
    struct Row {
        int code;
        bool (*isType)(Image*);
    };
    const Row rows[] = {
        {0x1400, [](Image* i) { return dynamic_cast<ImageBase<char>*>(i) != nullptr; }},
        {0x1401, [](Image* i) { return dynamic_cast<ImageBase<unsigned char>*>(i) != nullptr; }},
        {0x1402, [](Image* i) { return dynamic_cast<ImageBase<short>*>(i) != nullptr; }},
        {0x1403, [](Image* i) { return dynamic_cast<ImageBase<unsigned short>*>(i) != nullptr; }},
        {0x1404, [](Image* i) { return dynamic_cast<ImageBase<int>*>(i) != nullptr; }},
        {0x1405, [](Image* i) { return dynamic_cast<ImageBase<unsigned int>*>(i) != nullptr; }},
        {0x1406, [](Image* i) { return dynamic_cast<ImageBase<float>*>(i) != nullptr; }},
        {0x140A, [](Image* i) { return dynamic_cast<ImageBase<double>*>(i) != nullptr; }},
    };
    for (const Row& row : rows) {
        Image* image = createImage(row.code);
        ASSERT_NE(image, nullptr) << row.code;
        EXPECT_TRUE(row.isType(image)) << row.code;
        EXPECT_EQ(image->m_image_size, 0);
        EXPECT_EQ(image->reservedOperation(42), 0);
        delete image;
    }
    for (int code : {0, 0x1407, 0x1408, 0x1409, 0x140B, -1}) {
        EXPECT_EQ(createImage(code), nullptr) << code;
    }
}

TEST(ImageFactory, NextPowerOfTwo) {
    const int rows[][2] = {{0, 0},
                           {1, 1},
                           {2, 2},
                           {3, 4},
                           {4, 4},
                           {5, 8},
                           {8, 8},
                           {100, 128},
                           {1023, 1024},
                           {1025, 2048},
                           {1 << 30, 1 << 30},
                           {(1 << 30) + 1, 0},
                           {INT_MAX, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(nextPowerOfTwo(row[0]), row[1]) << row[0];
    }
}

}  // namespace
}  // namespace Nevra
