// Bitmap: the BMP reader. Every header field is checked and every size computed wide before
// anything of the object changes, so a bad or hostile file ends in -1 with the image as it was.

#include "bitmap.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "extents.h"
#include "regular_file.h"

namespace Nevra {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;        // the fields read; larger headers add fields we skip
constexpr long long kMaxExtent = 1 << 24;  // width and height cap, as other decoders use
constexpr unsigned kCompressionRgb = 0;
constexpr unsigned kCompressionBitfields = 3;

unsigned readU16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}

unsigned readU32(const unsigned char* p) {
    return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8) |
           (static_cast<unsigned>(p[2]) << 16) | (static_cast<unsigned>(p[3]) << 24);
}

int readS32(const unsigned char* p) {
    const unsigned u = readU32(p);
    int s;
    std::memcpy(&s, &u, sizeof s);
    return s;
}

bool knownHeaderSize(unsigned size) {
    // BITMAPINFOHEADER, its V2 and V3 extensions, BITMAPV4HEADER and BITMAPV5HEADER.
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads `count` bytes at `offset`; false when the file holds fewer.
bool readAt(std::FILE* file, long long offset, unsigned char* out, std::size_t count) {
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        return false;
    }
    return std::fread(out, 1, count, file) == count;
}

}  // namespace

Bitmap::Bitmap() : m_bit_count(0), m_palette_size(0), m_palette(nullptr), m_color_masks{} {
    init(0, 0, 0, 0, 0);
}

Bitmap::~Bitmap() {
    delete[] m_palette;
}

