// Decoding throughput of Bitmap::readBitmap on a 2048 x 256 24-bit picture, beside the time of
// simply reading the file's bytes. Usage: bmp_bench [runs] (default 21). Prints medians.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bitmap.h"
#include "bmp_file.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 256;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
double timeSeconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const bench::BmpFile file(kWidth, kHeight);
    const std::string name = file.name();
    const double megabytes = static_cast<double>(file.size()) / 1e6;

    std::vector<double> decode;
    std::vector<double> plain;
    std::vector<unsigned char> sink(file.size());
    Nevra::Bitmap bitmap;
    for (int r = 0; r < runs; ++r) {
        int result = 0;
        decode.push_back(timeSeconds([&] { result = bitmap.readBitmap(name.c_str(), 1); }));
        if (result != 1) {
            std::printf("readBitmap failed\n");
            return 1;
        }
        plain.push_back(timeSeconds([&] {
            std::FILE* f = std::fopen(name.c_str(), "rb");
            if (f != nullptr) {
                if (std::fread(sink.data(), 1, sink.size(), f) != sink.size()) {
                    std::printf("short read\n");
                }
                std::fclose(f);
            }
        }));
    }
    const double d = median(decode);
    const double p = median(plain);
    std::printf("bmp_bench: %d x %d x 24 bit, %.2f MB, median of %d runs\n", kWidth, kHeight,
                megabytes, runs);
    std::printf("readBitmap:      %8.3f ms  %8.1f MB/s\n", d * 1e3, megabytes / d);
    std::printf("plain file read: %8.3f ms  %8.1f MB/s\n", p * 1e3, megabytes / p);
    return 0;
}
