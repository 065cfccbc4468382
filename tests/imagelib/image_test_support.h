#ifndef TESTS_IMAGELIB_IMAGE_TEST_SUPPORT_H
#define TESTS_IMAGELIB_IMAGE_TEST_SUPPORT_H

// Helpers shared by the image library's tests: the eight element types, test images and
// temporary file names.

#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace nevra_test

#endif  // TESTS_IMAGELIB_IMAGE_TEST_SUPPORT_H