int Bitmap::readBitmap(const char* fileName, int /*option*/) {
    if (fileName == nullptr || m_external_data) {
        return -1;
    }
    // A FIFO, device or directory fails here, as a missing file does, before anything is read.
    std::unique_ptr<std::FILE, FileCloser> file(openRegularFile(fileName, false));
    if (!file) {
        return -1;
    }

    unsigned char header[kFileHeaderSize + kInfoHeaderSize];
    const std::size_t got = std::fread(header, 1, sizeof header, file.get());
    if (got < 2 || header[0] != 'B' || header[1] != 'M') {
        return -1;
    }
    if (got >= 30) {
        m_bit_count = static_cast<int>(readU16(header + 28));
    }
    if (got < sizeof header) {
        return -1;  // truncated header
    }

    const unsigned offBits = readU32(header + 10);
    const unsigned infoSize = readU32(header + 14);
    const int width = readS32(header + 18);
    const int height = readS32(header + 22);
    const int bitCount = static_cast<int>(readU16(header + 28));
    const unsigned compression = readU32(header + 30);
    const unsigned sizeImage = readU32(header + 34);
    const int xPelsPerMeter = readS32(header + 38);
    const int yPelsPerMeter = readS32(header + 42);
    const unsigned clrUsed = readU32(header + 46);

    if (!knownHeaderSize(infoSize)) {
        return -1;
    }
    if (bitCount != 8 && bitCount < 16) {
        return -1;  // 1-, 2- and 4-bit pictures are not read
    }
    // Only uncompressed rows: BI_RGB, or BI_BITFIELDS whose masks we keep as stored bytes.
    // RLE, JPEG and PNG payloads are refused.
    const bool bitfields = compression == kCompressionBitfields;
    if (compression != kCompressionRgb && !(bitfields && (bitCount == 16 || bitCount == 32))) {
        return -1;
    }
    // biHeight of INT_MIN has no absolute value; a negative width means nothing.
    if (width < 0 || height == INT_MIN) {
        return -1;
    }
    const long long w = width;
    const long long h = height < 0 ? -static_cast<long long>(height) : height;
    if (w > kMaxExtent || h > kMaxExtent) {
        return -1;
    }
    const int channels = bitCount == 8 ? 1 : bitCount / 8;
    const long long rowBytes = ((bitCount * w + 31) & ~31LL) / 8;  // file rows pad to 4 bytes
    const long long pixelBytes = rowBytes * h;
    // The image as init will size it (a row too long for an int is refused even with no rows),
    // and the rows as stored in the file.
    if (!sizesFitInt(width, static_cast<int>(h), 1, 1, channels, 1) || pixelBytes > INT_MAX) {
        return -1;
    }
    // biSizeImage may be 0 for uncompressed pictures; a smaller non-zero one cannot hold the rows.
    if (sizeImage != 0 && sizeImage < pixelBytes) {
        return -1;
    }

    // A 40-byte header with BI_BITFIELDS is followed by three 4-byte masks.
    const long long paletteStart = kFileHeaderSize + static_cast<long long>(infoSize);
    long long paletteEntries = 0;
    if (bitCount == 8) {
        paletteEntries = clrUsed != 0 ? clrUsed : 256;
        if (paletteEntries > 256) {
            return -1;
        }
    }
    long long dataStart = paletteStart + 4 * paletteEntries;
    if (bitfields && infoSize == kInfoHeaderSize) {
        dataStart += 12;
    }
    // bfOffBits pointing past the header and palette leaves a gap that is skipped; one pointing
    // inside them is taken as unset and the rows are read right after the palette.
    if (offBits > dataStart) {
        dataStart = offBits;
    }

    std::unique_ptr<PaletteEntry[]> palette;
    if (paletteEntries > 0) {
        palette.reset(new PaletteEntry[paletteEntries]);
        if (!readAt(file.get(), paletteStart, reinterpret_cast<unsigned char*>(palette.get()),
                    static_cast<std::size_t>(paletteEntries) * sizeof(PaletteEntry))) {
            return -1;
        }
    }
    // The masks follow the 40 bytes of the information header, in it or after it.
    unsigned char masks[12] = {};
    if (bitfields && !readAt(file.get(), kFileHeaderSize + kInfoHeaderSize, masks, sizeof masks)) {
        return -1;
    }
    std::unique_ptr<unsigned char[]> pixels;
    if (pixelBytes > 0) {
        // Check the length first so that a tiny file cannot make us allocate a huge buffer.
        if (std::fseek(file.get(), 0, SEEK_END) != 0 || std::ftell(file.get()) < 0 ||
            std::ftell(file.get()) - dataStart < pixelBytes) {
            return -1;
        }
        pixels.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(pixelBytes)]);
        if (!pixels ||
            !readAt(file.get(), dataStart, pixels.get(), static_cast<std::size_t>(pixelBytes))) {
            return -1;
        }
    }
    file.reset();

    // Everything is read and sound. The picture is made in an image of its own first, so that
    // storage that cannot be had leaves this one as it was.
    ImageBase<unsigned char> picture;
    picture.init(width, static_cast<int>(h), 1, 1, channels);
    if (picture.m_data == nullptr && w * channels * h > 0) {
        return -1;  // init could not allocate and said so
    }
    const bool bottomUp = height > 0;
    for (long long r = 0; r < h && picture.m_image_size > 0; ++r) {  // width 0: no storage
        const long long target = bottomUp ? h - 1 - r : r;
        std::memcpy(picture.m_data + target * picture.m_stride, pixels.get() + r * rowBytes,
                    static_cast<std::size_t>(picture.m_stride));
    }

    // Commit: this image takes the picture's geometry, records and storage, as init would give.
    releaseData();
    std::copy(picture.m_dim, picture.m_dim + 4, m_dim);
    m_channels = picture.m_channels;
    m_stride = picture.m_stride;
    m_slice_size = picture.m_slice_size;
    m_frame_size = picture.m_frame_size;
    m_image_size = picture.m_image_size;
    std::swap(m_window_level, picture.m_window_level);
    std::swap(m_data, picture.m_data);
    if (xPelsPerMeter != 0) {
        m_spacing[0] = static_cast<float>(static_cast<double>(width) / xPelsPerMeter);
    }
    if (yPelsPerMeter != 0) {
        m_spacing[1] = static_cast<float>(static_cast<double>(h) / yPelsPerMeter);
    }
    if (bitCount == 8) {
        delete[] m_palette;
        m_palette = palette.release();
        m_palette_size = static_cast<int>(paletteEntries);
    }
    for (int i = 0; i < 3; ++i) {
        m_color_masks[i] = readU32(masks + 4 * i);
    }
    return 1;
}

}  // namespace Nevra
