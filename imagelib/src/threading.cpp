// The thread count (NEVRA_THREADS, setThreadCount, the processors the process may use), the split
// of rows into bands and the pool of threads that runs them.

#include "threading.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "imagebase.h"

namespace Nevra {
namespace threading {

namespace {

// Below this much work a band's thread costs more to wake than it saves. Measured with
// imageops_bench --threshold (AMD EPYC, two virtual processors): calls in a row, which find the
// pool's threads awake, gain from two bands at some 2^17 units each (a 3 x 3 float filter of
// 128 x 128 pixels: 1.20 times one thread; a flip along x of 256 x 256 three-byte pixels: 1.16).
// A single call after a pause finds them asleep, and waking one costs some 20 us: two bands first
// beat one at about 2^20 units each (the filter of 512 x 512: 1.04, of 384 x 384: 0.59; the flip
// of 768 x 768: 1.68, of 512 x 512: 0.74). The threshold is the pause's, so that no call is slower
// split than on one thread. On a machine whose cores are busy with other work splitting pays at
// no size.
constexpr long long kDefaultBandWork = 1LL << 20;

std::atomic<long long> g_bandWork{kDefaultBandWork};

// The count set by setThreadCount, or 0 for the default (NEVRA_THREADS or the processors).
std::atomic<int> g_setCount{0};

int defaultCount() {
    static const int count = [] {
        std::string note;
        const int n = parseThreadCount(std::getenv("NEVRA_THREADS"), availableProcessors(), &note);
        if (!note.empty()) {
            std::cerr << note << std::endl;
        }
        return n;
    }();
    return count;
}

// True on a thread while it runs a band of the pool: an operation started from a band runs its
// own bands on that thread (the caller of the pool holds `busy`, which it must not lock again).
thread_local bool t_inBand = false;

// Waits without sleeping while `ready` is false, at most `limit`: waking a sleeping thread takes
// the kernel some microseconds, as long as a small operation's band.
template <class Ready>
void spinUntil(Ready ready, std::chrono::microseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready()) {
                return;
            }
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#elif defined(__aarch64__)
            __asm__ __volatile__("yield");
#endif
        }
        if (std::chrono::steady_clock::now() >= end) {
            return;
        }
    }
}

// How long a thread waits awake: a worker for the next call after its bands (operations often
// come in runs), a caller for the last band of its call.
constexpr std::chrono::microseconds kWorkerSpin{100};
constexpr std::chrono::microseconds kCallerSpin{50};

// The threads that take bands beside the caller. Bands are handed out under one lock: there are
// at most as many as threads, so the lock is taken a few times per call. The counts that waiting
// threads look at without the lock are atomic copies, written under it.
class Pool {
public:
    // Throws std::system_error when a thread cannot be started; the ones started are ended.
    explicit Pool(int threads) {
        m_threads.reserve(static_cast<std::size_t>(threads));
        try {
            for (int i = 0; i < threads; ++i) {
                m_threads.emplace_back([this] { work(); });
            }
        } catch (...) {
            stop();
            throw;
        }
    }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // Ends and joins the threads. REQUIRES: no call is running.
    ~Pool() { stop(); }

    int threads() const { return static_cast<int>(m_threads.size()); }

    void run(int bands, void (*task)(void*, int), void* context) {
        std::unique_lock<std::mutex> hold(m_lock);
        m_task = task;
        m_context = context;
        m_bands = bands;
        m_next = 0;
        m_pending = bands;
        m_left.store(bands, std::memory_order_relaxed);
        m_error = nullptr;
        m_calls.fetch_add(1, std::memory_order_release);
        hold.unlock();
        m_wake.notify_all();
        hold.lock();
        takeBands(hold);
        if (m_pending > 0) {
            hold.unlock();
            spinUntil([this] { return m_left.load(std::memory_order_acquire) == 0; },
                      kCallerSpin);
            hold.lock();
        }
        m_done.wait(hold, [this] { return m_pending == 0; });
        m_bands = 0;
        m_task = nullptr;
        const std::exception_ptr error = m_error;
        m_error = nullptr;
        hold.unlock();
        if (error) {
            std::rethrow_exception(error);
        }
    }

private:
    void stop() {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_threads) {
            t.join();
        }
    }

    // Runs bands while any is left. REQUIRES: `hold` holds m_lock; it does again on return.
    void takeBands(std::unique_lock<std::mutex>& hold) {
        while (m_next < m_bands) {
            const int band = m_next++;
            void (*task)(void*, int) = m_task;
            void* context = m_context;
            hold.unlock();
            std::exception_ptr error;
            t_inBand = true;
            try {
                task(context, band);
            } catch (...) {
                error = std::current_exception();
            }
            t_inBand = false;
            hold.lock();
            if (error && !m_error) {
                m_error = error;
            }
            m_left.store(--m_pending, std::memory_order_release);
            if (m_pending == 0) {
                m_done.notify_one();
            }
        }
    }

    void work() {
        std::unique_lock<std::mutex> hold(m_lock);
        for (;;) {
            if (!m_stop && m_next >= m_bands) {
                const unsigned seen = m_calls.load(std::memory_order_relaxed);
                hold.unlock();
                spinUntil([this, seen] { return m_calls.load(std::memory_order_acquire) != seen; },
                          kWorkerSpin);
                hold.lock();
            }
            m_wake.wait(hold, [this] { return m_stop || m_next < m_bands; });
            if (m_stop) {
                return;
            }
            takeBands(hold);
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;  // bands to take, or the end
    std::condition_variable m_done;  // the last band of a call ended
    bool m_stop = false;
    void (*m_task)(void*, int) = nullptr;
    void* m_context = nullptr;
    int m_bands = 0;
    int m_next = 0;
    int m_pending = 0;
    std::atomic<int> m_left{0};         // m_pending
    std::atomic<unsigned> m_calls{0};  // calls begun
    std::exception_ptr m_error;
    std::vector<std::thread> m_threads;
};

// The pool and who uses it. `busy` is held by the call that runs its bands on the pool; a call
// that finds it held runs its bands on its own thread. The pool is made (or remade for another
// thread count) by the call that holds `busy`, so no call ever runs on a pool being replaced.
struct Shared {
    std::mutex busy;
    Pool* pool = nullptr;
};

Shared& shared() {
    // Never destroyed: threads may still call in while static objects are destroyed at exit.
    static Shared* const instance = new Shared();
    return *instance;
}

// Pools a fork left behind: their threads do not exist in the child. Kept reachable, never
// freed, as their locks may have been held by threads of the parent.
std::vector<Pool*>* g_orphans = nullptr;

void beforeFork() {
    shared().busy.lock();  // no call is using the pool while the process is copied
}

void afterForkParent() {
    shared().busy.unlock();
}

void afterForkChild() {
    Shared& s = shared();
    if (s.pool != nullptr) {
        if (g_orphans == nullptr) {
            g_orphans = new std::vector<Pool*>();
        }
        g_orphans->push_back(s.pool);
        s.pool = nullptr;
    }
    s.busy.unlock();
}

void registerForkHandlers() {
    static const bool registered = [] {
        pthread_atfork(&beforeFork, &afterForkParent, &afterForkChild);
        return true;
    }();
    (void)registered;
}

}  // namespace

