// Throughput of the Nevra image operations next to OpenCV doing the same work, both on one
// thread: megapixels of input per second, best of a short series of runs. Prints a table of
// operation, ours, OpenCV and the ratio ours / OpenCV. Both sides write into results made
// beforehand wherever the operation lets them (downsample makes its image on every call; rotate
// and flip replace the storage). Takes some ten to twenty seconds.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>

#include <time.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imagebase.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU time of this thread in seconds: other work on a shared machine does not count against a run.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Megapixels per second of `run` over `pixels` input pixels: the fastest of the runs (in thread
// CPU time) made within about `budget` seconds of wall time (at least three), after one warm-up.
double throughput(const std::function<void()>& run, double pixels, double budget = 0.6) {
    run();
    double best = 1e30;
    const auto start = Clock::now();
    int runs = 0;
    while (runs < 3 || std::chrono::duration<double>(Clock::now() - start).count() < budget) {
        const double t0 = threadSeconds();
        run();
        const double seconds = threadSeconds() - t0;
        best = std::min(best, seconds);
        ++runs;
    }
    return pixels / best / 1e6;
}

void report(const char* name, double ours, double theirs) {
    if (theirs > 0.0) {
        std::printf("%-26s %10.0f %10.0f %8.2f\n", name, ours, theirs, ours / theirs);
    } else {
        std::printf("%-26s %10.0f %10s %8s\n", name, ours, "-", "-");
    }
    std::fflush(stdout);
}

template <class T>
void fillRandom(Nevra::ImageBase<T>& image, cv::Mat* twin, float top) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(0.0f, top);
    for (int i = 0; i < image.m_image_size; ++i) {
        image.m_data[i] = static_cast<T>(value(random));
    }
    if (twin != nullptr) {
        std::copy(image.m_data, image.m_data + image.m_image_size, twin->ptr<T>());
    }
}

}  // namespace

