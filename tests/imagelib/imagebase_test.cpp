// Image and ImageBase<T>: geometry and storage, ownership, element access and conversions, raw
// files, byte swapping, the factory functions, and the refusals of every image operation.

#include "imagebase.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <type_traits>

#include "image_test_support.h"

namespace Nevra {
namespace {

using nevra_test::elements;
using nevra_test::makeImage;
using nevra_test::tempPath;

TEST(ImageStorage, InitDerivesSizesZeroesAndReplaces) {
    ImageBase<short> image;
    image.m_position = 3;
    EXPECT_EQ(image.init(4, 3, 1, 1, 3), 0);
    EXPECT_EQ((std::vector<int>{image.m_stride, image.m_slice_size, image.m_frame_size,
                                image.m_image_size}),
              (std::vector<int>{12, 36, 36, 36}));
    ASSERT_NE(image.m_data, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(image.m_data) % 16, 0u);
    EXPECT_EQ(elements(image), std::vector<short>(36, 0));
    const WindowLevel zeros[3] = {};
    EXPECT_EQ(std::memcmp(image.m_window_level, zeros, sizeof zeros), 0);
    image.setValue(9.0f, 1, 1, 0, 0, 2);
    image.setWindowLevel(1.0f, 5.0f, 0);
    image.init(3, 3, 1, 1, 2);
    EXPECT_EQ(elements(image), std::vector<short>(18, 0));
    EXPECT_EQ(image.m_window_level[0].high, 0.0f);
    EXPECT_EQ(image.m_position, 3) << "the cursor survives init";

    image.init(4, 0, 1, 1, 2);
    EXPECT_EQ(image.m_data, nullptr);
    EXPECT_NE(image.m_window_level, nullptr);
    image.init(4, 4, 1, 1, 0);
    EXPECT_EQ(image.m_data, nullptr);
    EXPECT_EQ(image.m_window_level, nullptr);
}

// True when the image is empty in every respect: no extents, channels, sizes, records or storage.
bool isEmpty(const Image& image) {
    const int* d = image.m_dim;
    return d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == 0 && image.m_channels == 0 &&
           image.m_stride == 0 && image.m_slice_size == 0 && image.m_frame_size == 0 &&
           image.m_image_size == 0 && image.m_window_level == nullptr;
}

// Sizes that are negative, or whose element or byte count does not fit an int, must neither wrap
// round nor allocate: the line, and an empty image.
template <class T>
void expectRefused(int x, int y, int z, int t, int c) {
    const std::string what = std::to_string(sizeof(T)) + " bytes: " + std::to_string(x) + " " +
                             std::to_string(y) + " " + std::to_string(z) + " " + std::to_string(t) +
                             " " + std::to_string(c);
    ImageBase<T> image;
    image.init(2, 2, 1, 1, 1);
    CoutCapture out;
    EXPECT_EQ(image.init(x, y, z, t, c), 0) << what;
    EXPECT_EQ(out.text(), "Error while initializing!\n") << what;
    EXPECT_EQ(image.m_data, nullptr) << what;
    EXPECT_TRUE(isEmpty(image)) << what;
}

TEST(ImageStorage, BadGeometryReportsAndLeavesTheImageEmpty) {
    const int rows[][5] = {{65536, 65536, 1, 1, 1},
                           {1 << 16, 1 << 8, 1 << 8, 1, 1},
                           {1024, 1024, 1024, 1024, 4},
                           {INT_MAX, 1, 1, 1, 2},
                           {INT_MAX, 0, 1, 1, 2},  // a row too long for an int, in an empty image
                           {-1, 4, 1, 1, 1},
                           {-2, -2, 1, 1, 1},
                           {4, 4, 1, 1, -3}};
    for (const auto& g : rows)
        expectRefused<float>(g[0], g[1], g[2], g[3], g[4]);
    // Element counts that fit an int, byte counts that do not (2^31 bytes and more).
    expectRefused<double>(1 << 14, 1 << 14, 1, 1, 1);
    expectRefused<float>(1 << 29, 1, 1, 1, 1);
    expectRefused<unsigned short>(1, 1, 1, 1 << 30, 1);
}

// A storage allocation that fails leaves the image empty, as a refused init does, whichever
// operation asked for it.
TEST(ImageStorage, FailedAllocationLeavesTheImageEmpty) {
    const std::function<ImageBase<int>*(ImageBase<int>&)> allocations[] = {
        [](ImageBase<int>& i) { return i.init(4, 4, 1, 1, 2), &i; },
        [](ImageBase<int>& i) { return i.releaseData(), i.clear(), &i; },
        [](ImageBase<int>& i) { return i.downsample(2, 1, 1, 1, true); },
    };
    for (const auto& allocate : allocations) {
        auto image = makeImage<int>(4, 3, 1, 1, 2);
        CoutCapture out;
        nevra_test::FailingAllocations failing;
        std::unique_ptr<ImageBase<int>> made;
        ImageBase<int>* result = allocate(*image);
        if (result != image.get())
            made.reset(result);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->m_data, nullptr);
        EXPECT_TRUE(isEmpty(*result));
        EXPECT_EQ(out.text(), "Error while initializing!\n");
    }
}

TEST(ImageStorage, ClearAndExternalStorage) {
    ImageBase<float> image;
    image.init(3, 2, 1, 1, 2);
    image.setValue(4.5f, 2, 1, 0, 0, 1);
    image.setWindowLevel(-1.0f, 3.0f, 1);
    image.clear();
    EXPECT_EQ(elements(image), std::vector<float>(12, 0.0f));
    EXPECT_EQ(image.m_window_level[1].low, 0.0f);
    image.releaseData();
    image.clear();
    ASSERT_NE(image.m_data, nullptr) << "clear allocates owned storage when there is none";

    short external[4] = {1, 2, 3, 4};
    {
        ImageBase<short> view;
        view.m_external_data = true;
        view.init(2, 2, 1, 1, 1);
        EXPECT_EQ(view.m_data, nullptr) << "marked external, init waits for the block";
        view.setData(external);
        view.setValue(9.0f, 1, 1, 0, 0, 0);
        view.releaseData();
        EXPECT_EQ(view.m_data, external);
        view.setData(nullptr);
        view.clear();
        EXPECT_EQ(view.m_data, nullptr) << "nor does clear";
    }
    EXPECT_EQ(external[3], 9) << "the view wrote through and did not free";

    // A new geometry over a caller's block (here larger than the block) gets a block of its own:
    // nothing reads or writes past the caller's, which stays the caller's and as it was.
    {
        ImageBase<short> view;
        view.m_external_data = true;
        view.setData(external);
        view.init(40, 30, 1, 1, 2);
        EXPECT_FALSE(view.m_external_data);
        ASSERT_NE(view.m_data, nullptr);
        EXPECT_NE(view.m_data, external);
        view.setValue(5.0f, 39, 29, 0, 0, 1);
        EXPECT_EQ(view.element(0, 0, 0, 0, 0), 0);
    }
    EXPECT_EQ(std::vector<short>(external, external + 4), (std::vector<short>{1, 2, 3, 9}));

    // The record is computed in double: the float sum would round 16777216 + 1 down.
    image.setWindowLevel(16777216.0f, 16777218.0f, 0);
    EXPECT_EQ(image.m_window_level[0].level, 16777217.0f);
    EXPECT_EQ(image.m_window_level[0].window, 2.0f);
}

TEST(ImageAccess, IndexFormulaAndSequentialWalk) {
    ImageBase<int> image;
    image.init(4, 3, 2, 2, 3);
    for (int i = 0; i < image.m_image_size; ++i) {  // the channel varies fastest, then x, y, z, t
        const int c = i % 3, x = i / 3 % 4, y = i / 12 % 3, z = i / 36 % 2, t = i / 72;
        image.setValue(static_cast<float>(t * 10000 + z * 1000 + y * 100 + x * 10 + c), x, y, z, t,
                       c);
        ASSERT_EQ(image.m_data[i], t * 10000 + z * 1000 + y * 100 + x * 10 + c) << i;
    }
    EXPECT_EQ(image.element(3, 2, 1, 1, 2), 11232);
    EXPECT_EQ(image.getValue(3.9f, 2.5f, 1.99f), 1230.0f) << "float coordinates truncate";
    float pixel[3];
    image.getPixel(pixel, 2.7f, 1.2f, 0.0f);
    EXPECT_EQ(std::vector<float>(pixel, pixel + 3), (std::vector<float>{120, 121, 122}));

    // The cursor walks the two elements of a pair, then stays.
    auto pair = makeImage<unsigned char>(2, 1, 1, 1, 1);
    float v = -1.0f;
    EXPECT_TRUE(pair->getNext(&v) && v == 0.0f);
    EXPECT_TRUE(pair->getNext(&v) && v == 1.0f);
    EXPECT_FALSE(pair->getNext(&v) || pair->setNext(7.0f));
    EXPECT_EQ(pair->m_position, 2);
    pair->setCurrent(300.7f);
    pair->resetPosition();
    EXPECT_TRUE(pair->setNext(-1.0f));
    EXPECT_EQ(elements(*pair), (std::vector<unsigned char>{255, 44}));
    EXPECT_EQ(pair->m_position, 1);
}

#ifndef NDEBUG
TEST(ImageAccessDeathTest, CheckedBuildsAssertTheIndex) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ImageBase<float> image;
    image.init(2, 2, 1, 1, 1);
    EXPECT_DEATH(image.setValue(1.0f, 2, 1, 0, 0, 0), "< m_image_size");
    EXPECT_DEATH(image.getValue(0, -1, 0, 0, 0), ">= m_data");
    EXPECT_DEATH(image.element(0, 0, 0, 1, 0), "< m_image_size");
}
#endif