int parseThreadCount(const char* text, int fallback, std::string* note) {
    note->clear();
    if (text == nullptr) {
        return fallback;
    }
    const std::string value(text);
    const char* p = text;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    bool digits = false;
    long long n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        digits = true;
        n = n < (1LL << 40) ? n * 10 + (*p - '0') : n;  // stays above every limit once large
    }
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    if (!digits || *p != '\0' || n < 1) {
        *note = "Nevra: NEVRA_THREADS=" + value +
                " is not a thread count (a whole number from 1 to " +
                std::to_string(kMaxThreads) + "); using " + std::to_string(fallback);
        return fallback;
    }
    if (n > kMaxThreads) {
        *note = "Nevra: NEVRA_THREADS=" + value + " is more than " + std::to_string(kMaxThreads) +
                " threads; using " + std::to_string(kMaxThreads);
        return kMaxThreads;
    }
    return static_cast<int>(n);
}

int availableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    int n = 0;
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        n = CPU_COUNT(&set);
    }
    if (n < 1) {
        // More processors than a cpu_set_t holds, or no answer: what the library says.
        const unsigned hardware = std::thread::hardware_concurrency();
        n = hardware > 0 ? static_cast<int>(hardware) : 1;
    }
    return n < kMaxThreads ? n : kMaxThreads;
}

void setMinimumBandWork(long long work) {
    g_bandWork.store(work > 0 ? work : kDefaultBandWork);
}

long long minimumBandWork() {
    return g_bandWork.load();
}

int bandsFor(long long rows, double workPerRow) {
    const int threads = threadCount();
    if (threads <= 1 || rows <= 1) {
        return 1;
    }
    const double work = static_cast<double>(rows) * (workPerRow > 1.0 ? workPerRow : 1.0);
    const double most = work / static_cast<double>(minimumBandWork());
    long long bands = most < static_cast<double>(threads) ? static_cast<long long>(most) : threads;
    if (bands > rows) {
        bands = rows;
    }
    return bands > 1 ? static_cast<int>(bands) : 1;
}

long long bandStart(long long rows, int bands, int band) {
    // rows * band / bands without overflow for every row count an image has.
    const long long whole = rows / bands;
    const long long rest = rows % bands;
    return whole * band + rest * band / bands;
}

long long bandStart(long long rows, int bands, int band, long long unit) {
    const long long start = bandStart(rows, bands, band);
    return band <= 0 || band >= bands ? start : start / unit * unit;
}

void runBands(int bands, void (*task)(void*, int), void* context) {
    if (bands > 1 && !t_inBand) {
        Shared& s = shared();
        std::unique_lock<std::mutex> hold(s.busy, std::try_to_lock);
        if (hold.owns_lock()) {
            const int wanted = threadCount() - 1;
            if (wanted > 0) {
                if (s.pool == nullptr || s.pool->threads() != wanted) {
                    registerForkHandlers();
                    delete s.pool;
                    s.pool = nullptr;
                    try {
                        s.pool = new Pool(wanted);
                    } catch (const std::exception&) {
                        // No threads to be had (a limit on processes, no memory): this call and
                        // the next ones run on their callers' threads until a start succeeds.
                    }
                }
                if (s.pool != nullptr) {
                    s.pool->run(bands, task, context);
                    return;
                }
            }
        }
    }
    for (int band = 0; band < bands; ++band) {
        task(context, band);
    }
}

int poolThreads() {
    Shared& s = shared();
    std::lock_guard<std::mutex> hold(s.busy);
    return s.pool != nullptr ? s.pool->threads() : 0;
}

}  // namespace threading

void setThreadCount(int count) {
    threading::g_setCount.store(count < 1                        ? 0
                                : count > threading::kMaxThreads ? threading::kMaxThreads
                                                                 : count);
}

int threadCount() {
    const int set = threading::g_setCount.load();
    return set > 0 ? set : threading::defaultCount();
}

}  // namespace Nevra
