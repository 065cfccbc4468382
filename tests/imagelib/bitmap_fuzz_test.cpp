// The BMP reader's fuzz target (fuzz/bitmap_fuzz.cpp), built here without libFuzzer: its entry
// point is called directly. Every committed seed passes its checks, and the target leaves no
// scratch file behind when its process ends, as libFuzzer ends it, with exit().

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int madeFilesPipe = -1;  // where mkstemp reports each file it made, when not -1

// The seed files, but for hidden ones (none if the folder is missing).
std::vector<std::vector<uint8_t>> seeds() {
    std::vector<std::vector<uint8_t>> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(NEVRA_FUZZ_CORPUS, error)) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
        if (entry.path().filename().string()[0] != '.' && !bytes.empty())
            files.push_back(bytes);
    }
    return files;
}

}  // namespace

// The scratch files of the C library's usual way of making them are reported to the test.
extern "C" int mkstemp(char* pattern) {
    const int fd = mkostemp(pattern, 0);
    if (fd >= 0 && madeFilesPipe >= 0) {
        const std::string line = std::string(pattern) + "\n";
        if (write(madeFilesPipe, line.data(), line.size()) < 0) {
            std::abort();
        }
    }
    return fd;
}

namespace {

TEST(BitmapFuzzTarget, SeedsPassAndNoScratchFileStays) {
    const std::vector<std::vector<uint8_t>> inputs = seeds();
    ASSERT_GE(inputs.size(), 10u) << NEVRA_FUZZ_CORPUS;
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        madeFilesPipe = report[1];
        for (const auto& input : inputs)
            LLVMFuzzerTestOneInput(input.data(), input.size());
        const uint8_t garbage[] = {'B', 'M', 1, 2, 3};
        LLVMFuzzerTestOneInput(garbage, sizeof garbage);
        std::exit(0);
    }
    close(report[1]);
    std::string made;
    char buffer[256];
    for (ssize_t got; (got = read(report[0], buffer, sizeof buffer)) > 0;)
        made.append(buffer, static_cast<std::size_t>(got));
    close(report[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    for (std::size_t start = 0, end; (end = made.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string path = made.substr(start, end - start);
        EXPECT_NE(access(path.c_str(), F_OK), 0) << path << " stayed";
        std::remove(path.c_str());
    }
}

}  // namespace