template <class T>
class ImageTyped : public ::testing::Test {};
TYPED_TEST_SUITE(ImageTyped, nevra_test::ElementTypes);

// Integer types truncate toward zero and keep the low bits of their width; the expected elements
// per type: char, unsigned char, short, unsigned short, int, unsigned int.
struct Conversion {
    float input;
    long long stored[6];
};
constexpr Conversion kConversions[] = {
    {300.7f, {44, 44, 300, 300, 300, 300}},
    {-1.5f, {-1, 255, -1, 65535, -1, 4294967295LL}},
    {70000.9f, {112, 112, 4464, 4464, 70000, 70000}},
    {-40000.0f, {-64, 192, 25536, 25536, -40000, 4294927296LL}},
    {5e9f, {0, 0, -3584, 61952, 705032704, 705032704}},
    {-5e9f, {0, 0, 3584, 3584, -705032704, 3589934592LL}},
    {0.99f, {0, 0, 0, 0, 0, 0}},
};

TYPED_TEST(ImageTyped, SetValueConvertsAndGetValueReadsBack) {
    using T = TypeParam;
    ImageBase<T> image;
    image.init(1, 1, 1, 1, 1);
    const int column = (sizeof(T) == 1 ? 0 : sizeof(T) == 2 ? 2 : 4) + std::is_unsigned_v<T>;
    for (const Conversion& row : kConversions) {
        image.setValue(row.input, 0, 0, 0, 0, 0);
        const T want = std::is_floating_point_v<T> ? static_cast<T>(row.input)
                                                   : static_cast<T>(row.stored[column]);
        EXPECT_EQ(image.element(0, 0, 0, 0, 0), want) << row.input;
        EXPECT_EQ(image.getValue(0, 0, 0, 0, 0), static_cast<float>(want)) << "read as signed";
    }
    image.setValue(std::numeric_limits<float>::quiet_NaN(), 0, 0, 0, 0, 0);
    image.setValue(std::numeric_limits<float>::infinity(), 0, 0, 0, 0, 0);
    if constexpr (!std::is_floating_point_v<T>) {
        EXPECT_EQ(image.element(0, 0, 0, 0, 0), T(0)) << "non-finite values store 0";
    }
}

