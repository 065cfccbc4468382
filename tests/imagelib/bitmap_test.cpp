// Bitmap::readBitmap. A fixture builds a valid BMP file in memory in any of the layouts the
// reader takes; failure cases overwrite fields of a valid file or cut it short. Each file is
// written to a temporary file and read.

#include "bitmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "image_test_support.h"
#include "support/bmp_file.h"

namespace Nevra {
namespace {

using namespace bmp_file;

Layout variant(int bits, int width, int height, unsigned clrUsed = 0, unsigned infoSize = 40,
               unsigned gap = 0, bool bitfields = false, std::vector<Patch> patches = {}) {
    return Layout{bits, width, height, clrUsed, infoSize, gap, bitfields, std::move(patches)};
}

// The byte k of the pixel (x, y) of the test picture, y counted from the top row.
unsigned char pixelByte(int x, int y, int k) {
    return static_cast<unsigned char>(x * 37 + y * 11 + k * 5 + 3);
}

std::vector<unsigned char> buildBmp(const Layout& L) {
    return build(L, pixelByte);
}

class BitmapTest : public ::testing::Test {
protected:
    void SetUp() override { path_ = nevra_test::tempPath("file.bmp"); }
    void TearDown() override { std::remove(path_.c_str()); }

    int read(const std::vector<unsigned char>& bytes) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return bitmap_.readBitmap(path_.c_str(), 1);
    }

    // All a read may change, but for m_bit_count.
    auto state() const {
        return std::make_tuple(bitmap_.getWidth(), bitmap_.getHeight(), bitmap_.m_channels,
                               bitmap_.m_image_size, nevra_test::elements<unsigned char>(bitmap_),
                               bitmap_.m_window_level, bitmap_.m_palette, bitmap_.m_palette_size,
                               bitmap_.m_spacing[0]);
    }

