// ImageBase<T>: window/level, inversion, 8- and 16-bit conversions and the centre of mass.
// Included by imagebase.cpp only.
#ifndef NEVRA_SRC_INTENSITY_IMPL_H
#define NEVRA_SRC_INTENSITY_IMPL_H

#include <algorithm>
#include <iostream>
#include <new>
#include <type_traits>
#include <vector>

#include "element.h"
#include "imagebase.h"
#include "threading.h"

namespace Nevra {

namespace intensity_detail {

// True when the image has elements to read; otherwise prints "Error: no image data, cannot
// <what>!" (an image with an extent of 0, or without storage, is empty).
template <class T>
bool hasElements(const ImageBase<T>& image, const char* what) {
    if (image.m_data != nullptr && image.m_image_size > 0) {
        return true;
    }
    std::cout << "Error: no image data, cannot " << what << "!" << std::endl;
    return false;
}

// (value - low) * top / (high - low) in double, rounded to float, then clamped to [0, top] and
// truncated. A channel whose low equals high has no range to scale into: its values map to 0.
// NaN maps to 0 as well.
template <class Out>
Out scaleToRange(double value, const WindowLevel& record, double top) {
    const double range = static_cast<double>(record.high) - static_cast<double>(record.low);
    if (range == 0.0) {
        return Out(0);
    }
    float v = static_cast<float>((value - static_cast<double>(record.low)) * top / range);
    if (!(v > 0.0f)) {
        return Out(0);
    }
    if (v > static_cast<float>(top)) {
        v = static_cast<float>(top);
    }
    return static_cast<Out>(v);
}

// The 8- or 16-bit copy of frame 0 shared by createByteVolume and createWordVolume.
template <class Out, class T>
Out* createVolume(const ImageBase<T>& image, Out* out, bool powerOfTwo, double top) {
    const int X = image.m_dim[0];
    const int Y = image.m_dim[1];
    const int Z = image.m_dim[2];
    const int C = image.m_channels;
    const long long W = powerOfTwo ? nextPowerOfTwo(X) : X;
    const long long H = powerOfTwo ? nextPowerOfTwo(Y) : Y;
    const long long D = powerOfTwo ? nextPowerOfTwo(Z) : Z;
    const long long count = W * H * D * C;
    if (W < X || H < Y || D < Z) {
        return nullptr;  // an extent beyond the largest int power of two: no buffer holds it
    }
    if (out == nullptr) {
        out = new (std::nothrow) Out[static_cast<std::size_t>(count)];
        if (out == nullptr) {
            return nullptr;
        }
    }
    // Bands of target rows (slice and row; the padding rows after each slice's go with its last
    // row), each zeroing its own padding.
    const long long rows = static_cast<long long>(Y) * Z;
    const int bands = threading::bandsFor(rows, static_cast<double>(W) * C * 4);
    const long long padded = W * C;
    threading::runBands(bands, [&](int band) {
        const long long end = threading::bandStart(rows, bands, band + 1);
        for (long long r = threading::bandStart(rows, bands, band); r < end; ++r) {
            const long long z = r / Y;
            const long long y = r % Y;
            Out* row = out + (H * z + y) * padded;
            const T* e = image.m_data + r * X * C;
            for (int x = 0; x < X; ++x) {
                for (int c = 0; c < C; ++c, ++e) {
                    row[x * C + c] =
                        scaleToRange<Out>(static_cast<double>(*e), image.m_window_level[c], top);
                }
            }
            std::fill(row + static_cast<long long>(X) * C, row + padded, Out(0));
            if (y == Y - 1) {
                // The rows that pad this slice, then, after the last slice, the padding slices.
                std::fill(row + padded, out + H * (z + 1) * padded, Out(0));
                if (z == Z - 1) {
                    std::fill(out + H * Z * padded, out + count, Out(0));
                }
            }
        }
    });
    return out;
}

}  // namespace intensity_detail

template <class T>
void ImageBase<T>::computeWindowLevel() {
    if (m_data == nullptr || m_image_size < 1) {
        return;
    }
    // Each band starts from element 0, as the one-thread walk does; where elements compare equal
    // (0 and -0) the earlier one stays, within a band and when the bands are combined in order.
    // (A band starting from its own first element would keep a NaN there for good.)
    const long long count = m_image_size;
    const int bands = threading::bandsFor(count, 1.0);
    struct Bounds {
        T low;
        T high;
    };
    std::vector<Bounds> found(static_cast<std::size_t>(bands), Bounds{m_data[0], m_data[0]});
    threading::runBands(bands, [&](int band) {
        T low = m_data[0];
        T high = m_data[0];
        const long long end = threading::bandStart(count, bands, band + 1, 64);
        for (long long i = std::max(1LL, threading::bandStart(count, bands, band, 64)); i < end;
             ++i) {
            if (m_data[i] < low) {
                low = m_data[i];
            }
            if (m_data[i] > high) {
                high = m_data[i];
            }
        }
        found[static_cast<std::size_t>(band)] = {low, high};
    });
    T low = found[0].low;
    T high = found[0].high;
    for (const Bounds& part : found) {
        if (part.low < low) {
            low = part.low;
        }
        if (part.high > high) {
            high = part.high;
        }
    }
    for (int c = 0; c < m_channels; ++c) {
        setWindowLevel(static_cast<float>(low), static_cast<float>(high), c);
    }
}

template <class T>
void ImageBase<T>::invert() {
    if (m_data == nullptr || m_channels < 1) {
        return;
    }
    const int pixels = m_image_size / m_channels;
    const int bands = threading::bandsFor(pixels, m_channels);
    threading::runBands(bands, [&](int band) {
        const long long end = threading::bandStart(pixels, bands, band + 1, 64);
        const long long first = threading::bandStart(pixels, bands, band, 64);
        T* e = m_data + first * m_channels;
        for (long long p = first; p < end; ++p) {
            for (int c = 0; c < m_channels; ++c, ++e) {
                const WindowLevel& record = m_window_level[c];
                *e = toElement<T>(static_cast<double>(record.low) +
                                  static_cast<double>(record.high) - static_cast<double>(*e));
            }
        }
    });
}

template <class T>
void ImageBase<T>::applyWindowLevel(bool invert) {
    if (m_data == nullptr || m_window_level == nullptr) {
        return;
    }
    const float lo = m_window_level[0].low;
    const float hi = m_window_level[0].high;
    const T low = toElement<T>(lo);
    const T high = toElement<T>(hi);
    const int bands = threading::bandsFor(m_image_size, 1.0);
    threading::runBands(bands, [&](int band) {
        const long long end = threading::bandStart(m_image_size, bands, band + 1, 64);
        for (long long i = threading::bandStart(m_image_size, bands, band, 64); i < end; ++i) {
            T e = m_data[i];
            // The comparisons follow the usual arithmetic conversions of T against float.
            if (e < lo) {
                e = low;
            }
            if (e > hi) {
                e = high;
            }
            if constexpr (std::is_floating_point_v<T>) {
                e = invert ? high - e : e - low;
            } else {
                // Taken wide and kept to T's width, as an int difference wraps into T.
                const long long d = invert
                                        ? static_cast<long long>(high) - static_cast<long long>(e)
                                        : static_cast<long long>(e) - static_cast<long long>(low);
                e = static_cast<T>(static_cast<unsigned long long>(d));
            }
            m_data[i] = e;
        }
    });
    if (m_verbose) {
        std::cout << "Window/Level setting applied" << std::endl;
    }
}

template <class T>
unsigned char* ImageBase<T>::createByteVolume(unsigned char* out, bool powerOfTwo) {
    if (!intensity_detail::hasElements(*this, "create byte volume")) {
        return nullptr;
    }
    return intensity_detail::createVolume(*this, out, powerOfTwo, 255.0);
}

template <class T>
unsigned short* ImageBase<T>::createWordVolume(unsigned short* out, bool powerOfTwo) {
    if (!intensity_detail::hasElements(*this, "create word volume")) {
        return nullptr;
    }
    return intensity_detail::createVolume(*this, out, powerOfTwo, 65535.0);
}

template <class T>
unsigned char* ImageBase<T>::createByteSlice(unsigned char* out, int slice, int channel,
                                             bool powerOfTwo) {
    if (!intensity_detail::hasElements(*this, "create byte slice")) {
        return nullptr;
    }
    if (channel < 0 || channel >= m_channels) {
        // No window/level record to scale by, and no such element in a pixel.
        std::cout << "Error: channel out of range, cannot create byte slice!" << std::endl;
        return nullptr;
    }
    const int X = m_dim[0];
    const int Y = m_dim[1];
    const int Z = m_dim[2];
    const long long W = powerOfTwo ? nextPowerOfTwo(X) : X;
    const long long H = powerOfTwo ? nextPowerOfTwo(Y) : Y;
    if (W < X || H < Y) {
        return nullptr;  // an extent beyond the largest int power of two: no buffer holds it
    }
    if (out == nullptr) {
        // The padding area is never written: a buffer made here starts as zeros.
        out = new (std::nothrow) unsigned char[static_cast<std::size_t>(W * H)]();
        if (out == nullptr) {
            return nullptr;
        }
    }
    // Slice numbers wrap round the volume, negative ones included.
    int s = slice % Z;
    if (s < 0) {
        s += Z;
    }
    const WindowLevel& record = m_window_level[channel];
    const double low = record.low;
    const double range = static_cast<double>(record.high) - low;
    const int pixels = X * Y;
    const int bands = threading::bandsFor(pixels, 4.0);
    threading::runBands(bands, [&](int band) {
        const long long end = threading::bandStart(pixels, bands, band + 1, 64);
        const long long first = threading::bandStart(pixels, bands, band, 64);
        const T* e = m_data + static_cast<long long>(s) * m_slice_size + channel +
                     first * m_channels;
        for (long long p = first; p < end; ++p, e += m_channels) {
            unsigned char v = 0;
            if (range != 0.0) {
                // Truncating then clamping to 0..255 equals clamping the double first.
                const double scaled = (static_cast<double>(*e) - low) * 255.0 / range;
                v = scaled > 0.0 ? (scaled > 255.0 ? 255 : static_cast<unsigned char>(scaled)) : 0;
            }
            const long long index = W == X ? p : (p / X) * W + p % X;
            out[index] = v;
        }
    });
    return out;
}

template <class T>
float* ImageBase<T>::getCenterOfMass(float* out) {
    if (!intensity_detail::hasElements(*this, "compute center of mass")) {
        return nullptr;
    }
    const long long X = m_dim[0];
    const long long Y = m_dim[1];
    const long long Z = m_dim[2];
    const double low = m_window_level != nullptr ? m_window_level[0].low : 0.0f;
    double sx = 0.0;
    double sy = 0.0;
    double sz = 0.0;
    double sw = 0.0;
    for (long long z = 0; z < Z; ++z) {
        for (long long y = 0; y < Y; ++y) {
            const T* row = m_data + (Y * z + y) * X;
            for (long long x = 0; x < X; ++x) {
                const double w = static_cast<double>(row[x]) - low;
                sx += x * w;
                sy += y * w;
                sz += z * w;
                sw += w;
            }
        }
    }
    if (sw == 0.0) {
        // No weight anywhere (or weights that cancel): the centre of the volume.
        out[0] = static_cast<float>((X - 1) * 0.5);
        out[1] = static_cast<float>((Y - 1) * 0.5);
        out[2] = static_cast<float>((Z - 1) * 0.5);
        return out;
    }
    out[0] = static_cast<float>(sx / sw);
    out[1] = static_cast<float>(sy / sw);
    out[2] = static_cast<float>(sz / sw);
    return out;
}

}  // namespace Nevra

#endif  // NEVRA_SRC_INTENSITY_IMPL_H
