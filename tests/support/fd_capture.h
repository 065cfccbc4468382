#ifndef TESTS_SUPPORT_FD_CAPTURE_H
#define TESTS_SUPPORT_FD_CAPTURE_H

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

// Collects what is written to a file descriptor (1 or 2) while it lives, whoever writes it: C++
// streams, C stdio and libraries alike.
class FdCapture {
public:
    explicit FdCapture(int fd) : fd_(fd), file_(std::tmpfile()) {
        std::fflush(nullptr);
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~FdCapture() {
        restore();
        std::fclose(file_);
    }
    FdCapture(const FdCapture&) = delete;
    FdCapture& operator=(const FdCapture&) = delete;

    // Stops collecting and returns what was collected.
    std::string text() {
        restore();
        std::string out;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            out += static_cast<char>(c);
        }
        return out;
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::cout.flush();
            std::cerr.flush();
            std::fflush(nullptr);
            dup2(saved_, fd_);
            close(saved_);
            saved_ = -1;
        }
    }
    int fd_;
    std::FILE* file_;
    int saved_ = -1;
};

#endif  // TESTS_SUPPORT_FD_CAPTURE_H
