#ifndef TESTS_SUPPORT_COUT_CAPTURE_H
#define TESTS_SUPPORT_COUT_CAPTURE_H

#include <iostream>
#include <sstream>
#include <string>

// Collects what is written to a stream while it lives, and puts the stream back afterwards.
class StreamCapture {
public:
    explicit StreamCapture(std::ostream& stream)
        : stream_(stream), saved_(stream.rdbuf(buffer_.rdbuf())) {}
    ~StreamCapture() { stream_.rdbuf(saved_); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::string text() const { return buffer_.str(); }
    // What was written since the last take, which is then forgotten.
    std::string take() {
        const std::string text = buffer_.str();
        buffer_.str("");
        return text;
    }

private:
    std::ostream& stream_;
    std::ostringstream buffer_;
    std::streambuf* saved_;
};

// What is written to std::cout, or to std::cerr, while it lives.
struct CoutCapture : StreamCapture {
    CoutCapture() : StreamCapture(std::cout) {}
};
struct CerrCapture : StreamCapture {
    CerrCapture() : StreamCapture(std::cerr) {}
};

#endif  // TESTS_SUPPORT_COUT_CAPTURE_H
