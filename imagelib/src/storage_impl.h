// ImageBase<T>: construction, storage, raw files, sequential and element access, byte swapping.
// Included by imagebase.cpp only, which instantiates the eight element types.
#ifndef NEVRA_SRC_STORAGE_IMPL_H
#define NEVRA_SRC_STORAGE_IMPL_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "check.h"
#include "element.h"
#include "extents.h"
#include "imagebase.h"
#include "regular_file.h"

namespace Nevra {

namespace storage_detail {

// Byte count of `elements` elements of T, or 0 with ok = false when it does not fit a size_t.
template <class T>
std::size_t byteCount(int elements, bool& ok) {
    const auto count = static_cast<std::size_t>(elements);
    ok = count <= SIZE_MAX / sizeof(T);
    return ok ? count * sizeof(T) : 0;
}

// Size in bytes of an open file, or -1 when it cannot be told. Leaves the position at the start.
inline long long fileLength(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long length = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return -1;
    }
    return length;
}

inline void reportInitFailure() {
    std::cout << "Error while initializing!\n" << std::flush;
}

}  // namespace storage_detail

template <class T>
ImageBase<T>::ImageBase() : m_external_data(false), m_data(nullptr) {}

template <class T>
ImageBase<T>::~ImageBase() {
    if (!m_external_data) {
        releaseAligned(m_data);
    }
    m_data = nullptr;
}

template <class T>
int ImageBase<T>::reservedOperation(int) {
    return 0;
}

template <class T>
int ImageBase<T>::loadRaw(const char* path) {
    std::FILE* file = openRegularFile(path, false);
    if (file == nullptr) {
        return 1;
    }
    bool ok = false;
    const std::size_t bytes = storage_detail::byteCount<T>(m_image_size, ok);
    // A short file would leave the image half overwritten: check its length before reading.
    const long long length = storage_detail::fileLength(file);
    if (!ok || (bytes > 0 && m_data == nullptr) || length < 0 ||
        static_cast<unsigned long long>(length) < bytes) {
        std::fclose(file);
        return 1;
    }
    const std::size_t got = bytes > 0 ? std::fread(m_data, 1, bytes, file) : 0;
    std::fclose(file);
    return got == bytes ? 0 : 1;
}

template <class T>
int ImageBase<T>::setData(void* data) {
    m_data = static_cast<T*>(data);
    return 0;
}

template <class T>
int ImageBase<T>::saveRaw(const char* path) {
    bool ok = false;
    const std::size_t bytes = storage_detail::byteCount<T>(m_image_size, ok);
    if (!ok || (bytes > 0 && m_data == nullptr)) {
        return 1;  // nothing to write what the geometry promises from: the file stays as it was
    }
    std::FILE* file = openRegularFile(path, true);
    if (file == nullptr) {
        return 1;
    }
    const std::size_t written = bytes > 0 ? std::fwrite(m_data, 1, bytes, file) : 0;
    const bool closed = std::fclose(file) == 0;
    return written == bytes && closed ? 0 : 1;
}

template <class T>
int ImageBase<T>::init(int dimX, int dimY, int dimZ, int dimT, int channels) {
    // The geometry half checks the element counts; the byte count of T must fit an int too.
    int invalid = 1;
    if (sizesFitInt(dimX, dimY, dimZ, dimT, channels, sizeof(T))) {
        invalid = Image::init(dimX, dimY, dimZ, dimT, channels);
    } else {
        Image::init(0, 0, 0, 0, 0);  // empty, as the geometry half leaves what it refuses
    }
    if (m_external_data && m_data != nullptr) {
        // The caller's block keeps its old size: the image lets go of it (untouched, still the
        // caller's) and owns a block of the new geometry, as the operations that replace the
        // storage do. Marked external without a block, the image waits for one from setData.
        m_data = nullptr;
        m_external_data = false;
    }
    releaseData();
    if (invalid != 0) {
        storage_detail::reportInitFailure();
        return 0;
    }
    if (m_image_size == 0 || m_external_data) {
        return 0;
    }
    m_data = static_cast<T*>(allocateAligned(static_cast<std::size_t>(m_image_size) * sizeof(T)));
    if (m_data == nullptr) {
        Image::init(0, 0, 0, 0, 0);  // no storage for the geometry: leave the image empty
        storage_detail::reportInitFailure();
        return 0;
    }
    std::fill_n(m_data, m_image_size, T(0));
    return 0;
}

template <class T>
void ImageBase<T>::clear() {
    if (m_data == nullptr && m_image_size > 0 && !m_external_data) {
        bool ok = false;
        const std::size_t bytes = storage_detail::byteCount<T>(m_image_size, ok);
        m_data = ok ? static_cast<T*>(allocateAligned(bytes)) : nullptr;
        if (m_data == nullptr) {
            Image::init(0, 0, 0, 0, 0);  // as init leaves it
            storage_detail::reportInitFailure();
            return;
        }
    }
    if (m_data != nullptr) {
        std::fill_n(m_data, m_image_size, T(0));
    }
    for (int c = 0; c < m_channels && m_window_level != nullptr; ++c) {
        m_window_level[c] = WindowLevel{0.0f, 0.0f, 0.0f, 0.0f};
    }
}

