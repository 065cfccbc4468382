// Bitmap::readBitmap. A fixture builds a valid BMP file in memory; each failure case changes one
// field or cuts the file, writes it to a temporary file and reads it.

#include "bitmap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace Nevra {
namespace {

// Field offsets in the file.
constexpr int kOffBits = 10;
constexpr int kInfoSize = 14;
constexpr int kWidth = 18;
constexpr int kHeight = 22;
constexpr int kBitCount = 28;
constexpr int kCompression = 30;
constexpr int kSizeImage = 34;
constexpr int kXPels = 38;
constexpr int kYPels = 42;
constexpr int kClrUsed = 46;

constexpr unsigned char kPadding = 0xEE;

// The byte k of the pixel (x, y) of the test picture, y counted from the top row.
unsigned char pixelByte(int x, int y, int k) {
    return static_cast<unsigned char>(x * 37 + y * 11 + k * 5 + 3);
}

struct BmpLayout {
    int width = 3;
    int height = 2;  // negative: top-down rows
    int bitCount = 24;
    unsigned compression = 0;
    unsigned infoSize = 40;
    unsigned clrUsed = 0;
    int xPels = 0;
    int yPels = 0;
    unsigned gap = 0;            // bytes between palette and pixels, skipped through bfOffBits
    bool zeroSizeImage = false;  // biSizeImage 0, as allowed for uncompressed pictures
    bool masks = false;          // three BI_BITFIELDS masks after a 40-byte header
};

void put16(std::vector<unsigned char>& b, int at, unsigned v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void put32(std::vector<unsigned char>& b, int at, unsigned v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

std::vector<unsigned char> buildBmp(const BmpLayout& L) {
    const int h = L.height < 0 ? -L.height : L.height;
    const int channels = L.bitCount == 8 ? 1 : L.bitCount / 8;
    const int rowBytes = ((L.bitCount * L.width + 31) & ~31) / 8;
    const int entries = L.bitCount == 8 ? (L.clrUsed != 0 ? static_cast<int>(L.clrUsed) : 256) : 0;
    const int masks = L.masks ? 12 : 0;
    const int dataStart =
        14 + static_cast<int>(L.infoSize) + masks + 4 * entries + static_cast<int>(L.gap);

    std::vector<unsigned char> b(dataStart + rowBytes * h, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<unsigned>(b.size()));
    put32(b, kOffBits, static_cast<unsigned>(dataStart));
    put32(b, kInfoSize, L.infoSize);
    put32(b, kWidth, static_cast<unsigned>(L.width));
    put32(b, kHeight, static_cast<unsigned>(L.height));
    put16(b, 26, 1);
    put16(b, kBitCount, static_cast<unsigned>(L.bitCount));
    put32(b, kCompression, L.compression);
    put32(b, kSizeImage, L.zeroSizeImage ? 0u : static_cast<unsigned>(rowBytes * h));
    put32(b, kXPels, static_cast<unsigned>(L.xPels));
    put32(b, kYPels, static_cast<unsigned>(L.yPels));
    put32(b, kClrUsed, L.clrUsed);
    int at = 14 + static_cast<int>(L.infoSize);
    for (int m = 0; m < masks; ++m) {
        b[at++] = 0xAA;  // never read as pixels
    }
    for (int e = 0; e < entries; ++e, at += 4) {
        b[at] = static_cast<unsigned char>(e);
        b[at + 1] = static_cast<unsigned char>(e + 1);
        b[at + 2] = static_cast<unsigned char>(e + 2);
        b[at + 3] = 0;
    }
    std::fill(b.begin() + at, b.begin() + dataStart, 0xAB);  // the gap
    for (int r = 0; r < h; ++r) {
        const int y = L.height > 0 ? h - 1 - r : r;  // bottom-up files start with the last row
        unsigned char* row = b.data() + dataStart + r * rowBytes;
        std::fill(row, row + rowBytes, kPadding);
        for (int x = 0; x < L.width; ++x) {
            for (int k = 0; k < channels; ++k) {
                row[x * channels + k] = pixelByte(x, y, k);
            }
        }
    }
    return b;
}

class BitmapTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // The process id keeps runs of two builds at the same time apart.
        path_ = ::testing::TempDir() + "bitmap_" + std::to_string(getpid()) + "_" + info->name() +
                ".bmp";
        for (std::size_t i = ::testing::TempDir().size(); i < path_.size(); ++i) {
            if (path_[i] == '/') {
                path_[i] = '_';
            }
        }
    }
    void TearDown() override { std::remove(path_.c_str()); }

    int read(const std::vector<unsigned char>& bytes) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        return bitmap_.readBitmap(path_.c_str(), 1);
    }

