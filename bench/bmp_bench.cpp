// Decoding throughput of Bitmap::readBitmap on a 2048 x 256 24-bit picture, beside the time of
// simply reading the file's bytes. Usage: bmp_bench [runs] (default 21). Prints medians.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bitmap.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 256;

void put32(std::vector<unsigned char>& b, int at, unsigned v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

std::vector<unsigned char> makeBmp() {
    const int rowBytes = kWidth * 3;  // already a multiple of 4
    std::vector<unsigned char> b(54 + static_cast<std::size_t>(rowBytes) * kHeight);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<unsigned>(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, kWidth);
    put32(b, 22, kHeight);
    b[26] = 1;
    b[28] = 24;
    put32(b, 34, static_cast<unsigned>(rowBytes * kHeight));
    for (std::size_t i = 54; i < b.size(); ++i) {
        b[i] = static_cast<unsigned char>(i * 7);
    }
    return b;
}

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
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("bmp_bench_" + std::to_string(::getpid()) + ".bmp");
    const std::vector<unsigned char> bytes = makeBmp();
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    const std::string name = path.string();
    const double megabytes = static_cast<double>(bytes.size()) / 1e6;

    std::vector<double> decode;
    std::vector<double> plain;
    std::vector<unsigned char> sink(bytes.size());
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
    std::filesystem::remove(path);

    const double d = median(decode);
    const double p = median(plain);
    std::printf("bmp_bench: %d x %d x 24 bit, %.2f MB, median of %d runs\n", kWidth, kHeight,
                megabytes, runs);
    std::printf("readBitmap:      %8.3f ms  %8.1f MB/s\n", d * 1e3, megabytes / d);
    std::printf("plain file read: %8.3f ms  %8.1f MB/s\n", p * 1e3, megabytes / p);
    return 0;
}