TYPED_TEST(ImageTyped, SwapBytesReversesTwoAndFourByteElements) {
    ImageBase<TypeParam> image;
    image.init(3, 1, 1, 1, 1);
    const std::size_t n = sizeof(TypeParam);
    unsigned char raw[3 * sizeof(TypeParam)];
    for (std::size_t i = 0; i < sizeof raw; ++i)
        raw[i] = static_cast<unsigned char>(i + 1);
    std::memcpy(image.m_data, raw, sizeof raw);
    image.swapBytes();
    const auto* after = reinterpret_cast<const unsigned char*>(image.m_data);
    for (std::size_t i = 0; i < sizeof raw; ++i) {
        const std::size_t from = n == 2 || n == 4 ? i - i % n + (n - 1 - i % n) : i;
        EXPECT_EQ(after[i], raw[from]) << "byte " << i;
    }
}

TYPED_TEST(ImageTyped, RawFileRoundTrip) {
    auto image = makeImage<TypeParam>(3, 2, 2, 2, 2);
    const std::string path = tempPath("round.raw");
    ASSERT_EQ(image->saveRaw(path.c_str()), 0);
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    EXPECT_EQ(static_cast<long long>(file.tellg()), image->m_image_size * sizeof(TypeParam));
    ImageBase<TypeParam> copy;
    copy.init(3, 2, 2, 2, 2);
    ASSERT_EQ(copy.loadRaw(path.c_str()), 0);
    EXPECT_EQ(elements(copy), elements(*image));
    std::remove(path.c_str());
}