    // Every byte of the picture is where it belongs, top row first, without padding.
    void expectPicture(const BmpLayout& L) {
        const int h = L.height < 0 ? -L.height : L.height;
        const int channels = L.bitCount == 8 ? 1 : L.bitCount / 8;
        ASSERT_EQ(bitmap_.getWidth(), L.width);
        ASSERT_EQ(bitmap_.getHeight(), h);
        ASSERT_EQ(bitmap_.m_channels, channels);
        ASSERT_EQ(bitmap_.m_stride, L.width * channels);
        ASSERT_EQ(bitmap_.m_image_size, L.width * channels * h);
        EXPECT_EQ(bitmap_.m_bit_count, L.bitCount);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < L.width; ++x)
                for (int k = 0; k < channels; ++k)
                    ASSERT_EQ(bitmap_.element(x, y, 0, 0, k), pixelByte(x, y, k))
                        << "x " << x << " y " << y << " k " << k;
    }

    std::string path_;
    Bitmap bitmap_;
};

// ---- Valid files ------------------------------------------------------------------------------

class BitmapVariants : public BitmapTest, public ::testing::WithParamInterface<BmpLayout> {};

TEST_P(BitmapVariants, ReadsEveryByteInPlace) {
    const BmpLayout layout = GetParam();
    ASSERT_EQ(read(buildBmp(layout)), 1);
    expectPicture(layout);
    EXPECT_NE(bitmap_.m_window_level, nullptr);
}

BmpLayout variant(int bits, int width, int height) {
    BmpLayout L;
    L.bitCount = bits;
    L.width = width;
    L.height = height;
    return L;
}

// Widths 1, 2, 3 and 5 exercise every row padding; negative heights are top-down files.
INSTANTIATE_TEST_SUITE_P(Depths, BitmapVariants,
                         ::testing::Values(variant(8, 1, 3), variant(8, 2, 3), variant(8, 3, 2),
                                           variant(8, 5, 4), variant(8, 5, -4), variant(16, 1, 2),
                                           variant(16, 3, 3), variant(16, 5, -2), variant(24, 1, 1),
                                           variant(24, 2, 2), variant(24, 3, 2), variant(24, 5, 3),
                                           variant(24, 2, -2), variant(24, 5, -3),
                                           variant(32, 1, 2), variant(32, 3, 3),
                                           variant(32, 3, -3)));

TEST_F(BitmapTest, TwoByTwoBottomUpAndTopDownAgree) {
    BmpLayout L = variant(24, 2, 2);
    ASSERT_EQ(read(buildBmp(L)), 1);
    EXPECT_EQ(bitmap_.m_stride, 6);
    EXPECT_EQ(bitmap_.m_image_size, 12);
    EXPECT_EQ(bitmap_.m_channels, 3);
    const std::vector<unsigned char> bottomUp(bitmap_.m_data, bitmap_.m_data + 12);
    // The file's first row is the picture's bottom row.
    const std::vector<unsigned char> file = buildBmp(L);
    EXPECT_EQ(std::memcmp(bitmap_.m_data + 6, file.data() + 54, 6), 0);

    L.height = -2;
    ASSERT_EQ(read(buildBmp(L)), 1);
    EXPECT_EQ(std::vector<unsigned char>(bitmap_.m_data, bitmap_.m_data + 12), bottomUp);
}

TEST_F(BitmapTest, PaletteOfAllEntriesWhenClrUsedIsZero) {
    const BmpLayout L = variant(8, 3, 2);
    ASSERT_EQ(read(buildBmp(L)), 1);
    ASSERT_EQ(bitmap_.m_palette_size, 256);
    ASSERT_NE(bitmap_.m_palette, nullptr);
    EXPECT_EQ(bitmap_.m_palette[200].blue, 200);
    EXPECT_EQ(bitmap_.m_palette[200].green, 201);
    EXPECT_EQ(bitmap_.m_palette[200].red, 202);
    expectPicture(L);
}

