#ifndef TESTS_IMAGELIB_IMAGE_TEST_SUPPORT_H
#define TESTS_IMAGELIB_IMAGE_TEST_SUPPORT_H

// Helpers shared by the image library's tests: the eight element types, test images, floats
// compared bit for bit, temporary file names, FIFOs and failing storage allocations.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "imagebase.h"
#include "support/cout_capture.h"

namespace nevra_test {

using ElementTypes =
    ::testing::Types<char, unsigned char, short, unsigned short, int, unsigned int, float, double>;

// An image of the given geometry whose elements lie in [0, 100), valid in every element type:
// i % 97 at element i, or random ones drawn from `seed` when it is non-zero, whole numbers for
// integer types and with one decimal for floating-point ones (so that their sums round).
template <class T>
std::unique_ptr<Nevra::ImageBase<T>> makeImage(int x, int y, int z, int t, int c,
                                               unsigned seed = 0) {
    auto image = std::make_unique<Nevra::ImageBase<T>>();
    image->init(x, y, z, t, c);
    std::mt19937 random(seed);
    for (int i = 0; i < image->m_image_size; ++i) {
        const int draw = static_cast<int>(random() % 1000);
        image->m_data[i] = seed == 0                     ? static_cast<T>(i % 97)
                           : std::is_floating_point_v<T> ? static_cast<T>(draw / T(10))
                                                         : static_cast<T>(draw % 100);
    }
    return image;
}

template <class T>
std::vector<T> elements(const Nevra::ImageBase<T>& image) {
    return std::vector<T>(image.m_data, image.m_data + image.m_image_size);
}

inline std::uint32_t bits(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Equal bit for bit, or both NaN: which of two NaN operands a sum passes on is the compiler's
// choice.
inline ::testing::AssertionResult sameFloat(float expected, float got) {
    if ((std::isnan(expected) && std::isnan(got)) || bits(expected) == bits(got))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << " (0x" << std::hex
                                         << bits(expected) << "), got " << got << " (0x"
                                         << bits(got) << ")";
}

// A file name in the test folder, unique to the running test and process (two builds may run
// their tests at the same time).
inline std::string tempPath(const std::string& name) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string unique =
        std::to_string(getpid()) + "_" + info->test_suite_name() + "_" + info->name() + "_" + name;
    for (char& ch : unique) {
        ch = ch == '/' ? '_' : ch;
    }
    return ::testing::TempDir() + unique;
}

// A FIFO at `path` (made afresh).
inline void makeFifo(const std::string& path) {
    std::remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
}

// Runs `call` (which opens the FIFO at `fifo` for reading, or for writing when `callWrites`) on
// another thread and returns its result. A call still blocked after five seconds fails the test;
// it is then released by opening the FIFO from the other end, kept open until the call has
// returned (so a writer gets no SIGPIPE), instead of hanging the whole run.
template <class Call>
auto finishesOnFifo(const std::string& fifo, bool callWrites, Call call) {
    auto result = std::async(std::launch::async, call);
    int otherEnd = -1;
    if (result.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
        ADD_FAILURE() << "blocked on the FIFO " << fifo;
        otherEnd = open(fifo.c_str(), (callWrites ? O_RDONLY : O_WRONLY) | O_NONBLOCK);
    }
    auto value = result.get();
    if (otherEnd >= 0) {
        close(otherEnd);
    }
    return value;
}

// While one lives, every aligned allocation fails, as the image library's storage allocation
// does when memory runs out. Only in test binaries linked with failing_allocation.cpp.
class FailingAllocations {
public:
    FailingAllocations();
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace nevra_test

#endif  // TESTS_IMAGELIB_IMAGE_TEST_SUPPORT_H