TEST(ImageRaw, FailuresReturnOneAndKeepTheElements) {
    auto image = makeImage<short>(2, 2, 1, 1, 1);
    const std::string path = tempPath("short.raw");
    std::ofstream(path, std::ios::binary).write("\1\0\2\0\3\0", 6);  // three of four elements
    EXPECT_EQ(image->loadRaw(path.c_str()), 1);
    EXPECT_EQ(image->loadRaw(tempPath("absent.raw").c_str()), 1);
    EXPECT_EQ(elements(*image), (std::vector<short>{0, 1, 2, 3}));
    std::remove(path.c_str());

    EXPECT_EQ(image->saveRaw((tempPath("no-such-dir") + "/x.raw").c_str()), 1);
    // The device accepts the open but no byte: the write or the close fails.
    if (std::FILE* probe = std::fopen("/dev/full", "wb")) {
        std::fclose(probe);
        EXPECT_EQ(image->saveRaw("/dev/full"), 1);
    }
}

// Raw files are regular files: a FIFO (which would block the open for ever), a directory or a
// device is refused like a file that cannot be opened, and nothing is read or written.
TEST(ImageRaw, OnlyRegularFilesAreReadOrWritten) {
    auto image = makeImage<short>(2, 2, 1, 1, 1);
    const std::vector<short> before = elements(*image);
    const std::string fifo = tempPath("fifo");
    nevra_test::makeFifo(fifo);
    EXPECT_EQ(nevra_test::finishesOnFifo(fifo, false, [&] { return image->loadRaw(fifo.c_str()); }),
              1);
    EXPECT_EQ(nevra_test::finishesOnFifo(fifo, true, [&] { return image->saveRaw(fifo.c_str()); }),
              1);
    // A reader waiting at the other end does not make the FIFO a file.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(image->saveRaw(fifo.c_str()), 1);
    char byte;
    EXPECT_EQ(read(reader, &byte, 1), 0) << "nothing was written into the FIFO";
    close(reader);
    std::remove(fifo.c_str());
    for (const std::string& path : {::testing::TempDir(), std::string("/dev/zero"),
                                    std::string("/dev/null"), std::string("/proc/self/status")}) {
        EXPECT_EQ(image->loadRaw(path.c_str()), 1) << path;
        EXPECT_EQ(elements(*image), before) << path;
    }
    EXPECT_EQ(image->saveRaw(::testing::TempDir().c_str()), 1);
    EXPECT_EQ(image->saveRaw("/dev/null"), 1);
}

