#ifndef NEVRA_IMAGEBASE_H
#define NEVRA_IMAGEBASE_H

/// \file
/// The Nevra image library: typed raster images of up to four dimensions with interleaved
/// channels. Depends on the standard library and POSIX file and thread calls alone. Several threads
/// may use the library at once, on different images or all reading one image; an image that is
/// written (an operation's output, or an in-place operation) is used by one thread at a time.
/// Large operations use several threads of their own (see Threads, at the end).
///
/// Axes and layout. Every image has four extents m_dim = (X, Y, Z, F) along x (column),
/// y (row, row 0 is the top of a picture), z (slice) and t (frame), plus m_channels values per
/// pixel stored interleaved. A flat axis has extent 1; an image with any extent 0 is empty and has
/// no storage. The element (x, y, z, t, c) lives at
///
///     m_data[c + x*m_channels + y*m_stride + z*m_slice_size + t*m_frame_size]
///
/// so in memory the channel varies fastest, then x, y, z and t. Every operation of the library
/// uses this one index; whole-image walks follow it in memory order.
///
/// Empty images. An image without elements (an extent or the channel count 0) or without storage
/// (m_data null: after releaseData, or over an external block that was never given) is empty to
/// every operation: nothing is read or written, element reads give 0, sequential access reports
/// the end, in-place operations change no element, and the operations that make a result give
/// null, the conversions and the centre of mass with the line "Error: no image data, cannot
/// <create byte volume|create word volume|create byte slice|compute center of mass>!" and the
/// filters with theirs. None of them crashes.
///
/// Storage ownership. An image owns m_data unless m_external_data is set; an owned block comes
/// from allocateAligned and goes back with releaseAligned. The operations that replace the storage
/// (init, rotate, flip, scaleToPowerOfTwo and downsample in place) build a new block and own it
/// afterwards even when the image was over external storage: m_external_data becomes false, and
/// the caller's block is left as it was, still the caller's. A pointer fetched with getData before
/// any of them is stale afterwards.
///
/// Code paths. The hot loops run on the widest x86-64 path the processor has (baseline SSE2,
/// x86-64-v3, x86-64-v4; NEVRA_ISA asks for a lower one). Every path gives the same bits in every
/// result, with one exception: a result that is NaN is NaN on every path, but its sign and payload
/// may differ between them. A NaN comes from a NaN input or weight, or from sums such as
/// infinity - infinity; the processor passes on one of two NaN operands, or makes its own, by
/// where each operand sits in an instruction, and the paths order their operands differently.
/// Making every NaN one value would cost a test of every result on every path.
///
/// Failures are reported by a printed line on standard output and by the result code where an
/// operation has one; nothing throws.

#include <cstddef>

// The shared library exports only what NEVRA_API marks, the classes and functions of this header
// and bitmap.h; everything else in it is hidden. The static library and programs that include the
// headers see the same attribute, which changes nothing for them.
#if defined(__GNUC__) || defined(__clang__)
#define NEVRA_API __attribute__((visibility("default")))
#else
#define NEVRA_API
#endif

