#ifndef TESTS_SUPPORT_COUT_CAPTURE_H
#define TESTS_SUPPORT_COUT_CAPTURE_H

#include <iostream>
#include <sstream>
#include <string>

// Collects what is written to std::cout while it lives, and puts the stream back afterwards.
class CoutCapture {
public:
    CoutCapture() : saved_(std::cout.rdbuf(buffer_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(saved_); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;

    std::string text() const { return buffer_.str(); }

private:
    std::ostringstream buffer_;
    std::streambuf* saved_;
};

#endif  // TESTS_SUPPORT_COUT_CAPTURE_H
