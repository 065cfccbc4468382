// The operations on several threads: the thread count and its environment variable, the same
// bits for every thread count on awkward shapes, results that are cut short, several callers at
// once, and a fork after the pool has run.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "imagebase.h"
#include "imagelib/image_test_support.h"
#include "threading.h"

namespace Nevra {
namespace {

// The bytes of everything an operation leaves in an image: geometry, cursor, window/level
// records and elements.
template <class T>
void appendImage(std::string& out, const Image* image) {
    const auto* typed = dynamic_cast<const ImageBase<T>*>(image);
    ASSERT_NE(typed, nullptr);
    out.append(reinterpret_cast<const char*>(typed->m_dim), sizeof typed->m_dim);
    out.append(reinterpret_cast<const char*>(&typed->m_channels), sizeof(int));
    out.append(reinterpret_cast<const char*>(&typed->m_position), sizeof(int));
    if (typed->m_window_level != nullptr) {
        out.append(reinterpret_cast<const char*>(typed->m_window_level),
                   sizeof(WindowLevel) * static_cast<std::size_t>(typed->m_channels));
    }
    if (typed->m_data != nullptr) {
        out.append(reinterpret_cast<const char*>(typed->m_data),
                   sizeof(T) * static_cast<std::size_t>(typed->m_image_size));
    }
}

// Runs `scenario` on one thread and again on 2, 3 and 7, each band as small as one row, and
// expects the same bytes from every run.
void expectSameOnEveryCount(const std::function<std::string()>& scenario) {
    setThreadCount(1);
    const std::string reference = scenario();
    threading::setMinimumBandWork(1);
    for (const int threads : {2, 3, 7}) {
        setThreadCount(threads);
        EXPECT_TRUE(scenario() == reference) << threads << " threads give other results";
    }
    threading::setMinimumBandWork(0);
    setThreadCount(0);
}

// Values with fractions that do not fit, of both signs, with zeros of both signs among them.
template <class T>
std::unique_ptr<ImageBase<T>> makeSigned(int x, int y, int z, int c, unsigned seed) {
    auto image = nevra_test::makeImage<T>(x, y, z, 1, c, seed);
    image->m_verbose = 0;
    for (int i = 0; i < image->m_image_size; i += 5) {
        image->m_data[i] = static_cast<T>(std::is_signed_v<T> ? -image->m_data[i] : 0);
    }
    if constexpr (std::is_floating_point_v<T>) {
        for (int i = 3; i < image->m_image_size; i += 11) {
            image->m_data[i] = -0.0f;
        }
    }
    image->computeWindowLevel();
    return image;
}

// Every splitting operation on one image of the given shape, into fresh results.
template <class T>
std::string everyOperation(int x, int y, int z, int c) {
    std::string out;
    CoutCapture quiet;
    auto image = makeSigned<T>(x, y, z, c, 17);
    const float filter3[9] = {0.3f, -1.2f, 0.7f, 2.1f, 0.9f, -0.6f, 0.2f, 1.3f, -0.4f};
    float filter5[25];
    float filter27[27];  // a 3 x 3 x 3 kernel for the 3D gradient
    for (int i = 0; i < 27; ++i) {
        filter27[i] = static_cast<float>((i * 5) % 13) * 0.29f - 1.1f;
    }
    for (int i = 0; i < 25; ++i) {
        filter5[i] = static_cast<float>((i * 7) % 11) * 0.37f - 1.5f;
    }
    std::unique_ptr<Image> r;
    if constexpr (std::is_signed_v<T>) {
        r.reset(image->computeFilteredImage(kTypeFloat, filter3, 3, nullptr));
        appendImage<float>(out, r.get());
        r.reset(image->computeFilteredImage(kTypeFloat, filter5, 5, nullptr));
        appendImage<float>(out, r.get());
        r.reset(image->computeFilteredImage(kTypeShort, filter5, 5, nullptr));
        appendImage<short>(out, r.get());
        r.reset(image->computeGradient(kTypeFloat, nullptr, true, nullptr));
        appendImage<float>(out, r.get());
        r.reset(image->computeGradient(kTypeInt, filter3, false, nullptr));
        if (r) {
            appendImage<int>(out, r.get());
        }
        r.reset(image->computeHessian(kTypeFloat, nullptr, nullptr));
        appendImage<float>(out, r.get());
        r.reset(image->computeHessian(kTypeShort, filter3, nullptr));
        appendImage<short>(out, r.get());
        r.reset(image->computeGradient3D(kTypeFloat, nullptr, true, true, nullptr));
        appendImage<float>(out, r.get());
        r.reset(image->computeGradient3D(kTypeByte, filter27, true, false, nullptr));
        appendImage<char>(out, r.get());
    }
    r.reset(image->downsample(2, 1, 1, 1, true));
    appendImage<T>(out, r.get());
    r.reset(image->downsample(1, 2, 1, 1, true));
    appendImage<T>(out, r.get());
    r.reset(image->downsample(2, 2, 2, 1, true));  // blocks across slices
    appendImage<T>(out, r.get());
    if (c == 1) {
        r.reset(image->downsample(2, 2, 1, 1, true));  // one-channel bytes: the 2 x 2 kernel
        appendImage<T>(out, r.get());
    }
    std::unique_ptr<unsigned char[]> bytes(image->createByteVolume(nullptr, true));
    const long long padded = static_cast<long long>(nextPowerOfTwo(x)) * nextPowerOfTwo(y) *
                             nextPowerOfTwo(z) * c;
    out.append(reinterpret_cast<const char*>(bytes.get()), static_cast<std::size_t>(padded));
    std::unique_ptr<unsigned short[]> words(image->createWordVolume(nullptr, false));
    out.append(reinterpret_cast<const char*>(words.get()),
               sizeof(unsigned short) * static_cast<std::size_t>(image->m_image_size));
    std::unique_ptr<unsigned char[]> slice(image->createByteSlice(nullptr, z - 1, c - 1, true));
    out.append(reinterpret_cast<const char*>(slice.get()),
               static_cast<std::size_t>(nextPowerOfTwo(x)) * nextPowerOfTwo(y));
    for (int axis = 0; axis < 3; ++axis) {
        image->rotate(axis);
        appendImage<T>(out, image.get());
    }
    image->flip(true, true, false, false);
    image->invert();
    image->computeWindowLevel();
    appendImage<T>(out, image.get());
    image->setWindowLevel(image->m_window_level[0].low * 0.5f, image->m_window_level[0].high, 0);
    image->applyWindowLevel(true);
    appendImage<T>(out, image.get());
    return out;
}

TEST(ThreadCount, ReadsTheEnvironmentValue) {
    struct Case {
        const char* text;
        int count;
        bool noted;
    };
    const Case cases[] = {
        {nullptr, 5, false}, {"1", 1, false},     {"7", 7, false},      {" 3\t", 3, false},
        {"256", 256, false}, {"", 5, true},       {"0", 5, true},       {"-2", 5, true},
        {"two", 5, true},    {"2x", 5, true},     {"3 4", 5, true},     {"+", 5, true},
        {"257", 256, true},  {"99999999999999999999999", 256, true},
    };
    for (const Case& c : cases) {
        std::string note;
        const std::string shown = c.text != nullptr ? c.text : "(unset)";
        EXPECT_EQ(threading::parseThreadCount(c.text, 5, &note), c.count) << shown;
        EXPECT_EQ(!note.empty(), c.noted) << shown << ": " << note;
        if (c.noted) {
            EXPECT_NE(note.find("NEVRA_THREADS"), std::string::npos) << note;
        }
    }
}

TEST(ThreadCount, SetByTheCallAndRestoredByZero) {
    const int initial = threadCount();
    EXPECT_GE(initial, 1);
    std::string note;
    EXPECT_EQ(initial, threading::parseThreadCount(std::getenv("NEVRA_THREADS"),
                                                   threading::availableProcessors(), &note));
    setThreadCount(3);
    EXPECT_EQ(threadCount(), 3);
    setThreadCount(1 << 20);
    EXPECT_EQ(threadCount(), threading::kMaxThreads);
    setThreadCount(-4);
    EXPECT_EQ(threadCount(), initial);
    setThreadCount(0);
}

// Run by ctest with NEVRA_THREADS=1: a large operation starts no thread at all.
TEST(ThreadCount, OneThreadStartsNoPool) {
    if (threadCount() != 1) {
        GTEST_SKIP() << "for NEVRA_THREADS=1";
    }
    auto image = nevra_test::makeImage<float>(1024, 1024, 1, 1, 1, 3);
    std::unique_ptr<Image> r(image->computeGradient(kTypeFloat, nullptr, true, nullptr));
    EXPECT_EQ(threading::poolThreads(), 0);
}

TEST(Bands, SplitRowsIntoConsecutiveRuns) {
    for (const long long rows : {1LL, 2LL, 7LL, 100LL, 1LL << 40}) {
        for (const int bands : {1, 2, 3, 7}) {
            EXPECT_EQ(threading::bandStart(rows, bands, 0), 0);
            EXPECT_EQ(threading::bandStart(rows, bands, bands), rows);
            for (int b = 0; b < bands; ++b) {
                const long long size =
                    threading::bandStart(rows, bands, b + 1) - threading::bandStart(rows, bands, b);
                EXPECT_GE(size, rows / bands);
                EXPECT_LE(size, rows / bands + 1);
            }
        }
    }
    threading::setMinimumBandWork(1000);
    setThreadCount(4);
    EXPECT_EQ(threading::bandsFor(100, 10.0), 1);   // 1000 units: one band
    EXPECT_EQ(threading::bandsFor(100, 25.0), 2);   // 2500 units: two bands of 1000 or more
    EXPECT_EQ(threading::bandsFor(3, 1e9), 3);      // never more bands than rows
    EXPECT_EQ(threading::bandsFor(1000, 1e9), 4);   // nor than threads
    threading::setMinimumBandWork(0);
    setThreadCount(0);
}

// A band that starts bands of its own (an operation called from a band) runs them on its own
// thread, whichever thread it is on, and every band of both levels runs once.
TEST(Bands, StartedFromABandRunOnItsThread) {
    setThreadCount(3);
    std::atomic<int> runs[9] = {};
    threading::runBands(3, [&](int outer) {
        threading::runBands(3, [&](int inner) { ++runs[outer * 3 + inner]; });
    });
    for (const std::atomic<int>& r : runs) {
        EXPECT_EQ(r.load(), 1);
    }
    setThreadCount(0);
}

template <class T>
class EveryThreadCount : public ::testing::Test {};
using SomeTypes = ::testing::Types<unsigned char, short, float, double>;
TYPED_TEST_SUITE(EveryThreadCount, SomeTypes);

// Shapes where bands are few, uneven or empty: one row, fewer rows than threads, a wide image,
// odd extents over several slices.
TYPED_TEST(EveryThreadCount, GivesTheSameBitsOnAwkwardShapes) {
    struct Shape {
        int x, y, z, c;
    };
    for (const Shape s : {Shape{300, 1, 1, 1}, Shape{9, 2, 1, 1}, Shape{4, 5, 3, 1},
                          Shape{37, 29, 3, 1}, Shape{20000, 3, 1, 1}, Shape{23, 17, 2, 3}}) {
        SCOPED_TRACE(std::to_string(s.x) + " x " + std::to_string(s.y) + " x " +
                     std::to_string(s.z) + " x " + std::to_string(s.c));
        expectSameOnEveryCount([&] { return everyOperation<TypeParam>(s.x, s.y, s.z, s.c); });
    }
}

// The range of a float result keeps the first of two equal bounds (0 before -0), and NaN takes
// no part, wherever the bands start.
TEST(EveryThreadCountRanges, KeepTheFirstOfEqualBoundsAndSkipNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const float first : {5.0f, 0.0f, -0.0f, nan}) {
        expectSameOnEveryCount([&] {
            auto image = nevra_test::makeImage<float>(64, 8, 1, 1, 1);
            for (int i = 0; i < image->m_image_size; ++i) {
                image->m_data[i] = i % 2 == 0 ? 0.0f : -0.0f;
            }
            image->m_data[0] = first;
            image->m_data[100] = nan;
            image->m_data[256] = nan;  // where a band starts
            image->m_data[300] = 9.0f;
            image->computeWindowLevel();
            std::string out;
            appendImage<float>(out, image.get());
            return out;
        });
    }
    setThreadCount(1);
    auto image = nevra_test::makeImage<float>(64, 8, 1, 1, 1);
    std::fill_n(image->m_data, image->m_image_size, -0.0f);
    image->m_data[1] = 0.0f;
    image->m_data[256] = nan;
    image->m_data[300] = 9.0f;
    threading::setMinimumBandWork(1);
    setThreadCount(7);
    image->computeWindowLevel();
    EXPECT_TRUE(std::signbit(image->m_window_level[0].low));  // element 0's -0
    EXPECT_EQ(image->m_window_level[0].high, 9.0f);           // beyond the NaN a band starts on
    threading::setMinimumBandWork(0);
    setThreadCount(0);
}

// Results written into an image that is too small, or has no storage, or is the source itself.
TEST(EveryThreadCountResults, CutShortOrInPlaceAsOnOneThread) {
    const float filter[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    expectSameOnEveryCount([&] {
        std::string out;
        auto image = nevra_test::makeImage<float>(41, 23, 2, 1, 1, 5);
        ImageBase<short> small;
        small.init(40, 7, 1, 1, 1);
        image->computeFilteredImage(kTypeShort, filter, 3, &small);
        appendImage<short>(out, &small);
        ImageBase<float> gradient;
        gradient.init(41, 23, 1, 1, 2);
        image->computeGradient(kTypeFloat, nullptr, true, &gradient);
        appendImage<float>(out, &gradient);
        ImageBase<float> empty;
        empty.init(41, 23, 2, 1, 3);
        empty.releaseData();
        image->computeHessian(kTypeFloat, nullptr, &empty);
        out += std::to_string(empty.m_position);
        image->computeFilteredImage(kTypeFloat, filter, 3, image.get());
        appendImage<float>(out, image.get());
        return out;
    });
}

// The elements of a filtered one-slice image with a size x size window.
std::vector<float> filtered(ImageBase<float>& image, const float* filter, int size) {
    ImageBase<float> result;
    result.init(image.m_dim[0], image.m_dim[1], 1, 1, 1);
    image.computeFilteredImage(kTypeFloat, filter, size, &result);
    return nevra_test::elements(result);
}

// Several threads at once, on images of their own and on one they all read, while the pool is
// busy with one of them at a time.
TEST(Concurrency, ThreadsOnOwnAndSharedImagesGetTheOneThreadResults) {
    float filter[25];
    for (int i = 0; i < 25; ++i) {
        filter[i] = 0.1f * static_cast<float>(i % 7) - 0.2f;
    }
    auto shared = nevra_test::makeImage<float>(256, 192, 1, 1, 1, 9);
    setThreadCount(1);
    const std::vector<float> sharedReference = filtered(*shared, filter, 5);
    std::vector<std::unique_ptr<ImageBase<float>>> own;
    std::vector<std::vector<float>> ownReference;
    constexpr int kCallers = 4;
    for (int i = 0; i < kCallers; ++i) {
        own.push_back(nevra_test::makeImage<float>(256, 192, 1, 1, 1, 100 + i));
        ownReference.push_back(filtered(*own.back(), filter, 5));
    }
    threading::setMinimumBandWork(1);
    setThreadCount(3);
    std::atomic<int> failures{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < kCallers; ++i) {
        callers.emplace_back([&, i] {
            for (int round = 0; round < 5; ++round) {
                if (filtered(*shared, filter, 5) != sharedReference ||
                    filtered(*own[i], filter, 5) != ownReference[i]) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& t : callers) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
    threading::setMinimumBandWork(0);
    setThreadCount(0);
}

// The first operations of the process (run alone by ctest as threads_test_first_use), started by
// several threads at the same moment: the code path and the pool are chosen and started under
// that race.
TEST(FirstUse, SeveralThreadsStartTheLibraryAtOnce) {
    constexpr int kCallers = 6;
    std::atomic<bool> go{false};
    std::atomic<int> failures{0};
    std::vector<std::vector<float>> results(kCallers);
    std::vector<std::thread> callers;
    for (int i = 0; i < kCallers; ++i) {
        callers.emplace_back([&, i] {
            auto image = nevra_test::makeImage<float>(512, 512, 1, 1, 1, 4);
            ImageBase<float> result;
            result.init(512, 512, 1, 1, 2);
            while (!go.load()) {
            }
            image->computeGradient(kTypeFloat, nullptr, true, &result);
            results[static_cast<std::size_t>(i)] = nevra_test::elements(result);
        });
    }
    go.store(true);
    for (std::thread& t : callers) {
        t.join();
    }
    for (int i = 1; i < kCallers; ++i) {
        EXPECT_TRUE(results[static_cast<std::size_t>(i)] == results[0]) << "caller " << i;
    }
    (void)failures;
}

// A child forked after the pool ran makes an operation on threads and exits.
TEST(Fork, ChildAfterThePoolRanCompletesAnOperation) {
    const float filter[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    auto image = nevra_test::makeImage<float>(300, 200, 1, 1, 1, 2);
    setThreadCount(1);
    const std::vector<float> reference = filtered(*image, filter, 3);
    threading::setMinimumBandWork(1);
    setThreadCount(3);
    ASSERT_TRUE(filtered(*image, filter, 3) == reference);
    ASSERT_GT(threading::poolThreads(), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool same = filtered(*image, filter, 3) == reference;
        _exit(same && threading::poolThreads() == 2 ? 0 : 1);
    }
    int status = 0;
    pid_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the child hangs";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's result differs";
    threading::setMinimumBandWork(0);
    setThreadCount(0);
}

}  // namespace
}  // namespace Nevra