/// The Nevra image library: Image, ImageBase<T> and Bitmap with their free functions.
namespace Nevra {

/// \name Element type codes
/// The OpenGL data-type enumerants, defined here so that the library needs no GL header. The
/// unsigned codes are the odd ones.
/// @{
constexpr int kTypeByte = 0x1400;           ///< char (signed)
constexpr int kTypeUnsignedByte = 0x1401;   ///< unsigned char
constexpr int kTypeShort = 0x1402;          ///< short
constexpr int kTypeUnsignedShort = 0x1403;  ///< unsigned short
constexpr int kTypeInt = 0x1404;            ///< int
constexpr int kTypeUnsignedInt = 0x1405;    ///< unsigned int
constexpr int kTypeFloat = 0x1406;          ///< float
constexpr int kTypeDouble = 0x140A;         ///< double
/// @}

/// The value range of interest of one channel. window = high - low, level = (low + high) / 2.
struct WindowLevel {
    float window;  ///< high - low
    float level;   ///< (low + high) / 2
    float low;     ///< the smallest value of interest
    float high;    ///< the largest value of interest
};

/// Storage for m_data: a block of `bytes` bytes aligned to 16 bytes, or null when it cannot be
/// had (or bytes is 0). Release it with releaseAligned. Every block the library keeps in m_data
/// comes from here, so memory handed over with setData must too.
NEVRA_API void* allocateAligned(std::size_t bytes);

/// Releases a block from allocateAligned; null is allowed and does nothing.
NEVRA_API void releaseAligned(void* block);

/// The abstract image: geometry, spacing, per-channel window/level records, the sequential-access
/// cursor and the element type code. The pixel storage lives in ImageBase<T>.
/// Not copyable (it owns the window/level array; ImageBase<T> owns the storage).
class NEVRA_API Image {
public:
    /// No geometry yet (every extent and size 0, no channels, no window/level records), spacing
    /// 1.0 along every axis, m_verbose 1, cursor and type code 0. init gives the geometry.
    Image();
    /// Images are not copied: each owns its window/level records and storage.
    Image(const Image&) = delete;
    /// Images are not assigned, for the same reason.
    Image& operator=(const Image&) = delete;

    /// Deletes the window/level records. ImageBase<T> frees its storage first.
    virtual ~Image();

    /// Reserved slot; returns 0 and does nothing.
    virtual int reservedOperation(int reserved);

    /// Reads m_image_size elements from a headerless file at `path` (the element array exactly as
    /// it lies in memory, native byte order) into the existing storage.
    /// Returns 0 on success; 1 when the file cannot be opened, is not a regular file (a FIFO, a
    /// device, a socket or a directory: refused without blocking or reading), has no length that
    /// covers the image (shorter, or a /proc file) or the image has no storage. The elements are
    /// unchanged when 1 comes back for an unopenable, non-regular or short file.
    /// REQUIRES: the geometry was given with init first.
    virtual int loadRaw(const char* path) = 0;

    /// Replaces the pixel pointer with `data` (which must point to elements of the image's own
    /// type T) and returns 0. Ownership: the previous block is NOT released (the caller keeps it or
    /// leaks it) and m_external_data is not changed. So unless m_external_data is true the image
    /// takes `data` as its own and later frees it with releaseAligned: such a block must come from
    /// allocateAligned. With m_external_data true the caller keeps ownership of `data`.
    virtual int setData(void* data) = 0;

    /// Writes the m_image_size elements to a headerless file at `path` (see loadRaw), created or
    /// emptied first. Returns 0 on success; 1 when the file cannot be opened, is not a regular
    /// file (refused without blocking or writing, so a FIFO without a reader neither hangs nor
    /// gets bytes), the image has elements but no storage (the file is then not touched), or not
    /// everything could be written.
    virtual int saveRaw(const char* path) = 0;

    /// Sets the geometry: m_dim = (dimX, dimY, dimZ, dimT), m_channels = channels, the derived
    /// sizes, and m_channels fresh window/level records of zeros (none when channels is 0). Then,
    /// in ImageBase<T>, releases the old storage and allocates m_image_size zeroed elements (none
    /// when m_image_size is 0). Over external storage (m_external_data with a block given) the
    /// image lets go of the caller's block, untouched, and owns the new one: m_external_data
    /// becomes false. An image marked external that has no block yet allocates nothing and waits
    /// for its block from setData. Always returns 0.
    /// Refused: extents or channels that are negative, or any derived size (row, slice, frame,
    /// image) or the byte count m_image_size * sizeof(T) beyond INT_MAX; and a failed allocation.
    /// Both print "Error while initializing!\n" and leave the image empty: all extents, the
    /// channel count and the derived sizes 0, no window/level records, no owned storage.
    /// This class's version does the geometry half only, counting elements (not bytes); it returns
    /// 1, the image left empty, for what it refuses.
    virtual int init(int dimX, int dimY, int dimZ, int dimT, int channels);

