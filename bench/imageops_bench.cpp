// Throughput of the Nevra image operations next to OpenCV doing the same work, both on one
// thread: megapixels of input per second. Prints, for each code path of Nevra's hot loops, a
// table of operation, ours, OpenCV and the ratio ours / OpenCV. Both sides write into results
// made beforehand wherever the operation lets them (downsample makes its image on every call;
// rotate and flip replace the storage). The BMP row decodes one file with Bitmap::readBitmap and
// with cv::imread.
//
//   imageops_bench                  every code path this processor runs, widest last (or the
//                                   one NEVRA_ISA names, when it is set)
//   imageops_bench --path v3        one path (baseline, v3 or v4); may be given more than once
//   imageops_bench --threads        the same operations by wall time, Nevra on one thread and on
//                                   its default count (setThreadCount), OpenCV on one and on its
//                                   default (cv::setNumThreads), with the speed-up of each
//   imageops_bench --threshold      where splitting starts to pay: a 3 x 3 filter and a flip on
//                                   squares of growing size, on one thread and split in two,
//                                   calls in a row and single calls after a pause
//
// Each path runs in a process of its own with NEVRA_ISA set to it and OpenCV limited to the same
// instruction sets through OPENCV_CPU_DISABLE (unless that is set already), since both libraries
// read these once at start. A figure is the median of several samples of at least
// kSampleSeconds of thread CPU time each, ours and OpenCV's taken in turn so that both see the
// same load on a shared machine. Takes some ten seconds per path.

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "bitmap.h"
#include "bmp_file.h"
#include "imagebase.h"
#include "kernels.h"
#include "threading.h"

extern char** environ;

namespace {

constexpr double kSampleSeconds = 0.01;
constexpr int kSamples = 9;

// CPU time of this thread in seconds: other work on a shared machine does not count against a run.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Wall time in seconds, for the runs on several threads.
double wallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The clock the samples are taken by: thread CPU time, or wall time in the thread modes.
double (*g_clock)() = &threadSeconds;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs `run` often enough to take about kSampleSeconds; the repetition count is found once.
class Sampler {
public:
    explicit Sampler(std::function<void()> run) : m_run(std::move(run)) {
        m_run();  // warm-up
        // Ten times more runs at a time until a sample is long enough, then as many as it needs.
        for (;;) {
            const double perRun = time();
            if (perRun * m_reps >= kSampleSeconds || m_reps >= (1 << 20)) {
                break;
            }
            if (perRun * m_reps * 10 < kSampleSeconds) {
                m_reps *= 10;
            } else {
                m_reps = static_cast<int>(kSampleSeconds / perRun) + 1;
            }
        }
    }
    // Seconds per run of one sample.
    double time() {
        const double t0 = g_clock();
        for (int i = 0; i < m_reps; ++i) {
            m_run();
        }
        return (g_clock() - t0) / m_reps;
    }

private:
    std::function<void()> m_run;
    int m_reps = 1;
};

// The thread modes: every figure by wall time, each side on one thread and on its default count.
bool g_threads = false;

void setThreads(bool many) {
    Nevra::setThreadCount(many ? 0 : 1);
    cv::setNumThreads(many ? -1 : 1);
}

// Median megapixels per second of ours and OpenCV's on one thread and on the default count, with
// the speed-up of each.
void reportThreads(const char* name, double pixels, const std::function<void()>& ours,
                   const std::function<void()>& theirs) {
    setThreads(false);
    Sampler ours1(ours);
    std::unique_ptr<Sampler> theirs1(theirs ? new Sampler(theirs) : nullptr);
    setThreads(true);
    Sampler oursN(ours);
    std::unique_ptr<Sampler> theirsN(theirs ? new Sampler(theirs) : nullptr);
    std::vector<double> seconds[4];
    for (int i = 0; i < kSamples; ++i) {
        setThreads(false);
        seconds[0].push_back(ours1.time());
        if (theirs1) {
            seconds[2].push_back(theirs1->time());
        }
        setThreads(true);
        seconds[1].push_back(oursN.time());
        if (theirsN) {
            seconds[3].push_back(theirsN->time());
        }
    }
    double rate[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        rate[k] = seconds[k].empty() ? 0.0 : pixels / median(seconds[k]) / 1e6;
    }
    if (theirs) {
        std::printf("%-26s %9.0f %9.0f %6.2f %9.0f %9.0f %6.2f %7.2f\n", name, rate[0], rate[1],
                    rate[1] / rate[0], rate[2], rate[3], rate[3] / rate[2], rate[1] / rate[3]);
    } else {
        std::printf("%-26s %9.0f %9.0f %6.2f %9s %9s %6s %7s\n", name, rate[0], rate[1],
                    rate[1] / rate[0], "-", "-", "-", "-");
    }
    std::fflush(stdout);
}

// Median megapixels per second of ours and OpenCV's, over `pixels` input pixels per run.
void report(const char* name, double pixels, const std::function<void()>& ours,
            const std::function<void()>& theirs) {
    if (g_threads) {
        reportThreads(name, pixels, ours, theirs);
        return;
    }
    Sampler a(ours);
    std::unique_ptr<Sampler> b(theirs ? new Sampler(theirs) : nullptr);
    std::vector<double> oursSeconds;
    std::vector<double> theirSeconds;
    for (int i = 0; i < kSamples; ++i) {
        oursSeconds.push_back(a.time());
        if (b) {
            theirSeconds.push_back(b->time());
        }
    }
    const double mine = pixels / median(oursSeconds) / 1e6;
    if (b) {
        const double other = pixels / median(theirSeconds) / 1e6;
        std::printf("%-26s %10.0f %10.0f %8.2f\n", name, mine, other, mine / other);
    } else {
        std::printf("%-26s %10.0f %10s %8s\n", name, mine, "-", "-");
    }
    std::fflush(stdout);
}

template <class T>
void fillRandom(Nevra::ImageBase<T>& image, cv::Mat* twin, float top) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(0.0f, top);
    for (int i = 0; i < image.m_image_size; ++i) {
        image.m_data[i] = static_cast<T>(value(random));
    }
    if (twin != nullptr) {
        std::copy(image.m_data, image.m_data + image.m_image_size, twin->ptr<T>());
    }
}