// Images without storage: an extent of 0, storage released or never given, or an image
// downsampled to nothing. Every operation takes them as empty: nothing is read or written, and
// the operations with a result to refuse print their line and give null.
TYPED_TEST(ImageTyped, EveryOperationTakesAnImageWithoutStorageAsEmpty) {
    using I = ImageBase<TypeParam>;
    const std::function<void(I&)> images[] = {
        [](I& i) { i.init(4, 4, 2, 0, 1); },
        [](I& i) { i.init(3, 2, 2, 1, 2), i.releaseData(); },
        [](I& i) { i.m_external_data = true, i.init(3, 2, 1, 1, 1); },
        [](I& i) { i.init(4, 4, 1, 1, 1), i.downsample(1, 1, 1, 2, false); },
    };
    unsigned char bytes[64];
    unsigned short words[64];
    float pixel[2] = {-1.0f, -1.0f};
    const float ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const struct {
        const char* line;              // printed by the operation, or null: nothing
        std::function<bool(I&)> call;  // false when the result is wrong
    } operations[] = {
        {nullptr, [&](I& i) { return !i.getNext(pixel) && pixel[0] == 7.0f; }},
        {nullptr, [](I& i) { return !i.setNext(1.0f) && i.m_position == 0; }},
        {nullptr, [](I& i) { return i.m_position = 1, i.setCurrent(1.0f), true; }},
        {nullptr, [](I& i) { return i.swapBytes(), true; }},
        {nullptr, [](I& i) { return i.setValue(1.0f, 0, 0, 0, 0, 0), true; }},
        {nullptr, [](I& i) { return i.getValue(0, 0, 0, 0, 0) == 0.0f; }},
        {nullptr, [](I& i) { return i.getValue(0.0f, 0.0f, 0.0f) == 0.0f; }},
        {nullptr, [](I& i) { return i.element(0, 0, 0, 0, 0) == TypeParam(0); }},
        {nullptr, [&](I& i) { return i.getPixel(pixel, 0, 0, 0), pixel[0] == 0.0f; }},
        {nullptr, [&](I& i) { return i.getTrilinear(pixel, 0, 0, 0), pixel[0] == 0.0f; }},
        {nullptr, [](I& i) { return i.getTrilinear(0.5f, 0.5f, 0.5f) == 0.0f; }},
        {nullptr, [&](I& i) { return i.getTricubic(pixel, 1, 1, 1), pixel[0] == 0.0f; }},
        {nullptr, [](I& i) { return i.getTricubic(1.0f, 1.0f, 1.0f) == 0.0f; }},
        {nullptr, [](I& i) { return i.computeWindowLevel(), true; }},
        {nullptr, [](I& i) { return i.invert(), true; }},
        {nullptr, [](I& i) { return i.applyWindowLevel(true), true; }},
        {nullptr, [](I& i) { return i.downsample(1, 1, 1, 1, false) == nullptr; }},
        {nullptr, [](I& i) { return i.downsample(1, 1, 1, 1, true) == nullptr; }},
        {nullptr, [](I& i) { return i.scaleToPowerOfTwo(), true; }},
        {nullptr, [](I& i) { return i.flip(true, true, true, true), true; }},
        {nullptr, [](I& i) { return i.rotate(1), true; }},
        {nullptr, [](I& i) { return i.fillBorder(2), true; }},
        {"Error: no image data, cannot create byte volume!",
         [&](I& i) { return !i.createByteVolume(bytes, true) && bytes[0] == 7; }},
        {"Error: no image data, cannot create word volume!",
         [&](I& i) { return !i.createWordVolume(words, false) && words[0] == 7; }},
        {"Error: no image data, cannot create byte slice!",
         [&](I& i) { return !i.createByteSlice(bytes, 0, 0, false) && bytes[0] == 7; }},
        {"Error: no image data, cannot compute center of mass!",
         [&](I& i) { return !i.getCenterOfMass(pixel) && pixel[0] == 7.0f; }},
        {"Error: no image data, cannot compute filtered image!",
         [&](I& i) { return !i.computeFilteredImage(kTypeFloat, ones, 3, nullptr); }},
        {"Error: no image data, cannot compute gradient!",
         [](I& i) { return !i.computeGradient(kTypeFloat, nullptr, true, nullptr); }},
        {"Error: no image data, cannot compute hessian!",
         [](I& i) { return !i.computeHessian(kTypeShort, nullptr, nullptr); }},
        {"Error: no image data, cannot compute gradient!",
         [](I& i) { return !i.computeGradient3D(kTypeFloat, nullptr, true, true, nullptr); }},
    };
    for (std::size_t k = 0; k < std::size(images); ++k) {
        for (std::size_t n = 0; n < std::size(operations); ++n) {
            I image;
            image.m_verbose = 0;
            images[k](image);
            ASSERT_EQ(image.m_data, nullptr);
            std::fill(std::begin(bytes), std::end(bytes), 7);
            std::fill(std::begin(words), std::end(words), 7);
            std::fill(std::begin(pixel), std::end(pixel), 7.0f);
            CoutCapture out;
            EXPECT_TRUE(operations[n].call(image)) << "image " << k << ", operation " << n;
            const char* line = operations[n].line;
            EXPECT_EQ(out.text(), line != nullptr ? std::string(line) + "\n" : "")
                << "image " << k << ", operation " << n;
            EXPECT_EQ(image.m_data, nullptr) << "image " << k << ", operation " << n;
        }
    }
}