    /// Zeroes every element (allocating owned storage first when there is none and
    /// m_external_data is false) and every window/level record. An allocation that fails prints
    /// "Error while initializing!\n" and leaves the image empty, as init does.
    virtual void clear() = 0;

    /// Frees owned storage; m_data becomes null. External storage (m_external_data) is kept.
    virtual void releaseData() = 0;

    /// Block average by the integer factors (each >= 1) along x, y, z, t; the elements beyond the
    /// last whole block along an axis are dropped. With newImage, returns a new image (owned by the
    /// caller) whose spacing is this one's times the factors, leaving this image unchanged.
    /// Otherwise replaces this image's storage (owned afterwards, see Storage ownership; none when
    /// the result has no elements), extents and spacing, prints "Image downsampled, new size
    /// X x Y x Z" when m_verbose, and returns null; when the new block cannot be had, the image is
    /// left as it was. A new image whose storage cannot be had is returned empty, after
    /// "Error while initializing!\n", as init leaves it.
    /// Does nothing and returns null on an image without storage. A factor below 1 prints
    /// "Error: downsampling factors must be 1 or more!" and returns null, the image unchanged.
    virtual Image* downsample(int fx, int fy, int fz, int ft, bool newImage) = 0;

    /// Turns frame 0 of the volume by a quarter turn about axis 0 (x), 1 (y) or 2 (z); the
    /// channels of a pixel move together; later frames turn alike. Swaps the two extents and
    /// spacings concerned and replaces the storage (owned afterwards, see Storage ownership); an
    /// image without elements has its extents turned only, one with elements but no storage is
    /// left unchanged. Any other axis prints "Error: rotation axis must be 0, 1 or 2!" and leaves
    /// the image unchanged.
    virtual void rotate(int axis) = 0;

    /// Pads the image with zeros on the right and at the bottom so that width and height become
    /// the smallest powers of two not below them (no resampling); every frame is carried over.
    /// Replaces the storage (owned afterwards, see Storage ownership). No-op on an image without
    /// storage; an image whose padded extents or size would not fit an int (an extent beyond 2^30)
    /// is refused with "Error: image too large to pad to a power of two!" and left unchanged.
    virtual void scaleToPowerOfTwo() = 0;

    /// Every element e of channel c becomes low(c) + high(c) - e, with the channel's window/level
    /// record.
    virtual void invert() = 0;

    /// Clamps every element to channel 0's [low, high] and shifts it so that low maps to 0 (or,
    /// with `invert`, mirrors it so that high maps to 0). Prints "Window/Level setting applied"
    /// when m_verbose.
    virtual void applyWindowLevel(bool invert) = 0;

    /// Sequential access over the elements in memory order, with m_position as the cursor.
    /// getNext: when m_position < m_image_size, *value = the element there as a float, the cursor
    /// advances and true comes back; otherwise, and without storage, false and nothing changes.
    virtual bool getNext(float* value) = 0;
    /// setNext: when m_position < m_image_size, the element there becomes T(value), the cursor
    /// advances and true comes back; otherwise, and without storage, false and nothing changes.
    virtual bool setNext(float value) = 0;
    /// setCurrent: rewrites the element last read or written (m_position - 1) with T(value).
    /// REQUIRES: a successful getNext or setNext before it (otherwise nothing is written).
    virtual void setCurrent(float value) = 0;

    /// The element (x, y, z, t, c) := T(value). T(value) truncates toward zero for integer types
    /// and keeps the low bits of the type's width (300.7 into unsigned char is 44).
    /// REQUIRES: 0 <= each coordinate < its extent, 0 <= c < m_channels (asserted in checked
    /// builds). The element operations and the interpolations below read 0 and write nothing
    /// without storage.
    virtual void setValue(float value, int x, int y, int z, int t, int c) = 0;

    /// out[c] := every channel c of the pixel (trunc x, trunc y, trunc z) of frame 0, as floats.
    /// REQUIRES: out holds m_channels floats; the truncated coordinates lie inside the image.
    virtual void getPixel(float* out, float x, float y, float z) = 0;