std::string processorName() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            const std::size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "unknown processor";
}

// The first three fields of /proc/loadavg: the figures of a shared machine depend on them.
std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string a, b, c;
    file >> a >> b >> c;
    return a + " " + b + " " + c;
}

// Wall time of a single call after a pause long enough for the pool's threads to fall asleep, as
// an operation called now and then finds them (median of 21 calls).
double afterPause(const std::function<void()>& run) {
    std::vector<double> seconds;
    for (int i = 0; i < 21; ++i) {
        usleep(2000);
        const double t0 = wallSeconds();
        run();
        seconds.push_back(wallSeconds() - t0);
    }
    return median(seconds);
}

// Wall time of one run of `run` (median of kSamples samples) on one thread and split in two,
// calls in a row; then single calls after a pause, on one thread and split in two.
void compareSplit(const char* name, int side, double work, const std::function<void()>& run) {
    namespace threading = Nevra::threading;
    std::vector<double> seconds[2];
    Nevra::setThreadCount(1);
    Sampler one(run);
    Nevra::setThreadCount(2);
    threading::setMinimumBandWork(1);
    Sampler two(run);
    for (int i = 0; i < kSamples; ++i) {
        Nevra::setThreadCount(1);
        seconds[0].push_back(one.time());
        Nevra::setThreadCount(2);
        seconds[1].push_back(two.time());
    }
    const double paused2 = afterPause(run);
    Nevra::setThreadCount(1);
    const double paused1 = afterPause(run);
    threading::setMinimumBandWork(0);
    Nevra::setThreadCount(0);
    const double t1 = median(seconds[0]);
    const double t2 = median(seconds[1]);
    std::printf("%-18s %6d %12.0f %10.1f %10.1f %7.2f %10.1f %10.1f %7.2f\n", name, side, work,
                t1 * 1e6, t2 * 1e6, t1 / t2, paused1 * 1e6, paused2 * 1e6, paused1 / paused2);
    std::fflush(stdout);
}