int main() {
    cv::setNumThreads(1);
    constexpr int kSide = 1024;
    const double plane = static_cast<double>(kSide) * kSide;
    std::printf("%-26s %10s %10s %8s\n", "operation (MPix/s)", "ours", "OpenCV", "ratio");

    Nevra::ImageBase<float> image;
    image.m_verbose = 0;
    image.init(kSide, kSide, 1, 1, 1);
    cv::Mat src(kSide, kSide, CV_32F);
    fillRandom(image, &src, 255.0f);
    cv::Mat dst;
    cv::Mat dst2;

    const float smooth3[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    float smooth5[25];
    for (int i = 0; i < 25; ++i) {
        smooth5[i] = static_cast<float>(1 + (i % 5) * (i / 5) % 7);
    }
    const float sobel[9] = {1, 2, 1, 0, 0, 0, -1, -2, -1};
    const cv::Mat k3(3, 3, CV_32F, const_cast<float*>(smooth3));
    const cv::Mat k5(5, 5, CV_32F, smooth5);
    const cv::Mat kA(3, 3, CV_32F, const_cast<float*>(sobel));
    const cv::Mat kB = kA.t();
    const cv::Point anchor(-1, -1);

    std::unique_ptr<Nevra::Image> filtered(Nevra::createImage(Nevra::kTypeFloat));
    filtered->init(kSide, kSide, 1, 1, 1);
    report("filter 3x3 float",
           throughput(
               [&] { image.computeFilteredImage(Nevra::kTypeFloat, smooth3, 3, filtered.get()); },
               plane),
           throughput([&] { cv::filter2D(src, dst, CV_32F, k3, anchor, 0, cv::BORDER_CONSTANT); },
                      plane));
    report("filter 5x5 float",
           throughput(
               [&] { image.computeFilteredImage(Nevra::kTypeFloat, smooth5, 5, filtered.get()); },
               plane),
           throughput([&] { cv::filter2D(src, dst, CV_32F, k5, anchor, 0, cv::BORDER_CONSTANT); },
                      plane));

    std::unique_ptr<Nevra::Image> gradient(Nevra::createImage(Nevra::kTypeFloat));
    gradient->init(kSide, kSide, 1, 1, 2);
    report(
        "gradient float",
        throughput([&] { image.computeGradient(Nevra::kTypeFloat, nullptr, true, gradient.get()); },
                   plane),
        throughput(
            [&] {
                cv::filter2D(src, dst, CV_32F, kA, anchor, 0, cv::BORDER_CONSTANT);
                cv::filter2D(src, dst2, CV_32F, kB, anchor, 0, cv::BORDER_CONSTANT);
            },
            plane));

    std::unique_ptr<Nevra::Image> hessian(Nevra::createImage(Nevra::kTypeFloat));
    hessian->init(kSide, kSide, 1, 1, 3);
    cv::Mat p, q, r;
    report(
        "hessian float",
        throughput([&] { image.computeHessian(Nevra::kTypeFloat, nullptr, hessian.get()); }, plane),
        throughput(
            [&] {
                cv::filter2D(src, dst, CV_32F, kA, anchor, 0, cv::BORDER_CONSTANT);
                cv::filter2D(src, dst2, CV_32F, kB, anchor, 0, cv::BORDER_CONSTANT);
                cv::filter2D(dst, p, CV_32F, kA, anchor, 0, cv::BORDER_CONSTANT);
                cv::filter2D(dst, q, CV_32F, kB, anchor, 0, cv::BORDER_CONSTANT);
                cv::filter2D(dst2, r, CV_32F, kB, anchor, 0, cv::BORDER_CONSTANT);
            },
            plane));

    {
        constexpr int kCube = 128;
        Nevra::ImageBase<float> volume;
        volume.m_verbose = 0;
        volume.init(kCube, kCube, kCube, 1, 1);
        fillRandom(volume, nullptr, 255.0f);
        std::unique_ptr<Nevra::Image> result(Nevra::createImage(Nevra::kTypeFloat));
        result->init(kCube, kCube, kCube, 1, 3);
        report("gradient 3D float 128^3",
               throughput(
                   [&] {
                       volume.computeGradient3D(Nevra::kTypeFloat, nullptr, true, false,
                                                result.get());
                   },
                   static_cast<double>(kCube) * kCube * kCube),
               0.0);
    }

    {
        Nevra::ImageBase<unsigned char> bytes;
        bytes.m_verbose = 0;
        bytes.init(kSide, kSide, 1, 1, 1);
        cv::Mat src8(kSide, kSide, CV_8U);
        fillRandom(bytes, &src8, 256.0f);
        cv::Mat half;
        report("downsample 2x2 u8",
               throughput([&] { delete bytes.downsample(2, 2, 1, 1, true); }, plane),
               throughput(
                   [&] {
                       cv::resize(src8, half, cv::Size(kSide / 2, kSide / 2), 0, 0, cv::INTER_AREA);
                   },
                   plane));
    }

    {
        Nevra::ImageBase<unsigned char> rgb;
        rgb.m_verbose = 0;
        rgb.init(kSide, kSide, 1, 1, 3);
        cv::Mat src8(kSide, kSide, CV_8UC3);
        fillRandom(rgb, &src8, 256.0f);
        cv::Mat out8;
        report("rotate u8x3", throughput([&] { rgb.rotate(2); }, plane),
               throughput([&] { cv::rotate(src8, out8, cv::ROTATE_90_COUNTERCLOCKWISE); }, plane));
        report("flip x u8x3", throughput([&] { rgb.flip(true, false, false, false); }, plane),
               throughput([&] { cv::flip(src8, out8, 1); }, plane));
        report("flip y u8x3", throughput([&] { rgb.flip(false, true, false, false); }, plane),
               throughput([&] { cv::flip(src8, out8, 0); }, plane));
    }
    return 0;
}
