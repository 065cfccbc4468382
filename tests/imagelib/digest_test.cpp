// Results by digest: the operations on fixed images of every element type, hashed bit for bit.
// The digests below were taken on x86-64, where every code path gives them; every processor and
// code path must give the same ones (the aarch64 cross build runs this under emulation). When a
// digest differs, the test prints each operation's own so that two machines' lists can be
// compared line by line.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "imagebase.h"
#include "imagelib/image_test_support.h"
#include "threading.h"

namespace Nevra {
namespace {

using nevra_test::ElementTypes;

// FNV-1a over bytes.
class Digest {
public:
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            m_value = (m_value ^ bytes[i]) * 0x100000001b3ULL;
        }
    }
    template <class V>
    void addValue(const V& v) {
        add(&v, sizeof v);
    }
    std::uint64_t value() const { return m_value; }

private:
    std::uint64_t m_value = 0xcbf29ce484222325ULL;
};

// The geometry and every element of an image whose element type is T.
template <class T>
std::uint64_t digestOf(const Image* image) {
    Digest d;
    const auto* typed = dynamic_cast<const ImageBase<T>*>(image);
    if (typed == nullptr) {
        return 0;
    }
    d.add(typed->m_dim, sizeof typed->m_dim);
    d.addValue(typed->m_channels);
    if (typed->m_data != nullptr) {
        d.add(typed->m_data, sizeof(T) * static_cast<std::size_t>(typed->m_image_size));
    }
    return d.value();
}

std::uint64_t digestOfFloats(const std::vector<float>& values) {
    Digest d;
    d.add(values.data(), values.size() * sizeof(float));
    return d.value();
}

// Elements spread over much of the type's range, negative ones too where the type has them;
// floating-point ones with fractions that do not fit exactly, so that every sum rounds.
template <class T>
std::unique_ptr<ImageBase<T>> makeSpread(int x, int y, int z, int c, std::uint32_t seed) {
    auto image = std::make_unique<ImageBase<T>>();
    image->init(x, y, z, 1, c);
    image->m_verbose = 0;
    std::uint32_t r = seed;
    for (int i = 0; i < image->m_image_size; ++i) {
        r = r * 1664525u + 1013904223u;
        const std::uint32_t draw = r >> 8;
        T v;
        if constexpr (std::is_floating_point_v<T>) {
            v = static_cast<T>(static_cast<int>(draw % 200001) - 100000) / T(7);
        } else if constexpr (sizeof(T) == 1) {
            v = static_cast<T>(std::is_signed_v<T> ? static_cast<int>(draw % 251) - 125
                                                   : static_cast<int>(draw % 256));
        } else if constexpr (sizeof(T) == 2) {
            v = static_cast<T>(std::is_signed_v<T> ? static_cast<int>(draw % 20001) - 10000
                                                   : static_cast<int>(draw % 60000));
        } else {
            v = static_cast<T>(std::is_signed_v<T> ? static_cast<int>(draw % 2000001) - 1000000
                                                   : static_cast<int>(draw % 4000000));
        }
        image->m_data[i] = v;
    }
    image->computeWindowLevel();
    return image;
}

// A copy of `image`: downsampling by 1 along every axis.
template <class T>
std::unique_ptr<ImageBase<T>> copyOf(ImageBase<T>& image) {
    std::unique_ptr<Image> copy(image.downsample(1, 1, 1, 1, true));
    auto* typed = dynamic_cast<ImageBase<T>*>(copy.get());
    if (typed == nullptr) {
        return nullptr;
    }
    copy.release();
    typed->m_verbose = 0;
    return std::unique_ptr<ImageBase<T>>(typed);
}

