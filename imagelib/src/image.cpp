// Image: geometry, window/level records and spacing; the aligned storage allocation; the free
// functions createImage and nextPowerOfTwo.

#include <climits>
#include <cstdint>
#include <new>

#include "extents.h"
#include "imagebase.h"

namespace Nevra {

namespace {

// Blocks start on a cache line: rows of vector loads and stores then split fewer lines. The block
// comes from the plain allocator (whose large blocks the C library recycles without new pages)
// with room to move it to the next line; the address it came from sits just before it.
constexpr std::size_t kStorageAlignment = 64;

}  // namespace

void* allocateAligned(std::size_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX - kStorageAlignment - sizeof(void*)) {
        return nullptr;
    }
    void* raw = ::operator new(bytes + kStorageAlignment + sizeof(void*), std::nothrow);
    if (raw == nullptr) {
        return nullptr;
    }
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    void** block = reinterpret_cast<void**>((first + kStorageAlignment - 1) &
                                            ~static_cast<std::uintptr_t>(kStorageAlignment - 1));
    block[-1] = raw;
    return block;
}

void releaseAligned(void* block) {
    if (block != nullptr) {
        ::operator delete(static_cast<void**>(block)[-1]);
    }
}

Image::Image()
    : m_dim{0, 0, 0, 0},
      m_spacing{1.0f, 1.0f, 1.0f, 1.0f},
      m_channels(0),
      m_window_level(nullptr),
      m_verbose(1),
      m_stride(0),
      m_slice_size(0),
      m_frame_size(0),
      m_image_size(0),
      m_position(0),
      m_type(0) {}

Image::~Image() {
    delete[] m_window_level;
}

int Image::reservedOperation(int) {
    return 0;
}

int Image::init(int dimX, int dimY, int dimZ, int dimT, int channels) {
    delete[] m_window_level;
    m_window_level = nullptr;
    const bool valid = sizesFitInt(dimX, dimY, dimZ, dimT, channels, 1);
    if (valid && channels > 0) {
        m_window_level = new (std::nothrow) WindowLevel[channels]();
    }
    if (!valid || (channels > 0 && m_window_level == nullptr)) {
        // Refused: the image is left empty, as a fresh Bitmap is.
        m_dim[0] = m_dim[1] = m_dim[2] = m_dim[3] = 0;
        m_channels = 0;
        m_stride = m_slice_size = m_frame_size = m_image_size = 0;
        return 1;
    }
    m_dim[0] = dimX;
    m_dim[1] = dimY;
    m_dim[2] = dimZ;
    m_dim[3] = dimT;
    m_channels = channels;
    m_stride = dimX * channels;
    m_slice_size = m_stride * dimY;
    m_frame_size = m_slice_size * dimZ;
    m_image_size = m_frame_size * dimT;
    return 0;
}

void Image::setWindowLevel(float low, float high, int channel) {
    const double lo = low;
    const double hi = high;
    m_window_level[channel].window = static_cast<float>(hi - lo);
    m_window_level[channel].level = static_cast<float>((lo + hi) * 0.5);
    m_window_level[channel].low = low;
    m_window_level[channel].high = high;
}

void Image::setSpacing(float sx, float sy, float sz, float st) {
    m_spacing[0] = sx;
    m_spacing[1] = sy;
    m_spacing[2] = sz;
    m_spacing[3] = st;
}

Image* createImage(int typeCode) {
    switch (typeCode) {
        case kTypeByte:
            return new ImageBase<char>();
        case kTypeUnsignedByte:
            return new ImageBase<unsigned char>();
        case kTypeShort:
            return new ImageBase<short>();
        case kTypeUnsignedShort:
            return new ImageBase<unsigned short>();
        case kTypeInt:
            return new ImageBase<int>();
        case kTypeUnsignedInt:
            return new ImageBase<unsigned int>();
        case kTypeFloat:
            return new ImageBase<float>();
        case kTypeDouble:
            return new ImageBase<double>();
        default:
            return nullptr;
    }
}

int nextPowerOfTwo(int n) {
    // Unsigned arithmetic: n AND -n is defined for every n, and the doubling cannot overflow.
    const unsigned int u = static_cast<unsigned int>(n);
    unsigned int power = u & (0u - u);
    while (static_cast<long long>(power) < n) {
        if (power >= (1u << 30)) {
            return 0;  // no power of two of an int reaches n
        }
        power <<= 1;
    }
    return static_cast<int>(power);
}

}  // namespace Nevra
