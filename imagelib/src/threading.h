#ifndef NEVRA_SRC_THREADING_H
#define NEVRA_SRC_THREADING_H

// The split of an operation's rows into bands run on several threads, and the pool of threads
// that runs them.
//
// An operation that splits cuts its output into `bands` consecutive runs of whole rows, one run
// per thread, and makes each band as the one-thread code would make those rows: every value is
// computed by the same loop in the same order whichever thread makes it, so the results are the
// same bits for every thread count. Whatever a band reduces (a value range, a count) is combined
// afterwards in band order. How many bands an operation takes depends on the thread count and on
// its size only (bandsFor): small operations take one band and stay on the calling thread.
//
// The pool starts on the first call that splits (never when the library is loaded, never with a
// thread count of 1). Thread-safe: operations may run on several threads at once; while the pool
// runs one call's bands, another caller runs its own bands on its own thread, one after another,
// with the same results. A child made by fork gets a fresh pool when it first needs one.

#include <cstddef>
#include <string>

namespace Nevra {
namespace threading {

// The most threads the library uses.
constexpr int kMaxThreads = 256;

// The thread count that NEVRA_THREADS asks for, given its value `text` (null when unset) and the
// count to fall back on. A whole number from 1 to kMaxThreads is taken (surrounding blanks
// allowed); a larger number is lowered to kMaxThreads; anything else (empty, 0, negative, not a
// number) gives `fallback`. `note` gets a line for standard error when the value was not taken
// as it stands, and is emptied otherwise.
int parseThreadCount(const char* text, int fallback, std::string* note);

// The processors this process may run on (sched_getaffinity), at least 1 and at most
// kMaxThreads.
int availableProcessors();

// The work of one band below which splitting costs more than it gains, in the units of bandsFor.
// Tests lower it to split small images; 0 or less restores the measured default.
void setMinimumBandWork(long long work);
long long minimumBandWork();

// The number of bands for `rows` rows of `workPerRow` units each (roughly one unit per value
// written or product taken): the thread count, lowered so that every band has at least
// minimumBandWork() units and at least one row; 1 for small work.
int bandsFor(long long rows, double workPerRow);

// The first row of band `band` of `bands` over `rows` rows: consecutive, nearly equal runs;
// band `bands` starts at `rows`.
long long bandStart(long long rows, int bands, int band);

// The same rounded down to a multiple of `unit` (so that bands of elements start on a cache line
// of an aligned block), apart from the ends 0 and `rows`. REQUIRES: unit >= 1.
long long bandStart(long long rows, int bands, int band, long long unit);

// Runs task(context, b) for b in [0, bands), on the pool when it is free and bands > 1 (the
// calling thread takes bands too), otherwise one after another on the calling thread; returns
// when every band is done. An exception thrown by a band is passed on to the caller once every
// band has ended (the first one, when several throw).
void runBands(int bands, void (*task)(void* context, int band), void* context);

// The same for any callable taking the band number.
template <class F>
void runBands(int bands, F&& task) {
    runBands(
        bands, [](void* context, int band) { (*static_cast<F*>(context))(band); },
        static_cast<void*>(&task));
}

// The threads the pool runs now, the calling thread not counted (0 before its start). For tests.
int poolThreads();

}  // namespace threading
}  // namespace Nevra

#endif  // NEVRA_SRC_THREADING_H