    /// Channel 0 of the pixel (trunc x, trunc y, trunc z) of frame 0, as a float.
    /// REQUIRES: the truncated coordinates lie inside the image.
    virtual float getValue(float x, float y, float z) = 0;

    /// The element (x, y, z, t, c) as a float (signed types read signed, unsigned unsigned).
    /// REQUIRES: as setValue (asserted in checked builds).
    virtual float getValue(int x, int y, int z, int t, int c) = 0;

    /// Trilinear interpolation in frame 0 at the element position (x, y, z), all channels into
    /// out[0..m_channels-1]. REQUIRES: the 2 x 2 x 2 neighbourhood lies inside frame 0
    /// (trunc x < X-1, trunc y < Y-1, trunc z < Z-1; asserted in checked builds).
    virtual void getTrilinear(float* out, float x, float y, float z) = 0;
    /// The same for a one-channel image, returning the value. REQUIRES: m_channels == 1.
    virtual float getTrilinear(float x, float y, float z) = 0;

    /// Cubic-convolution interpolation (Keys' kernel, a = -1) over the 4 x 4 x 4 neighbourhood in
    /// frame 0, all channels into out. REQUIRES: 1 <= trunc coordinate <= extent - 3 on each axis.
    virtual void getTricubic(float* out, float x, float y, float z) = 0;
    /// The same for a one-channel image, returning the value. REQUIRES: m_channels == 1.
    virtual float getTricubic(float x, float y, float z) = 0;

    /// Sets every channel's record from the smallest and largest element of the whole image (all
    /// channels pooled).
    virtual void computeWindowLevel() = 0;

    /// Reverses the byte order of every element: 2- and 4-byte types (float included); 1-byte
    /// types and double are left as they are. Nothing without storage.
    virtual void swapBytes() = 0;

    /// Mirrors the image along each axis whose flag is set. Replaces the storage (owned
    /// afterwards, see Storage ownership); no-op without storage.
    virtual void flip(bool flipX, bool flipY, bool flipZ, bool flipT) = 0;

    /// Correlates frame 0 (read as one channel) with the windowSize x windowSize `filter` (row
    /// order) into a one-channel image of type `typeCode` (unchanged, 0 is not replaced), pixels
    /// closer than (windowSize-1)/2 to an edge 0, then calls the result's fillBorder. Writes into
    /// `output`, or into a new image owned by the caller when output is null. Returns the result,
    /// or null (with a printed error line) for an unsigned type code, a null filter or an even
    /// window size (a result made for the call is then released).
    /// All four filtering operations also return null with a printed line when `output` is null
    /// and the type code names no element type ("Error: unknown data type, cannot compute ...!")
    /// and when the image lacks the elements they read ("Error: no image data, cannot compute
    /// ...!"). Results are written as by setNext from element 0: values beyond a given output's
    /// end are dropped and its m_position ends after the last value written. `output` may be
    /// this image: the operation then reads a copy of it, and the result is the one a separate
    /// output of the same geometry and contents would get.
    virtual Image* computeFilteredImage(int typeCode, const float* filter, int windowSize,
                                        Image* output) = 0;

    /// Treating the image as one channel: columns 1..width-1 repeat column `width` and columns
    /// X-width..X-2 repeat column X-width-1, then the same for rows. Nothing changes for
    /// width <= 1; the outermost ring keeps its values. With width beyond half the image, the
    /// copies that would reach outside it are skipped.
    virtual void fillBorder(int width) = 0;

    /// First derivatives of each plane with the 3 x 3 `kernel` (null: the default 1 2 1 / 0 0 0 /
    /// -1 -2 -1) and its transpose into a two-channel image of type `typeCode` (0: m_type).
    /// keepSize keeps the extents (outer ring 0), otherwise the result is 2 smaller in x and y.
    /// `output` or a new image as computeFilteredImage. Null (printed error) for an unsigned type,
    /// and without keepSize for an image narrower or lower than 2 pixels, which has no such
    /// result: "Error: image too small, cannot compute gradient!" (an output given is untouched).
    virtual Image* computeGradient(int typeCode, const float* kernel, bool keepSize,
                                   Image* output) = 0;