TEST_F(BitmapTest, ShortPaletteIsFollowedByThePixels) {
    BmpLayout L = variant(8, 5, 3);
    L.clrUsed = 16;
    ASSERT_EQ(read(buildBmp(L)), 1);
    EXPECT_EQ(bitmap_.m_palette_size, 16);
    EXPECT_EQ(bitmap_.m_palette[15].red, 17);
    expectPicture(L);

    // A second read replaces the palette.
    L.clrUsed = 2;
    ASSERT_EQ(read(buildBmp(L)), 1);
    EXPECT_EQ(bitmap_.m_palette_size, 2);
    EXPECT_EQ(bitmap_.m_palette[1].blue, 1);
}

TEST_F(BitmapTest, DirectColourLeavesThePalette) {
    ASSERT_EQ(read(buildBmp(variant(8, 2, 2))), 1);
    PaletteEntry* palette = bitmap_.m_palette;
    ASSERT_EQ(read(buildBmp(variant(24, 2, 2))), 1);
    EXPECT_EQ(bitmap_.m_palette, palette);
    EXPECT_EQ(bitmap_.m_palette_size, 256);
}

TEST_F(BitmapTest, SpacingFromPixelsPerMetre) {
    BmpLayout L = variant(24, 256, 2);
    L.xPels = 2835;
    L.yPels = 0;
    bitmap_.m_spacing[1] = 7.0f;
    ASSERT_EQ(read(buildBmp(L)), 1);
    EXPECT_EQ(bitmap_.m_spacing[0], static_cast<float>(256.0 / 2835.0));
    EXPECT_EQ(bitmap_.m_spacing[1], 7.0f) << "0 keeps the previous spacing";
    EXPECT_EQ(bitmap_.m_spacing[2], 1.0f);

    L.height = -4;
    L.yPels = 100;
    ASSERT_EQ(read(buildBmp(L)), 1);
    EXPECT_EQ(bitmap_.m_spacing[1], static_cast<float>(4.0 / 100.0)) << "H is |biHeight|";
}

TEST_F(BitmapTest, ZeroExtentGivesAnEmptyImage) {
    ASSERT_EQ(read(buildBmp(variant(24, 4, 4))), 1);
    ASSERT_EQ(read(buildBmp(variant(24, 3, 0))), 1);
    EXPECT_EQ(bitmap_.getHeight(), 0);
    EXPECT_EQ(bitmap_.getWidth(), 3);
    EXPECT_EQ(bitmap_.getData(), nullptr);

    ASSERT_EQ(read(buildBmp(variant(8, 0, 3))), 1);
    EXPECT_EQ(bitmap_.getWidth(), 0);
    EXPECT_EQ(bitmap_.getHeight(), 3);
    EXPECT_EQ(bitmap_.getData(), nullptr);
}

TEST_F(BitmapTest, SizeImageZeroMeansTheRowsNeeded) {
    BmpLayout L = variant(24, 5, 3);
    L.zeroSizeImage = true;
    ASSERT_EQ(read(buildBmp(L)), 1);
    expectPicture(L);
}

TEST_F(BitmapTest, LargerSizeImageReadsTheRows) {
    const BmpLayout L = variant(8, 3, 3);
    std::vector<unsigned char> file = buildBmp(L);
    put32(file, kSizeImage, 9999);
    ASSERT_EQ(read(file), 1);
    expectPicture(L);
}

TEST_F(BitmapTest, LargerHeadersAndAGapBeforeThePixels) {
    for (unsigned infoSize : {52u, 56u, 108u, 124u}) {
        for (int bits : {8, 24}) {
            BmpLayout L = variant(bits, 3, -2);
            L.infoSize = infoSize;
            L.clrUsed = bits == 8 ? 4 : 0;
            L.gap = 6;
            ASSERT_EQ(read(buildBmp(L)), 1) << infoSize << " " << bits;
            expectPicture(L);
            if (bits == 8) {
                EXPECT_EQ(bitmap_.m_palette[3].green, 4) << "palette follows the header";
            }
        }
    }
}

TEST_F(BitmapTest, OffsetInsideTheHeaderIsTakenAsUnset) {
    const BmpLayout L = variant(24, 3, 2);
    std::vector<unsigned char> file = buildBmp(L);
    put32(file, kOffBits, 0);
    ASSERT_EQ(read(file), 1);
    expectPicture(L);
}