// Each operation's name and the digest of its result, in a fixed order.
template <class T>
std::vector<std::pair<std::string, std::uint64_t>> operationDigests() {
    std::vector<std::pair<std::string, std::uint64_t>> out;
    auto volume = makeSpread<T>(29, 19, 5, 1, 11);
    auto colour = makeSpread<T>(17, 13, 2, 3, 23);
    const float filter5[25] = {0.1f,  -0.3f, 0.7f,  0.2f,  -0.05f, 0.33f, 1.1f,  -2.5f, 0.9f,
                               0.01f, 0.6f,  -1.7f, 3.3f,  -0.4f,  0.25f, 0.15f, 0.8f,  -0.6f,
                               1.9f,  -0.2f, 0.07f, -0.9f, 0.45f,  0.3f,  -0.11f};
    const float filter3[9] = {0.3f, -1.2f, 0.7f, 2.1f, 0.9f, -0.6f, 0.2f, 1.3f, -0.4f};
    const float gradientKernel[9] = {0.5f, 1.5f, 0.5f, 0.0f, 0.0f, 0.0f, -0.5f, -1.5f, -0.5f};
    CoutCapture quiet;  // the clamping counts of the 3D gradients

    std::unique_ptr<Image> r(volume->computeFilteredImage(kTypeFloat, filter5, 5, nullptr));
    out.emplace_back("filter 5x5", digestOf<float>(r.get()));
    r.reset(colour->computeFilteredImage(kTypeFloat, filter3, 3, nullptr));
    out.emplace_back("filter 3x3 of three channels", digestOf<float>(r.get()));
    r.reset(volume->computeFilteredImage(kTypeShort, filter3, 3, nullptr));
    out.emplace_back("filter 3x3 into short", digestOf<short>(r.get()));
    r.reset(volume->computeGradient(kTypeFloat, nullptr, true, nullptr));
    out.emplace_back("gradient", digestOf<float>(r.get()));
    r.reset(volume->computeGradient(kTypeFloat, gradientKernel, false, nullptr));
    out.emplace_back("gradient, own kernel", digestOf<float>(r.get()));
    r.reset(volume->computeHessian(kTypeFloat, nullptr, nullptr));
    out.emplace_back("Hessian", digestOf<float>(r.get()));
    r.reset(volume->computeGradient3D(kTypeFloat, nullptr, true, true, nullptr));
    out.emplace_back("3D gradient", digestOf<float>(r.get()));
    r.reset(volume->computeGradient3D(kTypeShort, nullptr, false, false, nullptr));
    out.emplace_back("3D gradient into short", digestOf<short>(r.get()));
    r.reset(volume->computeGradient3D(kTypeByte, nullptr, true, false, nullptr));
    out.emplace_back("3D gradient into byte", digestOf<char>(r.get()));
    r.reset(volume->downsample(2, 3, 2, 1, true));
    out.emplace_back("downsample", digestOf<T>(r.get()));
    r.reset(colour->downsample(2, 2, 1, 1, true));
    out.emplace_back("downsample of three channels", digestOf<T>(r.get()));

    std::vector<float> samples;
    float cubic[3];
    for (int i = 0; i < 40; ++i) {
        const float x = 1.0f + 0.37f * i, y = 1.0f + 0.29f * (i % 13), z = 1.0f + 0.07f * i;
        samples.push_back(volume->getTrilinear(x, y, z * 0.5f));
        samples.push_back(volume->getTricubic(x, y, 1.0f + 0.02f * i));
        colour->getTrilinear(cubic, 0.3f * i, 0.25f * (i % 11), 0.0f);
        samples.insert(samples.end(), cubic, cubic + 3);
    }
    out.emplace_back("trilinear and tricubic", digestOfFloats(samples));
    float centre[3];
    volume->getCenterOfMass(centre);
    out.emplace_back("centre of mass", digestOfFloats({centre[0], centre[1], centre[2]}));
    std::unique_ptr<unsigned char[]> bytes(volume->createByteVolume(nullptr, false));
    std::unique_ptr<unsigned short[]> words(volume->createWordVolume(nullptr, false));
    Digest scaled;
    scaled.add(bytes.get(), 29 * 19 * 5);
    scaled.add(words.get(), 29 * 19 * 5 * sizeof(unsigned short));
    out.emplace_back("byte and word volumes", scaled.value());

    for (int axis = 0; axis < 3; ++axis) {
        auto turned = copyOf(*volume);
        turned->rotate(axis);
        out.emplace_back("rotate about " + std::to_string(axis), digestOf<T>(turned.get()));
    }
    auto changed = copyOf(*colour);
    changed->flip(true, true, false, false);
    changed->invert();
    out.emplace_back("flip and invert", digestOf<T>(changed.get()));
    changed->setWindowLevel(changed->m_window_level[0].low * 0.5f + 3.0f,
                            changed->m_window_level[0].high * 0.75f, 0);
    changed->applyWindowLevel(true);
    out.emplace_back("window and level", digestOf<T>(changed.get()));
    return out;
}

template <class T>
class Digests : public ::testing::Test {};
TYPED_TEST_SUITE(Digests, ElementTypes);

// The combined digest of each element type's operations (char, unsigned char, short, unsigned
// short, int, unsigned int, float, double).
template <class T>
constexpr std::uint64_t kExpected = 0;
template <>
constexpr std::uint64_t kExpected<char> = 0x669fcf4d072a47f4ULL;
template <>
constexpr std::uint64_t kExpected<unsigned char> = 0xef140b56d4004d8cULL;
template <>
constexpr std::uint64_t kExpected<short> = 0x2d85089c616dd673ULL;
template <>
constexpr std::uint64_t kExpected<unsigned short> = 0x49d91de0b219148aULL;
template <>
constexpr std::uint64_t kExpected<int> = 0x2e59e4b1d18c6d05ULL;
template <>
constexpr std::uint64_t kExpected<unsigned int> = 0x806614b4c1bd91c1ULL;
template <>
constexpr std::uint64_t kExpected<float> = 0xb3d8fcf1b53ef835ULL;
template <>
constexpr std::uint64_t kExpected<double> = 0x6e05cb3e0e221a49ULL;

// The combined digest of the operations, with a listing of each one's.
template <class T>
std::pair<std::uint64_t, std::string> combinedDigest() {
    const auto digests = operationDigests<T>();
    Digest combined;
    std::ostringstream list;
    for (const auto& [name, value] : digests) {
        EXPECT_NE(value, 0u) << name << ": no result of the expected type";
        combined.addValue(value);
        list << "  " << name << ": 0x" << std::hex << std::setw(16) << std::setfill('0') << value
             << std::dec << "\n";
    }
    return {combined.value(), list.str()};
}

TYPED_TEST(Digests, EveryOperationGivesTheResultsOfX86_64) {
    const auto [value, list] = combinedDigest<TypeParam>();
    EXPECT_EQ(value, kExpected<TypeParam>)
        << "combined digest 0x" << std::hex << value << std::dec << "; each:\n" << list;
}

// The same digests with the small test images split into as many bands as rows allow, on 2, 3
// and 7 threads.
TYPED_TEST(Digests, EveryThreadCountGivesTheSameResults) {
    threading::setMinimumBandWork(1);
    for (const int threads : {2, 3, 7}) {
        setThreadCount(threads);
        const auto [value, list] = combinedDigest<TypeParam>();
        EXPECT_EQ(value, kExpected<TypeParam>)
            << threads << " threads: combined digest 0x" << std::hex << value << std::dec
            << "; each:\n" << list;
    }
    setThreadCount(0);
    threading::setMinimumBandWork(0);
}

}  // namespace
}  // namespace Nevra