    /// Second derivatives into a three-channel image of the input's extents: a one-channel input
    /// goes through computeGradient first; any other input is taken as a gradient image.
    /// `typeCode`, `kernel`, `output` and the result as computeGradient.
    virtual Image* computeHessian(int typeCode, const float* kernel, Image* output) = 0;

    /// First derivatives of a volume with the 3 x 3 x 3 `kernel` (null: the default) into a three-
    /// (or with appendValue four-) channel image; byte and short results are clamped with a
    /// printed count. Prints its range when m_verbose. Arguments and result as computeGradient;
    /// without keepSize a volume with fewer than 2 slices is refused as too small as well.
    virtual Image* computeGradient3D(int typeCode, const float* kernel, bool keepSize,
                                     bool appendValue, Image* output) = 0;

    /// 8-bit (createByteVolume) or 16-bit (createWordVolume) copy of frame 0, every element scaled
    /// by its channel's low/high to 0..255 (0..65535). With powerOfTwo the extents are rounded up
    /// to powers of two. Writes into `out`, or a new array (owned by the caller, delete[]) when
    /// out is null; returns the buffer (null when a rounded-up extent would exceed 2^30). A
    /// channel whose low equals high (nothing to scale by) and NaN elements give 0. An empty
    /// image gives null with "Error: no image data, cannot create byte volume!" (or "... word
    /// volume!"), `out` untouched.
    virtual unsigned char* createByteVolume(unsigned char* out, bool powerOfTwo) = 0;
    /// 16-bit copy of frame 0, every element scaled to 0..65535; otherwise as createByteVolume.
    virtual unsigned short* createWordVolume(unsigned short* out, bool powerOfTwo) = 0;

    /// 8-bit copy of channel `channel` of slice (slice modulo Z, negative numbers wrapping too) of
    /// frame 0, scaled as above. A buffer made here has its padding area zeroed. Null, `out`
    /// untouched, for an empty image ("Error: no image data, cannot create byte slice!") and for a
    /// channel outside 0..m_channels-1 ("Error: channel out of range, cannot create byte slice!").
    virtual unsigned char* createByteSlice(unsigned char* out, int slice, int channel,
                                           bool powerOfTwo) = 0;

    /// Intensity-weighted centre (x, y, z) of a one-channel image into out[0..2], the weights being
    /// value - low of channel 0; returns out. Weights that sum to 0 give the centre of the volume,
    /// ((X-1)/2, (Y-1)/2, (Z-1)/2). An empty image gives null, `out` untouched, with "Error: no
    /// image data, cannot compute center of mass!".
    virtual float* getCenterOfMass(float* out) = 0;

    /// Sets channel `channel`'s record: window = high - low, level = (low + high) * 0.5, low, high
    /// (computed in double, stored as float). REQUIRES: 0 <= channel < m_channels (not checked).
    void setWindowLevel(float low, float high, int channel);

    /// Physical size of one step along x, y, z and t.
    void setSpacing(float sx, float sy, float sz, float st);

    /// Puts the sequential-access cursor back to the first element.
    void resetPosition() { m_position = 0; }

    /// The extent along x, m_dim[0]: the width of a picture in pixels.
    int getWidth() const { return m_dim[0]; }
    /// The extent along y, m_dim[1]: the height of a picture in pixels.
    int getHeight() const { return m_dim[1]; }

