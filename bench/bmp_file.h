#ifndef BENCH_BMP_FILE_H
#define BENCH_BMP_FILE_H

// The picture the BMP benchmarks decode: an uncompressed 24-bit BMP file, bottom-up rows, written
// once into the temporary folder and removed again when the object goes.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

class BmpFile {
public:
    // REQUIRES: width * 3 is a multiple of 4 (rows need no padding).
    BmpFile(int width, int height) : m_bytes(bytes(width, height)) {
        m_path = std::filesystem::temp_directory_path() /
                 ("nevra_bench_" + std::to_string(::getpid()) + "_" + std::to_string(width) + "x" +
                  std::to_string(height) + ".bmp");
        std::ofstream out(m_path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(m_bytes.data()),
                  static_cast<std::streamsize>(m_bytes.size()));
    }
    ~BmpFile() {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    BmpFile(const BmpFile&) = delete;
    BmpFile& operator=(const BmpFile&) = delete;

    std::string name() const { return m_path.string(); }
    std::size_t size() const { return m_bytes.size(); }

private:
    static void put32(std::vector<unsigned char>& b, int at, unsigned v) {
        for (int i = 0; i < 4; ++i) {
            b[at + i] = static_cast<unsigned char>(v >> (8 * i));
        }
    }

    static std::vector<unsigned char> bytes(int width, int height) {
        const int rowBytes = width * 3;
        std::vector<unsigned char> b(54 + static_cast<std::size_t>(rowBytes) * height);
        b[0] = 'B';
        b[1] = 'M';
        put32(b, 2, static_cast<unsigned>(b.size()));
        put32(b, 10, 54);
        put32(b, 14, 40);
        put32(b, 18, static_cast<unsigned>(width));
        put32(b, 22, static_cast<unsigned>(height));
        b[26] = 1;
        b[28] = 24;
        put32(b, 34, static_cast<unsigned>(rowBytes * height));
        for (std::size_t i = 54; i < b.size(); ++i) {
            b[i] = static_cast<unsigned char>(i * 7);
        }
        return b;
    }

    std::vector<unsigned char> m_bytes;
    std::filesystem::path m_path;
};

}  // namespace bench

#endif  // BENCH_BMP_FILE_H
