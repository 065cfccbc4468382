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

struct StorageReleaser {
    void operator()(unsigned char* block) const { releaseAligned(block); }
};

// Bottom-up or padded rows are read this many bytes at a time (at least one row).
constexpr long long kChunkBytes = 128 * 1024;

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
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) {
        return -1;  // 1- and 4-bit pictures are not read, nor depths BMP does not define
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
    // The rows go straight into new storage, each to its place in the picture (row 0 the top);
    // the storage becomes the image's only once every row is read.
    const long long stride = w * channels;
    const long long storageBytes = stride * h;
    std::unique_ptr<unsigned char, StorageReleaser> storage(
        storageBytes > 0 ? static_cast<unsigned char*>(
                               allocateAligned(static_cast<std::size_t>(storageBytes)))
                         : nullptr);
    if (storageBytes > 0 && !storage) {
        return -1;
    }
    const bool bottomUp = height > 0;
    if (storageBytes > 0) {
        // Check the length first so that a tiny file cannot make us read into nothing.
        if (std::fseek(file.get(), 0, SEEK_END) != 0 || std::ftell(file.get()) < 0 ||
            std::ftell(file.get()) - dataStart < pixelBytes ||
            std::fseek(file.get(), static_cast<long>(dataStart), SEEK_SET) != 0) {
            return -1;
        }
        if (!bottomUp && rowBytes == stride) {
            if (std::fread(storage.get(), 1, static_cast<std::size_t>(storageBytes),
                           file.get()) != static_cast<std::size_t>(storageBytes)) {
                return -1;
            }
        } else {
            // Whole file rows, some at a time, through a buffer that stays in the cache.
            const long long rowsPerChunk = std::max(1LL, kChunkBytes / rowBytes);
            std::unique_ptr<unsigned char[]> chunk(
                new (std::nothrow) unsigned char[static_cast<std::size_t>(
                    std::min(rowsPerChunk, h) * rowBytes)]);
            if (!chunk) {
                return -1;
            }
            for (long long r = 0; r < h; r += rowsPerChunk) {
                const long long rows = std::min(rowsPerChunk, h - r);
                const std::size_t bytes = static_cast<std::size_t>(rows * rowBytes);
                if (std::fread(chunk.get(), 1, bytes, file.get()) != bytes) {
                    return -1;
                }
                for (long long i = 0; i < rows; ++i) {
                    const long long target = bottomUp ? h - 1 - (r + i) : r + i;
                    std::memcpy(storage.get() + target * stride, chunk.get() + i * rowBytes,
                                static_cast<std::size_t>(stride));
                }
            }
        }
    }
    file.reset();

    // Everything is read and sound: commit.
    const int invalid = Image::init(width, static_cast<int>(h), 1, 1, channels);
    releaseData();
    if (invalid != 0) {
        return -1;  // no window/level records could be had: the image is left empty
    }
    m_data = storage.release();
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