    int m_dim[4];                 ///< extents along x, y, z, t in pixels; set by init
    float m_spacing[4];           ///< physical size of a step along x, y, z, t; 1.0 at first
    int m_channels;               ///< values per pixel, interleaved; set by init
    WindowLevel* m_window_level;  ///< m_channels records (new[]), owned; null when no channels
    int m_verbose;                ///< non-zero: operations that report progress print it; 1
    int m_stride;                 ///< elements per row: m_dim[0] * m_channels
    int m_slice_size;             ///< elements per slice: m_stride * m_dim[1]
    int m_frame_size;             ///< elements per frame: m_slice_size * m_dim[2]
    int m_image_size;             ///< elements in the image: m_frame_size * m_dim[3]
    int m_position;               ///< cursor of getNext / setNext / setCurrent; survives init
    int m_type;                   ///< element type code; no library operation sets it; 0
};

/// An image whose elements are of type T: one of char, unsigned char, short, unsigned short, int,
/// unsigned int, float, double (the library is built for exactly these eight). Owns m_data (a
/// 16-byte-aligned block of m_image_size elements) unless m_external_data is set (see Storage
/// ownership at the top). Not copyable.
template <class T>
class NEVRA_API ImageBase : public Image {
public:
    /// Empty: no storage, no geometry. Call init before use.
    ImageBase();
    /// Frees m_data unless m_external_data is set.
    ~ImageBase() override;

    /// \name The operations of Image for elements of type T
    /// Each one does what Image says of it; T(value) stands for the conversion of a float to T
    /// (integer types truncate toward zero and keep the low bits of their width).
    /// @{

    /// As Image::reservedOperation().
    int reservedOperation(int reserved) override;
    /// As Image::loadRaw().
    int loadRaw(const char* path) override;
    /// As Image::setData().
    int setData(void* data) override;
    /// As Image::saveRaw().
    int saveRaw(const char* path) override;
    /// As Image::init().
    int init(int dimX, int dimY, int dimZ, int dimT, int channels) override;
    /// As Image::clear().
    void clear() override;
    /// As Image::releaseData().
    void releaseData() override;
    /// As Image::downsample().
    ImageBase<T>* downsample(int fx, int fy, int fz, int ft, bool newImage) override;
    /// As Image::rotate().
    void rotate(int axis) override;
    /// As Image::scaleToPowerOfTwo().
    void scaleToPowerOfTwo() override;
    /// As Image::invert().
    void invert() override;
    /// As Image::applyWindowLevel().
    void applyWindowLevel(bool invert) override;
    /// As Image::getNext().
    bool getNext(float* value) override;
    /// As Image::setNext().
    bool setNext(float value) override;
    /// As Image::setCurrent().
    void setCurrent(float value) override;
    /// As Image::setValue().
    void setValue(float value, int x, int y, int z, int t, int c) override;
    /// As Image::getPixel().
    void getPixel(float* out, float x, float y, float z) override;
    /// As Image::getValue(float, float, float).
    float getValue(float x, float y, float z) override;
    /// As Image::getValue(int, int, int, int, int).
    float getValue(int x, int y, int z, int t, int c) override;
    /// As Image::getTrilinear(float*, float, float, float).
    void getTrilinear(float* out, float x, float y, float z) override;
    /// As Image::getTrilinear(float, float, float).
    float getTrilinear(float x, float y, float z) override;
    /// As Image::getTricubic(float*, float, float, float).
    void getTricubic(float* out, float x, float y, float z) override;
    /// As Image::getTricubic(float, float, float).
    float getTricubic(float x, float y, float z) override;
    /// As Image::computeWindowLevel().
    void computeWindowLevel() override;
    /// As Image::swapBytes().
    void swapBytes() override;
    /// As Image::flip().
    void flip(bool flipX, bool flipY, bool flipZ, bool flipT) override;
    /// As Image::computeFilteredImage().
    Image* computeFilteredImage(int typeCode, const float* filter, int windowSize,
                                Image* output) override;
    /// As Image::fillBorder().
    void fillBorder(int width) override;
    /// As Image::computeGradient().
    Image* computeGradient(int typeCode, const float* kernel, bool keepSize,
                           Image* output) override;
    /// As Image::computeHessian().
    Image* computeHessian(int typeCode, const float* kernel, Image* output) override;
    /// As Image::computeGradient3D().
    Image* computeGradient3D(int typeCode, const float* kernel, bool keepSize, bool appendValue,
                             Image* output) override;
    /// As Image::createByteVolume().
    unsigned char* createByteVolume(unsigned char* out, bool powerOfTwo) override;
    /// As Image::createWordVolume().
    unsigned short* createWordVolume(unsigned short* out, bool powerOfTwo) override;
    /// As Image::createByteSlice().
    unsigned char* createByteSlice(unsigned char* out, int slice, int channel,
                                   bool powerOfTwo) override;
    /// As Image::getCenterOfMass().
    float* getCenterOfMass(float* out) override;
    /// @}

