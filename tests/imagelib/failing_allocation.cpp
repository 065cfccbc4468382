// Replaces the aligned forms of the global allocation functions for a test binary, so that a
// test can make the image library's storage allocation fail on purpose (see
// nevra_test::FailingAllocations). The library takes all pixel storage through them.

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "image_test_support.h"

namespace {

std::atomic<bool> failing{false};

void* allocate(std::size_t size, std::align_val_t align) noexcept {
    if (failing) {
        return nullptr;
    }
    void* block = nullptr;
    const std::size_t alignment = std::max(static_cast<std::size_t>(align), sizeof(void*));
    return posix_memalign(&block, alignment, size == 0 ? 1 : size) == 0 ? block : nullptr;
}

}  // namespace

namespace nevra_test {

FailingAllocations::FailingAllocations() {
    failing = true;
}

FailingAllocations::~FailingAllocations() {
    failing = false;
}

}  // namespace nevra_test

void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
    return allocate(size, align);
}

void* operator new(std::size_t size, std::align_val_t align) {
    void* block = allocate(size, align);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}

void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}