TEST_F(BitmapTest, BitfieldsKeepTheStoredBytes) {
    for (int bits : {16, 32}) {
        BmpLayout L = variant(bits, 3, 2);
        L.compression = 3;
        L.masks = true;
        ASSERT_EQ(read(buildBmp(L)), 1) << bits;
        expectPicture(L);
        // The masks sit between header and pixels even when bfOffBits does not say so.
        std::vector<unsigned char> file = buildBmp(L);
        put32(file, kOffBits, 0);
        ASSERT_EQ(read(file), 1) << bits;
        expectPicture(L);
    }
}

// Any single damaged header byte, and a cut at any length, gives 1 with a consistent image or -1;
// the sanitizer build turns any read past a buffer into a failure here.
TEST_F(BitmapTest, DamagedHeaderBytesAndCutsAreSafe) {
    BmpLayout L = variant(8, 3, 2);
    L.clrUsed = 2;
    const std::vector<unsigned char> file = buildBmp(L);
    for (std::size_t at = 0; at < 54 + 8; ++at) {
        for (unsigned char value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            std::vector<unsigned char> damaged = file;
            damaged[at] = value;
            const int result = read(damaged);
            ASSERT_TRUE(result == 1 || result == -1) << at;
            if (result == 1) {
                EXPECT_EQ(bitmap_.m_image_size,
                          bitmap_.getWidth() * bitmap_.getHeight() * bitmap_.m_channels);
                EXPECT_EQ(bitmap_.m_data == nullptr, bitmap_.m_image_size == 0);
            }
        }
    }
    for (std::size_t length = 0; length < file.size(); ++length) {
        EXPECT_EQ(read(std::vector<unsigned char>(file.begin(), file.begin() + length)), -1)
            << length;
    }
}

// ---- Failures ---------------------------------------------------------------------------------
// Every failure leaves the previous picture exactly as it was.

class BitmapFailure : public BitmapTest {
protected:
    void SetUp() override {
        BitmapTest::SetUp();
        BmpLayout L = variant(8, 3, 2);
        L.clrUsed = 4;
        L.xPels = 1000;
        ASSERT_EQ(read(buildBmp(L)), 1);
        data_.assign(bitmap_.m_data, bitmap_.m_data + bitmap_.m_image_size);
        palette_ = bitmap_.m_palette;
        spacing_ = bitmap_.m_spacing[0];
    }

    void expectUnchanged(int bitCount = 8) {
        EXPECT_EQ(bitmap_.m_bit_count, bitCount);
        EXPECT_EQ(bitmap_.getWidth(), 3);
        EXPECT_EQ(bitmap_.getHeight(), 2);
        EXPECT_EQ(bitmap_.m_channels, 1);
        EXPECT_EQ(bitmap_.m_image_size, 6);
        ASSERT_NE(bitmap_.m_data, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(bitmap_.m_data, bitmap_.m_data + 6), data_);
        EXPECT_EQ(bitmap_.m_palette, palette_);
        EXPECT_EQ(bitmap_.m_palette_size, 4);
        EXPECT_EQ(bitmap_.m_spacing[0], spacing_);
    }

    // A valid 24-bit file of 5 x 3 pixels to corrupt; its depth 24 is what m_bit_count then holds.
    static std::vector<unsigned char> good() {
        BmpLayout L = variant(24, 5, 3);
        L.xPels = 3;
        return buildBmp(L);
    }

    std::vector<unsigned char> data_;
    PaletteEntry* palette_ = nullptr;
    float spacing_ = 0.0f;
};

TEST_F(BitmapFailure, NullOrMissingFile) {
    EXPECT_EQ(bitmap_.readBitmap(nullptr, 1), -1);
    expectUnchanged();
    EXPECT_EQ(bitmap_.readBitmap((path_ + ".absent").c_str(), 1), -1);
    expectUnchanged();
}

TEST_F(BitmapFailure, WrongSignatureLeavesTheBitCount) {
    for (const char* sig : {"MB", "BA", "\0M", "PK"}) {
        std::vector<unsigned char> file = good();
        file[0] = static_cast<unsigned char>(sig[0]);
        file[1] = static_cast<unsigned char>(sig[1]);
        EXPECT_EQ(read(file), -1) << sig;
        expectUnchanged(8);
    }
    EXPECT_EQ(read({}), -1);
    EXPECT_EQ(read({'B'}), -1);
    expectUnchanged(8);
}