    /// The element (x, y, z, t, c) by the index formula.
    /// REQUIRES: as setValue (asserted in checked builds).
    T element(int x, int y, int z, int t, int c) const;

    /// The elements, m_data: m_image_size values in the layout of the file comment, or null
    /// when the image has no storage. The image keeps ownership (see setData).
    T* getData() { return m_data; }

    bool m_external_data;  ///< true: m_data is not owned (nothing frees it; without a block,
                           ///< init allocates none); false again once init or an operation
                           ///< replaces the storage
    T* m_data;             ///< the elements; null when there is no storage
};

/// A new, empty ImageBase<T> for a type code of the table above (kTypeByte..kTypeFloat,
/// kTypeDouble), owned by the caller and not yet initialised; null for any other code.
NEVRA_API Image* createImage(int typeCode);

/// The smallest power of two that is >= n, found by doubling the lowest set bit of n:
/// 1 -> 1, 5 -> 8, 8 -> 8, 0 -> 0. For n above 2^30, where no such int exists, 0.
NEVRA_API int nextPowerOfTwo(int n);

/// \name Threads
/// The row-wise operations (computeFilteredImage, the gradients and the Hessian, downsample,
/// rotate, flip along x, invert, applyWindowLevel, computeWindowLevel, the byte and word volumes
/// and slices) split a large image's rows into bands, one per thread: one band on the calling thread,
/// the others on a pool of threads that the library starts on the first such call (never when it
/// is loaded, never with a count of 1). Small images, whose bands would cost more to hand out
/// than they save (below some 2^20 values or products per band), stay on the calling thread.
/// Every value is computed as on one thread and range values are combined in row order, so
/// every result is the same, bit for bit, for every thread count; getCenterOfMass, whose sums
/// depend on their order, always runs on one thread, and so do flips that move whole rows,
/// which are bound by memory rather than by the processor. After a call the pool's threads wait
/// awake for a tenth of a millisecond (operations often come in runs), then sleep.
///
/// Several threads may call the library at once, on different images or reading one image
/// (each image is still written by one thread at a time): while the pool serves one call, the
/// others run their bands on their own threads, with the same results. A process that forks after
/// using the pool gets a new pool in the child when it needs one.
/// @{

/// Sets the number of threads the operations use, the calling thread included: 1 runs everything
/// on the calling thread, as the library did before it had threads. A count below 1 restores the
/// default: the value of the environment variable NEVRA_THREADS when it is a whole number from 1
/// to 256, otherwise the number of processors this process may run on (sched_getaffinity). An
/// invalid NEVRA_THREADS value is reported on standard error (once, when the count is first
/// needed) and the processor count taken instead; a larger one is lowered to 256, as are larger
/// counts given here. Takes effect from the next operation that starts; thread-safe.
NEVRA_API void setThreadCount(int count);

/// The number of threads the operations use now (see setThreadCount), at least 1.
NEVRA_API int threadCount();
/// @}

// The eight instantiations are made once, inside the library.
extern template class ImageBase<char>;
extern template class ImageBase<unsigned char>;
extern template class ImageBase<short>;
extern template class ImageBase<unsigned short>;
extern template class ImageBase<int>;
extern template class ImageBase<unsigned int>;
extern template class ImageBase<float>;
extern template class ImageBase<double>;

}  // namespace Nevra

#endif  // NEVRA_IMAGEBASE_H
