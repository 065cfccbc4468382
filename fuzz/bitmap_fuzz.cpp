// libFuzzer target for the BMP reader: each input is written to a file and read with
// Nevra::Bitmap::readBitmap, the way the game reads its pictures. A picture that reads is then
// walked byte by byte (its pixels and palette), so the sanitizers see any storage that is smaller
// than the geometry claims, and read a second time into the same object to exercise the
// replacement of storage and palette.
//
// The file lives in memory (memfd_create) and is opened by its /proc/self/fd path: a regular
// file with a name that vanishes with the process however it ends, so no scratch file is left in
// /tmp, not even after a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bitmap.h"

namespace {

// The in-memory file of this process, made on first use.
int scratchFile() {
    static const int fd = [] {
        const int made = memfd_create("bitmap-fuzz", MFD_CLOEXEC);
        if (made < 0)
            std::abort();
        return made;
    }();
    return fd;
}

// Its name, through which the reader opens it like any other file.
const char* scratchPath() {
    static const std::string path = "/proc/self/fd/" + std::to_string(scratchFile());
    return path.c_str();
}

// Replaces the file's contents with the input.
bool writeInput(const uint8_t* data, size_t size) {
    const int fd = scratchFile();
    if (ftruncate(fd, 0) != 0)
        return false;
    for (size_t done = 0; done < size;) {
        const ssize_t wrote = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
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
    if (bitmap.readBitmap(scratchPath(), 1) != 1)
        return 0;
    volatile unsigned sink = touch(bitmap);
    if (bitmap.readBitmap(scratchPath(), 1) != 1)
        std::abort();  // same file, same answer
    sink = sink + touch(bitmap);
    (void)sink;
    return 0;
}
