#ifndef NEVRA_SRC_EXTENTS_H
#define NEVRA_SRC_EXTENTS_H

// The one test of whether an image geometry can be held: shared by init and the BMP reader, so
// that the reader refuses exactly what init would.

#include <climits>
#include <cstddef>
#include <initializer_list>

namespace Nevra {

// True when the extents and the channel count are not negative and every size derived from them
// (elements per row, slice, frame and image) fits an int, and so does the image's byte count
// with elements of `elementBytes` bytes. Each size is checked before the next extent multiplies
// it, so a row too long for an int is refused even in an image of height 0.
inline bool sizesFitInt(int dimX, int dimY, int dimZ, int dimT, int channels,
                        std::size_t elementBytes) {
    if (dimX < 0 || dimY < 0 || dimZ < 0 || dimT < 0 || channels < 0) {
        return false;
    }
    long long size = static_cast<long long>(dimX) * channels;
    for (const int extent : {dimY, dimZ, dimT}) {
        if (size > INT_MAX) {
            return false;
        }
        size *= extent;  // both factors are at most INT_MAX: no overflow
    }
    return size <= INT_MAX / static_cast<long long>(elementBytes);
}

}  // namespace Nevra

#endif  // NEVRA_SRC_EXTENTS_H
