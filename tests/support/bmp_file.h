#ifndef TESTS_SUPPORT_BMP_FILE_H
#define TESTS_SUPPORT_BMP_FILE_H

// BMP files built in memory for the tests of the image library and of the game: 8 bits a pixel
// with a palette or whole bytes a pixel, rows bottom-up (top-down for a negative height) padded to
// 4 bytes, any of the usual information headers, bit-field masks. A test may overwrite any field
// of the built file (Patch), as in a fixture that corrupts one field of a valid file.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace bmp_file {

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
constexpr int kMasks = 54;  // the red, green and blue masks after a 40-byte header

// A field of `bytes` bytes, little-endian, written at `at` once the file is built.
struct Patch {
    int at;
    unsigned value;
    int bytes = 4;
};

struct Layout {
    int bitCount = 24;
    int width = 3;
    int height = 2;          // negative: top-down rows
    unsigned clrUsed = 0;    // palette entries of an 8-bit file; 0 stands for 256
    unsigned infoSize = 40;  // the information header's size
    unsigned gap = 0;        // bytes between palette and pixels, skipped through bfOffBits
    bool bitfields = false;  // BI_BITFIELDS, with three masks after a 40-byte header
    std::vector<Patch> patches = {};
};

// Byte k of the pixel (x, y), y counted from the top row.
using PixelByte = std::function<unsigned char(int x, int y, int k)>;

inline void put(std::vector<unsigned char>& b, const Patch& p) {
    for (int i = 0; i < p.bytes; ++i)
        b[p.at + i] = static_cast<unsigned char>(p.value >> (8 * i));
}

// The file: palette entry e is blue e, green e + 1, red e + 2; the masks and the gap hold 0xAB
// until patched, row padding 0xEE.
inline std::vector<unsigned char> build(const Layout& L, const PixelByte& pixel) {
    const int h = L.height < 0 ? -L.height : L.height;
    const int channels = L.bitCount == 8 ? 1 : L.bitCount / 8;
    const int rowBytes = ((L.bitCount * L.width + 31) & ~31) / 8;
    const int entries = L.bitCount == 8 ? (L.clrUsed != 0 ? static_cast<int>(L.clrUsed) : 256) : 0;
    const int masks = L.bitfields && L.infoSize == 40 ? 12 : 0;
    const int dataStart = 14 + static_cast<int>(L.infoSize + L.gap) + masks + 4 * entries;

    std::vector<unsigned char> b(dataStart + rowBytes * h, 0xAB);
    std::fill(b.begin(), b.begin() + 14 + L.infoSize, 0);
    for (const Patch& p :
         {Patch{0, 'B' | 'M' << 8, 2}, Patch{2, static_cast<unsigned>(b.size())},
          Patch{kOffBits, static_cast<unsigned>(dataStart)}, Patch{kInfoSize, L.infoSize},
          Patch{kWidth, static_cast<unsigned>(L.width)},
          Patch{kHeight, static_cast<unsigned>(L.height)}, Patch{26, 1, 2},
          Patch{kBitCount, static_cast<unsigned>(L.bitCount), 2},
          Patch{kCompression, L.bitfields ? 3u : 0u},
          Patch{kSizeImage, static_cast<unsigned>(rowBytes * h)}, Patch{kClrUsed, L.clrUsed}}) {
        put(b, p);
    }
    for (int e = 0, at = 14 + static_cast<int>(L.infoSize) + masks; e < entries; ++e, at += 4) {
        put(b,
            Patch{at, static_cast<unsigned>(e | ((e + 1) & 0xFF) << 8 | ((e + 2) & 0xFF) << 16)});
    }
    for (int r = 0; r < h; ++r) {
        const int y = L.height > 0 ? h - 1 - r : r;  // bottom-up files start with the last row
        unsigned char* row = b.data() + dataStart + r * rowBytes;
        std::fill(row, row + rowBytes, 0xEE);
        for (int x = 0; x < L.width; ++x) {
            for (int k = 0; k < channels; ++k)
                row[x * channels + k] = pixel(x, y, k);
        }
    }
    for (const Patch& p : L.patches)
        put(b, p);
    return b;
}

inline std::string asString(const std::vector<unsigned char>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace bmp_file

#endif  // TESTS_SUPPORT_BMP_FILE_H