template <class T>
bool is(Image* image) {
    return dynamic_cast<ImageBase<T>*>(image) != nullptr;
}

TEST(ImageFactory, CreateImageAndNextPowerOfTwo) {
    const std::pair<int, bool (*)(Image*)> types[] = {
        {0x1400, is<char>},           {0x1401, is<unsigned char>}, {0x1402, is<short>},
        {0x1403, is<unsigned short>}, {0x1404, is<int>},           {0x1405, is<unsigned int>},
        {0x1406, is<float>},          {0x140A, is<double>}};
    for (const auto& [code, isType] : types) {
        std::unique_ptr<Image> image(createImage(code));
        ASSERT_NE(image, nullptr) << code;
        EXPECT_TRUE(isType(image.get())) << code;
        EXPECT_EQ(image->m_image_size, 0);
    }
    for (int code : {0, 0x1407, 0x1408, 0x1409, 0x140B, -1})
        EXPECT_EQ(createImage(code), nullptr) << code;
    const int n[] = {0, 1, 2, 3, 4, 5, 100, 1023, 1025, 1 << 30, (1 << 30) + 1, INT_MAX};
    const int power[] = {0, 1, 2, 4, 4, 8, 128, 1024, 2048, 1 << 30, 0, 0};
    for (std::size_t i = 0; i < std::size(n); ++i)
        EXPECT_EQ(nextPowerOfTwo(n[i]), power[i]) << n[i];
}

