// libFuzzer target for the BMP reader: each input is written to a file and read with
// Nevra::Bitmap::readBitmap, the way the game reads its pictures. A picture that reads is then
// walked byte by byte (its pixels and palette), so the sanitizers see any storage that is smaller
// than the geometry claims, and read a second time into the same object to exercise the
// replacement of storage and palette.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bitmap.h"

namespace {

// One scratch file per fuzzing process, removed when the process ends.
const std::string& scratchPath() {
    static const std::string path = [] {
        std::string pattern = "/tmp/bitmap-fuzz-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0)
            std::abort();
        close(fd);
        std::atexit([] { std::remove(scratchPath().c_str()); });
        return pattern;
    }();
    return path;
}

bool writeInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(scratchPath().c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// Reads every pixel byte and palette entry of a picture that was read.
unsigned touch(Nevra::Bitmap& bitmap) {
    unsigned sum = 0;
    const unsigned char* pixels = bitmap.getData();
    const long long expected = 1LL * bitmap.getWidth() * bitmap.getHeight() * bitmap.m_channels;
    if (bitmap.m_image_size != expected)
        std::abort();  // geometry and size disagree
    if (pixels == nullptr && bitmap.m_image_size > 0)
        std::abort();
    for (int i = 0; pixels != nullptr && i < bitmap.m_image_size; ++i)
        sum += pixels[i];
    for (int i = 0; bitmap.m_palette != nullptr && i < bitmap.m_palette_size; ++i) {
        sum += bitmap.m_palette[i].blue + bitmap.m_palette[i].red;
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!writeInput(data, size))
        return 0;
    Nevra::Bitmap bitmap;
    if (bitmap.readBitmap(scratchPath().c_str(), 1) != 1)
        return 0;
    volatile unsigned sink = touch(bitmap);
    if (bitmap.readBitmap(scratchPath().c_str(), 1) != 1)
        std::abort();  // same file, same answer
    sink = sink + touch(bitmap);
    (void)sink;
    return 0;
}
