// Replaces the global allocation functions for a test binary, so that a test can make the image
// library's storage allocation fail on purpose (see nevra_test::FailingAllocations). The library
// takes its storage and records through the non-throwing forms; while failing, those give null.
// Every form goes to malloc and free, so that allocations and releases always match.

#include <atomic>
#include <cstdlib>
#include <new>

#include "image_test_support.h"

namespace {

std::atomic<bool> failing{false};

void* allocate(std::size_t size, bool mayFail) noexcept {
    if (mayFail && failing) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateOrThrow(std::size_t size) {
    void* block = allocate(size, false);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
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

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, true);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, true);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