    std::string path_;
    Bitmap bitmap_;
};

// ---- Valid files ------------------------------------------------------------------------------

class BitmapVariants : public BitmapTest, public ::testing::WithParamInterface<Layout> {};

// Every byte of the picture lands where it belongs, top row first and without row padding, and
// an 8-bit file's palette is kept as stored.
TEST_P(BitmapVariants, ReadsEveryByteInPlace) {
    const Layout L = GetParam();
    ASSERT_EQ(read(buildBmp(L)), 1);
    const int h = L.height < 0 ? -L.height : L.height;
    const int channels = L.bitCount == 8 ? 1 : L.bitCount / 8;
    const int stride = L.width * channels;
    ASSERT_EQ((std::vector<int>{bitmap_.getWidth(), bitmap_.getHeight(), bitmap_.m_channels,
                                bitmap_.m_stride, bitmap_.m_image_size, bitmap_.m_bit_count}),
              (std::vector<int>{L.width, h, channels, stride, stride * h, L.bitCount}));
    EXPECT_NE(bitmap_.m_window_level, nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < L.width; ++x)
            for (int k = 0; k < channels; ++k)
                ASSERT_EQ(bitmap_.element(x, y, 0, 0, k), pixelByte(x, y, k))
                    << "x " << x << " y " << y << " k " << k;
    if (L.bitCount == 8) {
        ASSERT_EQ(bitmap_.m_palette_size, L.clrUsed != 0 ? static_cast<int>(L.clrUsed) : 256);
        for (int e = 0; e < bitmap_.m_palette_size; ++e) {
            const PaletteEntry& p = bitmap_.m_palette[e];
            ASSERT_TRUE(p.blue == e && p.green == (e + 1) % 256 && p.red == (e + 2) % 256) << e;
        }
    }
}

// Widths 1, 2, 3 and 5 give every row padding; negative heights are top-down files.
INSTANTIATE_TEST_SUITE_P(
    Layouts, BitmapVariants,
    ::testing::Values(variant(8, 1, 3), variant(8, 2, 3), variant(8, 3, 2), variant(8, 5, 4),
                      variant(8, 5, -4), variant(8, 5, 3, 16), variant(16, 1, 2), variant(16, 3, 3),
                      variant(16, 5, -2), variant(24, 1, 1), variant(24, 2, 2), variant(24, 3, 2),
                      variant(24, 5, 3), variant(24, 2, -2), variant(24, 5, -3), variant(32, 1, 2),
                      variant(32, 3, 3), variant(32, 3, -3),
                      // biSizeImage 0 (allowed uncompressed) or larger than the rows
                      variant(24, 5, 3, 0, 40, 0, false, {{kSizeImage, 0}}),
                      variant(8, 3, 3, 0, 40, 0, false, {{kSizeImage, 9999}}),
                      // larger information headers, a gap before the pixels
                      variant(8, 3, -2, 4, 52, 6), variant(24, 3, -2, 0, 56, 6),
                      variant(8, 3, -2, 4, 108, 6), variant(24, 3, -2, 0, 124, 6),
                      // an offset inside the headers is taken as unset
                      variant(24, 3, 2, 0, 40, 0, false, {{kOffBits, 0}}),
                      // bit fields keep the stored bytes; the masks are skipped without an offset
                      variant(16, 3, 2, 0, 40, 0, true),
                      variant(32, 3, 2, 0, 40, 0, true, {{kOffBits, 0}})));

TEST_F(BitmapTest, LaterReadsReplaceWhatTheFileGives) {
    // Spacing from pixels per metre; 0 keeps the previous spacing; H is |biHeight|.
    bitmap_.m_spacing[1] = 7.0f;
    ASSERT_EQ(read(buildBmp(variant(24, 256, 2, 0, 40, 0, false, {{kXPels, 2835}}))), 1);
    EXPECT_EQ(bitmap_.m_spacing[0], static_cast<float>(256.0 / 2835.0));
    EXPECT_EQ(bitmap_.m_spacing[1], 7.0f);
    ASSERT_EQ(read(buildBmp(variant(24, 2, -4, 0, 40, 0, false, {{kYPels, 100}}))), 1);
    EXPECT_EQ(bitmap_.m_spacing[1], static_cast<float>(4.0 / 100.0));

    // An 8-bit file replaces the palette; a direct-colour file leaves it.
    ASSERT_EQ(read(buildBmp(variant(8, 2, 2, 16))), 1);
    ASSERT_EQ(read(buildBmp(variant(8, 2, 2, 2))), 1);
    EXPECT_EQ(bitmap_.m_palette_size, 2);
    const PaletteEntry* palette = bitmap_.m_palette;
    ASSERT_EQ(read(buildBmp(variant(24, 2, 2))), 1);
    EXPECT_EQ(bitmap_.m_palette, palette);
    EXPECT_EQ(bitmap_.m_palette_size, 2);

    // A zero extent gives an empty image; no row is copied.
    auto geometry = [this] {
        return std::make_tuple(bitmap_.getWidth(), bitmap_.getHeight(), bitmap_.getData());
    };
    ASSERT_EQ(read(buildBmp(variant(24, 3, 0))), 1);
    EXPECT_EQ(geometry(), std::make_tuple(3, 0, nullptr));
    ASSERT_EQ(read(buildBmp(variant(8, 0, 3))), 1);
    EXPECT_EQ(geometry(), std::make_tuple(0, 3, nullptr));
}

// The colour masks of a BI_BITFIELDS file are kept, whether they follow a 40-byte header or lie
// inside a larger one; any other file clears them.
TEST_F(BitmapTest, KeepsTheColourMasksOfBitFieldFiles) {
    const std::vector<Patch> masks565 = {
        {kMasks, 0xF800}, {kMasks + 4, 0x07E0}, {kMasks + 8, 0x001F}};
    auto masks = [this] {
        return std::vector<unsigned>(bitmap_.m_color_masks, bitmap_.m_color_masks + 3);
    };
    EXPECT_EQ(masks(), (std::vector<unsigned>{0, 0, 0}));
    ASSERT_EQ(read(buildBmp(variant(16, 3, 2, 0, 40, 0, true, masks565))), 1);
    EXPECT_EQ(masks(), (std::vector<unsigned>{0xF800, 0x07E0, 0x001F}));
    ASSERT_EQ(read(buildBmp(variant(24, 2, 2))), 1);
    EXPECT_EQ(masks(), (std::vector<unsigned>{0, 0, 0}));
    ASSERT_EQ(read(buildBmp(variant(
                  32, 2, 2, 0, 108, 0, true,
                  {{kMasks, 0xFF000000}, {kMasks + 4, 0x00FF0000}, {kMasks + 8, 0x0000FF00}}))),
              1);
    EXPECT_EQ(masks(), (std::vector<unsigned>{0xFF000000, 0x00FF0000, 0x0000FF00}));
}

// Any single damaged header byte gives 1 with a consistent image or -1; the sanitizer build turns
// any read past a buffer into a failure here.
TEST_F(BitmapTest, DamagedHeaderBytesAreSafe) {
    const std::vector<unsigned char> file = buildBmp(variant(8, 3, 2, 2));
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
}

// ---- Failures ---------------------------------------------------------------------------------

// Every failure returns -1 and leaves the picture read before exactly as it was; only
// m_bit_count takes the file's depth once the signature and the depth field were read.
TEST_F(BitmapTest, FailuresLeaveThePreviousPicture) {
    ASSERT_EQ(read(buildBmp(variant(8, 3, 2, 4, 40, 0, false, {{kXPels, 1000}}))), 1);
    const auto before = state();
    CoutCapture out;
    auto expectUnchanged = [&](int bitCount, const std::string& row) {
        EXPECT_EQ(bitmap_.m_bit_count, bitCount) << row;
        EXPECT_EQ(state(), before) << row;
    };

    // Storage that is not the image's own is never replaced, even by the valid file just read.
    bitmap_.m_external_data = true;
    EXPECT_EQ(bitmap_.readBitmap(path_.c_str(), 1), -1);
    bitmap_.m_external_data = false;
    EXPECT_EQ(bitmap_.readBitmap(nullptr, 1), -1);
    EXPECT_EQ(bitmap_.readBitmap((path_ + ".absent").c_str(), 1), -1);
    expectUnchanged(8, "no file, external storage");

    // A valid 24-bit file of 5 x 3 pixels (rows of 16 bytes, 102 bytes in all), with the fields
    // `also` and then the field at `at` set to each of `values`.
    const std::vector<unsigned char> good =
        buildBmp(variant(24, 5, 3, 0, 40, 0, false, {{kXPels, 3}}));
    const unsigned kBig = (1u << 24) + 1;
    const struct {
        std::vector<Patch> also;
        int at;
        int bytes;
        std::vector<unsigned> values;
        int bitCount;  // m_bit_count afterwards; -1: the value, 0: as before
    } fields[] = {
        {{}, 0, 2, {'M' | 'B' << 8, 'B' | 'A' << 8, 'M' << 8, 'P' | 'K' << 8}, 0},  // not "BM"
        // depths BMP does not define; 17 bits make rows as long as 24 bits do
        {{}, kBitCount, 2, {1, 2, 4, 0, 15, 17, 23, 40, 64}, -1},
        // RLE8, RLE4, JPEG, PNG, alpha bit fields, an unknown code; bit fields at 24 bits
        {{}, kCompression, 4, {1, 2, 4, 5, 6, 0xFFFFFFFF, 3}, 24},
        {{}, kInfoSize, 4, {0, 12, 39, 41, 64, 0xFFFFFFFF}, 24},
        {{}, kSizeImage, 4, {16 * 3 - 1}, 24},  // smaller than the rows
        {{}, kOffBits, 4, {200, 0x7FFFFFFF, 0xFFFFFFFF}, 24},
        // 8 bits: 256 palette entries cut short, or more than 256
        {{{kBitCount, 8, 2}}, kClrUsed, 4, {0, 257, 0x40000000, 0xFFFFFFFF}, 8},
        // hostile sizes, with biSizeImage 0 so that it does not refuse them first: negative,
        // beyond 2^24, without an absolute value, an element count beyond int, 192 MiB announced
        // by 102 bytes
        {{{kSizeImage, 0}}, kWidth, 4, {0xFFFFFFFF, kBig}, 24},
        {{{kSizeImage, 0}}, kHeight, 4, {0x80000000, 0u - kBig}, 24},
        {{{kSizeImage, 0}, {kHeight, 1 << 24}}, kWidth, 4, {1 << 24}, 24},
        {{{kSizeImage, 0}, {kHeight, 8192}}, kWidth, 4, {8192}, 24},
        // no rows, but a row longer than an int: 2^24 pixels of 128 bytes
        {{{kSizeImage, 0}, {kHeight, 0}, {kBitCount, 1024, 2}}, kWidth, 4, {1 << 24}, 1024},
    };
    for (const auto& field : fields) {
        for (unsigned value : field.values) {
            std::vector<unsigned char> file = good;
            for (const Patch& p : field.also)
                put(file, p);
            put(file, Patch{field.at, value, field.bytes});
            const std::string row =
                "field " + std::to_string(field.at) + " = " + std::to_string(value);
            const int before = bitmap_.m_bit_count;
            EXPECT_EQ(read(file), -1) << row;
            expectUnchanged(field.bitCount < 0    ? static_cast<int>(value)
                            : field.bitCount == 0 ? before
                                                  : field.bitCount,
                            row);
        }
    }
    // That file, and an 8-bit one with a short palette, cut at every length; the depth field is
    // read from 30 bytes on.
    for (const auto& file : {good, buildBmp(variant(8, 3, 2, 2))}) {
        for (std::size_t keep = 0; keep < file.size(); ++keep) {
            const int before = bitmap_.m_bit_count;
            EXPECT_EQ(read(std::vector<unsigned char>(file.begin(), file.begin() + keep)), -1);
            expectUnchanged(keep < 30 ? before : file[kBitCount], "cut at " + std::to_string(keep));
        }
    }
    EXPECT_EQ(out.text(), "") << "the reader prints nothing";
}

// Only regular files are read: a FIFO (whose open would block for ever), a directory or a device
// fails as a file that cannot be opened, before anything is read. Files of /proc, regular but
// without a length, fail too.
TEST_F(BitmapTest, OnlyRegularFilesAreRead) {
    ASSERT_EQ(read(buildBmp(variant(24, 3, 2))), 1);
    const auto before = state();
    const std::string fifo = nevra_test::tempPath("fifo.bmp");
    nevra_test::makeFifo(fifo);
    EXPECT_EQ(nevra_test::finishesOnFifo(fifo, false,
                                         [&] { return bitmap_.readBitmap(fifo.c_str(), 1); }),
              -1);
    std::remove(fifo.c_str());
    for (const std::string& path : {::testing::TempDir(), std::string("/dev/zero"),
                                    std::string("/dev/null"), std::string("/proc/self/status")}) {
        EXPECT_EQ(bitmap_.readBitmap(path.c_str(), 1), -1) << path;
        EXPECT_EQ(state(), before) << path;
        EXPECT_EQ(bitmap_.m_bit_count, 24) << path;
    }
}

// Storage that cannot be had: the picture read before stays, and nothing is printed.
TEST_F(BitmapTest, FailedAllocationLeavesThePreviousPicture) {
    ASSERT_EQ(read(buildBmp(variant(8, 3, 2, 4))), 1);
    const auto before = state();
    CoutCapture out;
    nevra_test::FailingAllocations failing;
    EXPECT_EQ(read(buildBmp(variant(24, 5, 3))), -1);
    EXPECT_EQ(state(), before);
    EXPECT_EQ(bitmap_.m_bit_count, 24);
    EXPECT_EQ(out.text(), "");
}

}  // namespace
}  // namespace Nevra