template <class T>
void ImageBase<T>::releaseData() {
    if (!m_external_data && m_data != nullptr) {
        releaseAligned(m_data);
        m_data = nullptr;
    }
}

template <class T>
bool ImageBase<T>::getNext(float* value) {
    if (m_position >= m_image_size || m_data == nullptr) {
        return false;
    }
    *value = static_cast<float>(m_data[m_position]);
    ++m_position;
    return true;
}

template <class T>
bool ImageBase<T>::setNext(float value) {
    if (m_position >= m_image_size || m_data == nullptr) {
        return false;
    }
    m_data[m_position] = toElement<T>(value);
    ++m_position;
    return true;
}

template <class T>
void ImageBase<T>::setCurrent(float value) {
    // Only the element a getNext or setNext reached: none without storage or before the first.
    if (m_data != nullptr && m_position >= 1 && m_position <= m_image_size) {
        m_data[m_position - 1] = toElement<T>(value);
    }
}

// The element index of (x, y, z, t, c), computed wide so that a bad coordinate is caught by the
// checks instead of wrapping round.
#define NEVRA_CHECKED_INDEX(x, y, z, t, c)                                                       \
    const long long index = static_cast<long long>(c) + static_cast<long long>(x) * m_channels + \
                            static_cast<long long>(y) * m_stride +                               \
                            static_cast<long long>(z) * m_slice_size +                           \
                            static_cast<long long>(t) * m_frame_size;                            \
    NEVRA_ASSERT(index >= 0,                                                                     \
                 "m_data + c + x*m_channels + y*m_stride + z*m_slice_size + t*m_frame_size >= "  \
                 "m_data");                                                                      \
    NEVRA_ASSERT(index < m_image_size,                                                           \
                 "c + x*m_channels + y*m_stride + z*m_slice_size + t*m_frame_size < "            \
                 "m_image_size")

// Without storage the element operations read 0 and write nothing.

template <class T>
void ImageBase<T>::setValue(float value, int x, int y, int z, int t, int c) {
    if (m_data == nullptr) {
        return;
    }
    NEVRA_CHECKED_INDEX(x, y, z, t, c);
    m_data[index] = toElement<T>(value);
}

template <class T>
float ImageBase<T>::getValue(int x, int y, int z, int t, int c) {
    if (m_data == nullptr) {
        return 0.0f;
    }
    NEVRA_CHECKED_INDEX(x, y, z, t, c);
    return static_cast<float>(m_data[index]);
}

template <class T>
T ImageBase<T>::element(int x, int y, int z, int t, int c) const {
    if (m_data == nullptr) {
        return T(0);
    }
    NEVRA_CHECKED_INDEX(x, y, z, t, c);
    return m_data[index];
}

#undef NEVRA_CHECKED_INDEX

template <class T>
void ImageBase<T>::getPixel(float* out, float x, float y, float z) {
    if (m_data == nullptr) {
        std::fill_n(out, m_channels, 0.0f);
        return;
    }
    const T* pixel = m_data + static_cast<int>(x) * m_channels + static_cast<int>(y) * m_stride +
                     static_cast<int>(z) * m_slice_size;
    for (int c = 0; c < m_channels; ++c) {
        out[c] = static_cast<float>(pixel[c]);
    }
}

template <class T>
float ImageBase<T>::getValue(float x, float y, float z) {
    if (m_data == nullptr) {
        return 0.0f;
    }
    const int index = static_cast<int>(x) * m_channels + static_cast<int>(y) * m_stride +
                      static_cast<int>(z) * m_slice_size;
    return static_cast<float>(m_data[index]);
}

template <class T>
void ImageBase<T>::swapBytes() {
    if (m_data == nullptr) {
        return;
    }
    if constexpr (sizeof(T) == 2) {
        for (int i = 0; i < m_image_size; ++i) {
            std::uint16_t v;
            std::memcpy(&v, m_data + i, 2);
            v = static_cast<std::uint16_t>((v >> 8) | (v << 8));
            std::memcpy(m_data + i, &v, 2);
        }
    } else if constexpr (sizeof(T) == 4) {
        for (int i = 0; i < m_image_size; ++i) {
            std::uint32_t v;
            std::memcpy(&v, m_data + i, 4);
            v = (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
            std::memcpy(m_data + i, &v, 4);
        }
    }
    // 1-byte elements and doubles keep their bytes.
}

}  // namespace Nevra

#endif  // NEVRA_SRC_STORAGE_IMPL_H