// Where splitting pays: the operations on squares of growing size, on one thread and always
// split into two bands, by wall time. The work is in the units of the library's threshold.
int runThreshold() {
    namespace kernels = Nevra::kernels;
    g_clock = &wallSeconds;
    std::printf("== Nevra code path %s on %s, %d processors; load average %s\n",
                kernels::codePathName(kernels::activeCodePath()), processorName().c_str(),
                Nevra::threading::availableProcessors(), loadAverage().c_str());
    std::printf("   default work per band: %lld units\n",
                Nevra::threading::minimumBandWork());
    std::printf("%-18s %6s %12s %10s %10s %7s %10s %10s %7s\n", "operation", "side",
                "work units", "1 thr us", "2 bands us", "gain", "paused 1", "paused 2", "gain");
    const float smooth3[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    for (const int side : {32, 64, 128, 256, 384, 512, 768, 1024, 1536}) {
        Nevra::ImageBase<float> image;
        image.m_verbose = 0;
        image.init(side, side, 1, 1, 1);
        fillRandom(image, nullptr, 255.0f);
        Nevra::ImageBase<float> out;
        out.init(side, side, 1, 1, 1);
        compareSplit("filter 3x3 float", side, static_cast<double>(side) * side * 10, [&] {
            image.computeFilteredImage(Nevra::kTypeFloat, smooth3, 3, &out);
        });
    }
    // (A flip along x reverses every row: whole-row flips along y, z and t stay on one thread.)
    for (const int side : {64, 128, 256, 384, 512, 768, 1024, 1536}) {
        Nevra::ImageBase<unsigned char> rgb;
        rgb.m_verbose = 0;
        rgb.init(side, side, 1, 1, 3);
        fillRandom(rgb, nullptr, 256.0f);
        compareSplit("flip x u8x3", side, static_cast<double>(side) * side * 3,
                     [&] { rgb.flip(true, false, false, false); });
    }
    return 0;
}

// The table of one code path, in this process.
int runTable() {
    namespace kernels = Nevra::kernels;
    const char* disabled = std::getenv("OPENCV_CPU_DISABLE");
    std::printf("== Nevra code path %s on %s\n",
                kernels::codePathName(kernels::activeCodePath()), processorName().c_str());
    std::printf("   OpenCV %s dispatch: %s (OPENCV_CPU_DISABLE=%s)\n", CV_VERSION,
                cv::getCPUFeaturesLine().c_str(), disabled != nullptr ? disabled : "");
    std::printf("   load average (1, 5, 15 min): %s\n", loadAverage().c_str());
    constexpr int kSide = 1024;
    const double plane = static_cast<double>(kSide) * kSide;
    if (g_threads) {
        g_clock = &wallSeconds;
        setThreads(true);
        std::printf("   wall time; Nevra threads: 1 and %d (default; %d processors for this process), "
                    "OpenCV threads: 1 and %d (default)\n",
                    Nevra::threadCount(), Nevra::threading::availableProcessors(),
                    cv::getNumThreads());
        std::printf("%-26s %9s %9s %6s %9s %9s %6s %7s\n", "operation (MPix/s)", "ours 1",
                    "ours N", "gain", "OpenCV 1", "OpenCV N", "gain", "N ratio");
    } else {
        // One thread each: this table times the calling thread's CPU, which would not count the
        // work of other threads.
        setThreads(false);
        std::printf("%-26s %10s %10s %8s\n", "operation (MPix/s)", "ours", "OpenCV", "ratio");
    }

    Nevra::ImageBase<float> image;
    image.m_verbose = 0;
    image.init(kSide, kSide, 1, 1, 1);
    cv::Mat src(kSide, kSide, CV_32F);
    fillRandom(image, &src, 255.0f);
    cv::Mat dst;
    cv::Mat dst2;

    const float smooth3[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    float smooth5[25];
    for (int i = 0; i < 25; ++i) {
        smooth5[i] = static_cast<float>(1 + (i % 5) * (i / 5) % 7);
    }
    const float sobel[9] = {1, 2, 1, 0, 0, 0, -1, -2, -1};
    const cv::Mat k3(3, 3, CV_32F, const_cast<float*>(smooth3));
    const cv::Mat k5(5, 5, CV_32F, smooth5);
    const cv::Mat kA(3, 3, CV_32F, const_cast<float*>(sobel));
    const cv::Mat kB = kA.t();
    const cv::Point anchor(-1, -1);

    std::unique_ptr<Nevra::Image> filtered(Nevra::createImage(Nevra::kTypeFloat));
    filtered->init(kSide, kSide, 1, 1, 1);
    report(
        "filter 3x3 float", plane,
        [&] { image.computeFilteredImage(Nevra::kTypeFloat, smooth3, 3, filtered.get()); },
        [&] { cv::filter2D(src, dst, CV_32F, k3, anchor, 0, cv::BORDER_CONSTANT); });
    report(
        "filter 5x5 float", plane,
        [&] { image.computeFilteredImage(Nevra::kTypeFloat, smooth5, 5, filtered.get()); },
        [&] { cv::filter2D(src, dst, CV_32F, k5, anchor, 0, cv::BORDER_CONSTANT); });

    std::unique_ptr<Nevra::Image> gradient(Nevra::createImage(Nevra::kTypeFloat));
    gradient->init(kSide, kSide, 1, 1, 2);
    report(
        "gradient float", plane,
        [&] { image.computeGradient(Nevra::kTypeFloat, nullptr, true, gradient.get()); },
        [&] {
            cv::filter2D(src, dst, CV_32F, kA, anchor, 0, cv::BORDER_CONSTANT);
            cv::filter2D(src, dst2, CV_32F, kB, anchor, 0, cv::BORDER_CONSTANT);
        });

    std::unique_ptr<Nevra::Image> hessian(Nevra::createImage(Nevra::kTypeFloat));
    hessian->init(kSide, kSide, 1, 1, 3);
    cv::Mat p, q, r;
    report(
        "hessian float", plane,
        [&] { image.computeHessian(Nevra::kTypeFloat, nullptr, hessian.get()); },
        [&] {
            cv::filter2D(src, dst, CV_32F, kA, anchor, 0, cv::BORDER_CONSTANT);
            cv::filter2D(src, dst2, CV_32F, kB, anchor, 0, cv::BORDER_CONSTANT);
            cv::filter2D(dst, p, CV_32F, kA, anchor, 0, cv::BORDER_CONSTANT);
            cv::filter2D(dst, q, CV_32F, kB, anchor, 0, cv::BORDER_CONSTANT);
            cv::filter2D(dst2, r, CV_32F, kB, anchor, 0, cv::BORDER_CONSTANT);
        });

    {
        constexpr int kCube = 128;
        Nevra::ImageBase<float> volume;
        volume.m_verbose = 0;
        volume.init(kCube, kCube, kCube, 1, 1);
        fillRandom(volume, nullptr, 255.0f);
        std::unique_ptr<Nevra::Image> result(Nevra::createImage(Nevra::kTypeFloat));
        result->init(kCube, kCube, kCube, 1, 3);
        report(
            "gradient 3D float 128^3", static_cast<double>(kCube) * kCube * kCube,
            [&] { volume.computeGradient3D(Nevra::kTypeFloat, nullptr, true, false, result.get()); },
            nullptr);
    }

    {
        Nevra::ImageBase<unsigned char> bytes;
        bytes.m_verbose = 0;
        bytes.init(kSide, kSide, 1, 1, 1);
        cv::Mat src8(kSide, kSide, CV_8U);
        fillRandom(bytes, &src8, 256.0f);
        cv::Mat half;
        report(
            "downsample 2x2 u8", plane, [&] { delete bytes.downsample(2, 2, 1, 1, true); },
            [&] {
                cv::resize(src8, half, cv::Size(kSide / 2, kSide / 2), 0, 0, cv::INTER_AREA);
            });
    }

    {
        Nevra::ImageBase<unsigned char> rgb;
        rgb.m_verbose = 0;
        rgb.init(kSide, kSide, 1, 1, 3);
        cv::Mat src8(kSide, kSide, CV_8UC3);
        fillRandom(rgb, &src8, 256.0f);
        cv::Mat out8;
        report(
            "rotate u8x3", plane, [&] { rgb.rotate(2); },
            [&] { cv::rotate(src8, out8, cv::ROTATE_90_COUNTERCLOCKWISE); });
        report(
            "flip x u8x3", plane, [&] { rgb.flip(true, false, false, false); },
            [&] { cv::flip(src8, out8, 1); });
        report(
            "flip y u8x3", plane, [&] { rgb.flip(false, true, false, false); },
            [&] { cv::flip(src8, out8, 0); });
    }

    {
        // The game's panorama has this shape.
        const bench::BmpFile file(2048, 256);
        const std::string name = file.name();
        Nevra::Bitmap bitmap;
        bitmap.m_verbose = 0;
        cv::Mat decoded;
        report(
            "BMP decode u8x3 2048x256", 2048.0 * 256.0,
            [&] {
                if (bitmap.readBitmap(name.c_str(), 1) != 1) {
                    std::fprintf(stderr, "readBitmap failed\n");
                    std::exit(1);
                }
            },
            [&] {
                decoded = cv::imread(name, cv::IMREAD_UNCHANGED);
                if (decoded.empty()) {
                    std::fprintf(stderr, "imread failed\n");
                    std::exit(1);
                }
            });
    }
    return 0;
}

// What OpenCV must leave out to use no more than the instruction sets of `path`.
const char* openCvLimit(Nevra::kernels::CodePath path) {
    switch (path) {
        case Nevra::kernels::CodePath::Baseline:
            return "AVX512F,AVX512-SKX,AVX2,FMA3,AVX,FP16,SSE4.2,SSE4.1,POPCNT,SSSE3,SSE3";
        case Nevra::kernels::CodePath::X86_64_V3:
            return "AVX512F,AVX512-SKX";
        case Nevra::kernels::CodePath::X86_64_V4:
            break;
    }
    return "";
}

const char* shortName(Nevra::kernels::CodePath path) {
    switch (path) {
        case Nevra::kernels::CodePath::Baseline:
            return "baseline";
        case Nevra::kernels::CodePath::X86_64_V3:
            return "v3";
        case Nevra::kernels::CodePath::X86_64_V4:
            break;
    }
    return "v4";
}

// Runs this program again for one path; false when it failed.
bool runPath(Nevra::kernels::CodePath path, bool limitOpenCv) {
    setenv("NEVRA_ISA", shortName(path), 1);
    if (limitOpenCv) {
        const char* limit = openCvLimit(path);
        if (*limit != '\0') {
            setenv("OPENCV_CPU_DISABLE", limit, 1);
        } else {
            unsetenv("OPENCV_CPU_DISABLE");
        }
    }
    char self[] = "imageops_bench";
    char child[] = "--table";
    char threads[] = "--threads";
    char* args[] = {self, child, g_threads ? threads : nullptr, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, args, environ) != 0) {
        std::perror("imageops_bench: cannot run itself");
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::printf("\n");
    std::fflush(stdout);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    namespace kernels = Nevra::kernels;
    std::vector<kernels::CodePath> paths;
    // A path named on the command line, or by NEVRA_ISA when none is.
    auto add = [&paths](const char* name) {
        for (int p = 0; p < kernels::kCodePathCount; ++p) {
            const auto path = static_cast<kernels::CodePath>(p);
            if (std::strcmp(name, shortName(path)) == 0 ||
                std::strcmp(name, kernels::codePathName(path)) == 0) {
                paths.push_back(path);
                return true;
            }
        }
        return false;
    };
    bool table = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--table") == 0) {
            table = true;
            continue;
        }
        if (std::strcmp(argv[i], "--threads") == 0) {
            g_threads = true;
            continue;
        }
        if (std::strcmp(argv[i], "--threshold") == 0) {
            return runThreshold();
        }
        if (std::strcmp(argv[i], "--path") != 0 || i + 1 == argc || !add(argv[++i])) {
            std::fprintf(stderr, "usage: %s [--threads] [--path baseline|v3|v4]... | --threshold\n",
                         argv[0]);
            return 2;
        }
    }
    if (table) {
        return runTable();
    }
    const char* requested = std::getenv("NEVRA_ISA");
    if (paths.empty() && requested != nullptr && *requested != '\0' && !add(requested)) {
        std::fprintf(stderr, "NEVRA_ISA=%s names no code path (baseline, v3, v4)\n", requested);
        return 2;
    }
    if (paths.empty()) {
        for (int p = 0; p < kernels::kCodePathCount; ++p) {
            if (kernels::tableFor(static_cast<kernels::CodePath>(p)) != nullptr) {
                paths.push_back(static_cast<kernels::CodePath>(p));
            }
        }
    }
    const bool limitOpenCv = std::getenv("OPENCV_CPU_DISABLE") == nullptr;
    bool ok = true;
    for (const kernels::CodePath path : paths) {
        ok = runPath(path, limitOpenCv) && ok;
    }
    return ok ? 0 : 1;
}