TEST_F(BitmapFailure, RefusedDepthsRecordTheDepth) {
    for (unsigned bits : {1u, 2u, 4u, 0u, 15u}) {
        std::vector<unsigned char> file = good();
        put16(file, kBitCount, bits);
        EXPECT_EQ(read(file), -1) << bits;
        expectUnchanged(static_cast<int>(bits));
    }
}

TEST_F(BitmapFailure, CompressedPicturesAreRefused) {
    // RLE8, RLE4, JPEG, PNG, an unknown code; bit fields only at 16 and 32 bits.
    for (unsigned compression : {1u, 2u, 4u, 5u, 6u, 0xFFFFFFFFu, 3u}) {
        std::vector<unsigned char> file = good();
        put32(file, kCompression, compression);
        EXPECT_EQ(read(file), -1) << compression;
        expectUnchanged(24);
    }
}

TEST_F(BitmapFailure, UnknownHeaderSizes) {
    for (unsigned size : {0u, 12u, 39u, 41u, 64u, 0xFFFFFFFFu}) {
        std::vector<unsigned char> file = good();
        put32(file, kInfoSize, size);
        EXPECT_EQ(read(file), -1) << size;
        expectUnchanged(24);
    }
}

TEST_F(BitmapFailure, HostileDimensions) {
    struct Row {
        int width;
        int height;
    };
    const Row rows[] = {
        {-1, 3},                // negative width
        {5, INT_MIN},           // height without an absolute value
        {(1 << 24) + 1, 1},     // beyond the dimension cap
        {5, -((1 << 24) + 1)},  //
        {1 << 24, 1 << 24},     // element count beyond int
        {INT_MAX, 1},           // row size overflows
        {1 << 20, 1 << 12},     // 12 GiB of pixels
        {8192, 8192},           // 192 MiB announced by a file of 102 bytes
    };
    for (const Row& row : rows) {
        std::vector<unsigned char> file = good();
        put32(file, kWidth, static_cast<unsigned>(row.width));
        put32(file, kHeight, static_cast<unsigned>(row.height));
        put32(file, kSizeImage, 0);
        EXPECT_EQ(read(file), -1) << row.width << " x " << row.height;
        expectUnchanged(24);
    }
}

TEST_F(BitmapFailure, SizeImageSmallerThanTheRows) {
    std::vector<unsigned char> file = good();
    put32(file, kSizeImage, 16 * 3 - 1);  // rows of 16 bytes (15 padded to 16)
    EXPECT_EQ(read(file), -1);
    expectUnchanged(24);
}

TEST_F(BitmapFailure, TruncatedFiles) {
    const std::vector<unsigned char> file = good();
    for (std::size_t length : {std::size_t{10}, std::size_t{29}, std::size_t{30}, std::size_t{53},
                               std::size_t{54}, file.size() - 16, file.size() - 1}) {
        const std::vector<unsigned char> cut(file.begin(), file.begin() + length);
        EXPECT_EQ(read(cut), -1) << length;
        expectUnchanged(length >= 30 ? 24 : 8);
    }
}

TEST_F(BitmapFailure, TruncatedPalette) {
    BmpLayout L = variant(8, 2, 1);
    std::vector<unsigned char> file = buildBmp(L);
    file.resize(54 + 100);
    EXPECT_EQ(read(file), -1);
    expectUnchanged(8);
}

TEST_F(BitmapFailure, PaletteSizes) {
    for (unsigned entries : {257u, 0x40000000u, 0xFFFFFFFFu}) {
        std::vector<unsigned char> file = buildBmp(variant(8, 2, 2));
        put32(file, kClrUsed, entries);
        EXPECT_EQ(read(file), -1) << entries;
        expectUnchanged(8);
    }
}

TEST_F(BitmapFailure, OffsetBeyondTheFile) {
    for (unsigned offset : {200u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<unsigned char> file = good();
        put32(file, kOffBits, offset);
        EXPECT_EQ(read(file), -1) << offset;
        expectUnchanged(24);
    }
}

}  // namespace
}  // namespace Nevra
