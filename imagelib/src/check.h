#ifndef NEVRA_SRC_CHECK_H
#define NEVRA_SRC_CHECK_H

// Precondition checks of checked builds (NDEBUG not defined). NEVRA_ASSERT(cond, text) stops the
// program with "Assertion `text' failed." on standard error when cond is false; the text is the
// library's fixed wording of the broken contract. Release builds compile it away, cond unevaluated.

#include <cstdio>
#include <cstdlib>

namespace Nevra {

[[noreturn]] inline void assertionFailed(const char* text, const char* file, int line,
                                         const char* function) {
    std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, function, text);
    std::fflush(stderr);
    std::abort();
}

}  // namespace Nevra

#ifdef NDEBUG
#define NEVRA_ASSERT(cond, text) static_cast<void>(0)
#else
#define NEVRA_ASSERT(cond, text) \
    ((cond) ? static_cast<void>(0) : ::Nevra::assertionFailed(text, __FILE__, __LINE__, __func__))
#endif

#endif  // NEVRA_SRC_CHECK_H