// Every refused call prints its one line, reports failure and leaves the image as it was.
TEST(ImageRefusals, PrintTheirLineAndLeaveTheImage) {
    using F = ImageBase<float>;
    const float ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    ImageBase<short> hollow;  // extents but no channels: no gradient to take the Hessian of
    hollow.init(3, 3, 1, 1, 0);
    const struct {
        const char* line;
        std::function<bool(F&)> refuse;  // true when the call reported its failure
    } rows[] = {
        {"Error: downsampling factors must be 1 or more!",
         [](F& i) { return !i.downsample(2, 0, 1, 1, false); }},
        {"Error: downsampling factors must be 1 or more!",
         [](F& i) { return !i.downsample(-2, 1, 1, 1, true); }},
        {"Error: rotation axis must be 0, 1 or 2!", [](F& i) { return i.rotate(3), true; }},
        {"Error: rotation axis must be 0, 1 or 2!", [](F& i) { return i.rotate(-1), true; }},
        {"Error: image too large to pad to a power of two!",
         [](F&) {
             unsigned char block[1] = {0};  // never read: the refusal comes first
             ImageBase<unsigned char> huge;
             huge.m_external_data = true;
             huge.init(40000, 40000, 1, 1, 1);
             huge.setData(block);
             huge.scaleToPowerOfTwo();
             return huge.m_dim[0] == 40000 && huge.m_data == block && huge.m_external_data;
         }},
        {"Error: unsigned data type, cannot compute filtered image!",
         [&](F& i) { return !i.computeFilteredImage(kTypeUnsignedByte, ones, 3, nullptr); }},
        {"Error: unsigned data type, cannot compute filtered image!",
         [](F& i) { return !i.computeFilteredImage(kTypeUnsignedInt, nullptr, 2, nullptr); }},
        {"Error: Cannot compute filtered image without filter!",
         [](F& i) { return !i.computeFilteredImage(kTypeFloat, nullptr, 3, nullptr); }},
        {"Error: Window size must be an odd number!",
         [&](F& i) { return !i.computeFilteredImage(kTypeFloat, ones, 2, nullptr); }},
        {"Error: Window size must be an odd number!",
         [&](F& i) {
             auto output = makeImage<float>(5, 5, 1, 1, 9);
             const std::vector<float> before = elements(*output);
             return !i.computeFilteredImage(kTypeFloat, ones, -4, output.get()) &&
                    elements(*output) == before;
         }},
        {"Error: unknown data type, cannot compute filtered image!",
         [&](F& i) { return !i.computeFilteredImage(0, ones, 3, nullptr); }},
        {"Error: unsigned data type, cannot compute gradient!",
         [](F& i) { return !i.computeGradient(kTypeUnsignedShort, nullptr, true, nullptr); }},
        {"Error: unknown data type, cannot compute gradient!",
         [](F& i) { return !i.computeGradient(0, nullptr, true, nullptr); }},
        {"Error: unsigned data type, cannot compute hessian!",
         [](F& i) { return !i.computeHessian(kTypeUnsignedByte, nullptr, nullptr); }},
        {"Error: unknown data type, cannot compute hessian!",
         [](F& i) { return !i.computeHessian(0x1408, nullptr, nullptr); }},
        {"Error: no image data, cannot compute hessian!",
         [&](F&) { return !hollow.computeHessian(kTypeFloat, nullptr, nullptr); }},
        {"Error: unsigned data type, cannot compute gradient!",
         [](F& i) {
             return !i.computeGradient3D(kTypeUnsignedShort, nullptr, true, false, nullptr);
         }},
        {"Error: unknown data type, cannot compute gradient!",
         [](F& i) { return !i.computeGradient3D(0, nullptr, true, false, nullptr); }},
    };
    for (const auto& row : rows) {
        auto image = makeImage<float>(5, 5, 1, 1, 1);
        CoutCapture out;
        EXPECT_TRUE(row.refuse(*image)) << row.line;
        EXPECT_EQ(out.text(), std::string(row.line) + "\n");
        EXPECT_EQ(elements(*image), elements(*makeImage<float>(5, 5, 1, 1, 1))) << row.line;
        EXPECT_EQ(image->m_dim[0], 5) << row.line;
    }
}

}  // namespace
}  // namespace Nevra
