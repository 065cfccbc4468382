// Pace benchmark: the real game (the skaldora binary) started as a child process on a private
// Xvfb, in the data folder, driven with real X input (xdotool) and watched through its trace
// (SKALDORA_TRACE=1: one line per drawn frame on standard error with the boarder's position).
// Beside it, in the same run, the presentation floor: a bare window of the same layout whose GL
// view only clears, redrawn at 20 Hz.
//
//   pace_bench [--rounds N] [--seconds S] [--startups N] [--game PATH-OF-SKALDORA]
//   (--rounds 0 measures the start-up alone)
//
// It prints one table:
//   - frames per second and process CPU ms per frame: the floor; the game waiting after start-up
//     with nobody playing (CPU per 50 ms tick); the boarder moving at speed 10 towards the start
//     zone (clock stopped) and on in the run (clock running);
//   - the boarder's metres per real second at speed 100, quiet and with one busy process per core
//     competing;
//   - start-up to the first drawn frame, the game against bare windows with an empty GL view
//     (a native GL window in a container, and a QOpenGLWidget).
// Each figure is the median of its rounds; the kinds take turns within a round, so that a change
// of load on the shared machine weighs on all alike. Needs Xvfb and xdotool on the PATH.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <GL/gl.h>

#include <QApplication>
#include <QBoxLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QOpenGLWidget>
#include <QOpenGLWindow>
#include <QPaintEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleFactory>
#include <QSurfaceFormat>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ship/support/gameprocess.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

long long nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// ---- the floor: a bare window of the game's layout whose GL view only clears -------------------

// The floor's frame: a clear, then its trace line.
void emptyFrame(long long& frames) {
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFlush();
    std::fprintf(stderr, "skaldora-trace frame %lld us %lld x 0 y 0 z 0 speed 0\n", ++frames,
                 nowUs());
}

class EmptyWindow : public QOpenGLWindow {
protected:
    void paintGL() override { emptyFrame(frames_); }

private:
    long long frames_ = 0;
};

class EmptyWidget : public QOpenGLWidget {
public:
    QSize sizeHint() const override { return QSize(700, 700); }

protected:
    void paintGL() override { emptyFrame(frames_); }

private:
    long long frames_ = 0;
};

// The panel of the game window, its widgets and layouts in the same order, none of them updated.
QLayout* panelLike() {
    auto* controls = new QVBoxLayout;
    for (const char* text : {"Wire/Solid Mode", "Exit", "New Game"})
        controls->addWidget(new QPushButton(text));
    auto* goal = new QLabel("GOAL: \n" + QString("a line of the goal text, as long as one of it\n").repeated(11));
    goal->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    controls->addWidget(goal);
    for (int digits : {9, 2, 9}) {
        controls->addWidget(new QLabel("Caption"));
        auto* lcd = new QLCDNumber(digits);
        lcd->setSegmentStyle(QLCDNumber::Filled);
        lcd->display(digits == 2 ? "00" : "00:00.000");
        controls->addWidget(lcd);
    }
    auto* endurance = new QHBoxLayout;
    endurance->addWidget(new QLabel("Endurance"));
    auto* bar = new QProgressBar;
    bar->setOrientation(Qt::Vertical);
    bar->setStyle(QStyleFactory::create("Fusion"));
    bar->setValue(100);
    bar->setTextVisible(false);
    endurance->addWidget(bar);
    endurance->addWidget(new QLabel(QString(35, ' ')));
    auto* panel = new QVBoxLayout;
    panel->addLayout(controls);
    panel->addLayout(endurance);
    return panel;
}

// kind: "window" (a QOpenGLWindow in a window container) or "widget" (a QOpenGLWidget); with
// panel, the game's panel beside it. Redraws at 20 Hz, synchronously.
int runFloor(int argc, char** argv, const std::string& kind, bool panel) {
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    QWidget top;
    auto* layout = new QHBoxLayout(&top);
    QTimer timer;
    if (kind == "window") {
        auto* view = new EmptyWindow;
        QWidget* container = QWidget::createWindowContainer(view);
        container->setMinimumSize(700, 700);
        layout->addWidget(container);
        QObject::connect(&timer, &QTimer::timeout, view, [view] {
            // A paint event sent straight to the window draws and swaps before it returns, as
            // the game's scene does.
            if (view->isExposed()) {
                QPaintEvent paint(QRect(QPoint(0, 0), view->size()));
                QCoreApplication::sendEvent(view, &paint);
            }
        });
    } else {
        auto* view = new EmptyWidget;
        layout->addWidget(view);
        QObject::connect(&timer, &QTimer::timeout, view, [view] { view->repaint(); });
    }
    if (panel)
        layout->addLayout(panelLike());
    top.setWindowTitle("Skaldora floor");
    top.show();
    timer.start(50);
    return app.exec();
}

// ---- child processes ---------------------------------------------------------------------------

// A process started in a folder with extra environment; its standard error read line by line.
class Child {
public:
    Child(std::vector<std::string> args, const std::string& dir,
          const std::vector<std::string>& extraEnv, bool readStderr) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            bool replaced = false;
            for (const std::string& x : extraEnv)
                replaced |= entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
            if (!replaced)
                env.push_back(entry);
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        int fds[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (readStderr && pipe(fds) == 0) {
            posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
            posix_spawn_file_actions_addclose(&actions, fds[0]);
        } else {
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        }
        if (!dir.empty())
            posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        std::vector<char*> argv = pointers(args);
        std::vector<char*> envp = pointers(env);
        startUs_ = nowUs();
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (fds[1] >= 0)
            close(fds[1]);
        fd_ = fds[0];
        if (fd_ >= 0)
            fcntl(fd_, F_SETFL, O_NONBLOCK);
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    long long startUs() const { return startUs_; }

    // Reads what has arrived, waiting up to ms for something; complete lines go to lines().
    void pump(int ms) {
        if (fd_ < 0)
            return;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0)
            return;
        char buffer[65536];
        ssize_t n;
        while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
            partial_.append(buffer, static_cast<size_t>(n));
            size_t end;
            while ((end = partial_.find('\n')) != std::string::npos) {
                lines_.push_back(partial_.substr(0, end));
                arrivedUs_.push_back(nowUs());
                partial_.erase(0, end + 1);
            }
        }
    }
    const std::vector<std::string>& lines() const { return lines_; }
    long long arrivedUs(size_t i) const { return arrivedUs_[i]; }

    bool running() {
        return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
    }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            for (int i = 0; i < 40 && running(); ++i)
                sleepMs(50);
            if (running())
                kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    long long startUs_ = 0;
    std::string partial_;
    std::vector<std::string> lines_;
    std::vector<long long> arrivedUs_;
};

// User plus system CPU milliseconds of a process, all its threads, living and ended.
double cpuMs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string f;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14)
            utime = std::atof(f.c_str());
        if (i == 15)
            stime = std::atof(f.c_str());
    }
    return (utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs xdotool on display with args and returns what it printed.
std::string xdotool(const std::string& display, const std::string& args) {
    const std::string command = "DISPLAY=" + display + " xdotool " + args + " 2>/dev/null";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, p) != nullptr)
            out += buffer;
        pclose(p);
    }
    return out;
}

// One traced frame. step is -1 and drawn the state's x and z on a line without them (the
// floor's).
struct Frame {
    long long n = 0, us = 0;
    float x = 0, y = 0, z = 0, speed = 0;
    long long step = -1;
    float drawnX = 0, drawnZ = 0;
};

bool parseFrame(const std::string& line, Frame& f) {
    int used = 0;
    if (std::sscanf(line.c_str(), "skaldora-trace frame %lld us %lld x %f y %f z %f speed %f%n",
                    &f.n, &f.us, &f.x, &f.y, &f.z, &f.speed, &used) != 6)
        return false;
    if (std::sscanf(line.c_str() + used, " step %lld drawn %f %f", &f.step, &f.drawnX,
                    &f.drawnZ) != 3) {
        f.step = -1;
        f.drawnX = f.x;
        f.drawnZ = f.z;
    }
    return true;
}

// A game or floor process being watched.
class Watched {
public:
    Watched(const std::string& display, std::vector<std::string> args, const std::string& dir)
        : child_(std::move(args), dir,
                 {"DISPLAY=" + display, "SKALDORA_TRACE=1", "LIBGL_ALWAYS_SOFTWARE=1"}, true),
          display_(display) {}

    bool started() const { return child_.pid() > 0; }
    pid_t pid() const { return child_.pid(); }

    // Reads the trace for ms milliseconds.
    void pumpFor(int ms) {
        const long long end = nowUs() + ms * 1000LL;
        while (nowUs() < end) {
            child_.pump(static_cast<int>(std::max(1LL, (end - nowUs()) / 1000)));
            absorb();
        }
    }
    // Waits until a frame satisfies done, at most ms; true when one did.
    template <class Done>
    bool waitFor(Done done, int ms) {
        const long long end = nowUs() + ms * 1000LL;
        while (nowUs() < end) {
            child_.pump(20);
            absorb();
            if (!frames_.empty() && done(frames_.back()))
                return true;
            if (!child_.running())
                return false;
        }
        return false;
    }
    // Milliseconds from the process's creation to the arrival of its first frame's line, or -1.
    double startupMs(int timeoutMs) {
        if (!waitFor([](const Frame&) { return true; }, timeoutMs))
            return -1;
        return (firstArrivalUs_ - child_.startUs()) / 1000.0;
    }
    // The process's CPU milliseconds when its first frame's line was read.
    double firstFrameCpuMs() const { return firstFrameCpuMs_; }
    const std::vector<Frame>& frames() const { return frames_; }
    Frame last() const { return frames_.empty() ? Frame{} : frames_.back(); }
    void stop() { child_.stop(); }

private:
    void absorb() {
        const std::vector<std::string>& lines = child_.lines();
        for (; seen_ < lines.size(); ++seen_) {
            Frame f;
            if (parseFrame(lines[seen_], f)) {
                if (frames_.empty()) {
                    firstArrivalUs_ = child_.arrivedUs(seen_);
                    firstFrameCpuMs_ = cpuMs(child_.pid());
                }
                frames_.push_back(f);
            }
        }
    }

    Child child_;
    std::string display_;
    std::vector<Frame> frames_;
    size_t seen_ = 0;
    long long firstArrivalUs_ = 0;
    double firstFrameCpuMs_ = 0;
};

// Frames per second and CPU per frame of a process (and of the X server) over a while.
struct Load {
    double fps = 0, cpuPerFrame = 0, xPerFrame = 0;
};

Load measure(Watched& w, pid_t xserver, int seconds) {
    const size_t before = w.frames().size();
    const double cpu0 = cpuMs(w.pid()), x0 = cpuMs(xserver);
    const long long t0 = nowUs();
    w.pumpFor(seconds * 1000);
    const double cpu1 = cpuMs(w.pid()), x1 = cpuMs(xserver);
    const double elapsed = (nowUs() - t0) / 1e6;
    const double frames = static_cast<double>(w.frames().size() - before);
    Load l;
    if (frames > 0) {
        l.fps = frames / elapsed;
        l.cpuPerFrame = (cpu1 - cpu0) / frames;
        l.xPerFrame = (x1 - x0) / frames;
    }
    return l;
}

// The window titled "Skaldora": its top-left corner on the screen.
bool findGameWindow(const std::string& display, int& x, int& y) {
    const std::string id = xdotool(display, "search --sync --onlyvisible --name '^Skaldora$'");
    const std::string first = id.substr(0, id.find('\n'));
    if (first.empty())
        return false;
    const std::string geometry = xdotool(display, "getwindowgeometry --shell " + first);
    return std::sscanf(geometry.c_str() + geometry.find("X="), "X=%d\nY=%d", &x, &y) == 2;
}

std::string gamePath = SKALDORA_GAME_PATH;
const std::string dataDir = SKALDORA_DATA_DIR;

// Clicks into the scene, at the window's left.
bool clickIntoScene(const VirtualDisplay& x, Watched& game) {
    int wx = 0, wy = 0;
    if (!findGameWindow(x.name(), wx, wy))
        return false;
    xdotool(x.name(), "mousemove --sync " + std::to_string(wx + 200) + " " +
                          std::to_string(wy + 300) + " click 1");
    game.pumpFor(200);
    return true;
}

// Starts the game, with extra arguments, and clicks into the scene.
std::unique_ptr<Watched> startGame(const VirtualDisplay& x,
                                   const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{gamePath};
    args.insert(args.end(), extra.begin(), extra.end());
    auto game = std::make_unique<Watched>(x.name(), args, dataDir);
    if (game->startupMs(60000) < 0)
        return nullptr;
    game->pumpFor(500);
    if (!clickIntoScene(x, *game))
        return nullptr;
    return game;
}

void keys(const VirtualDisplay& x, const std::string& names) {
    xdotool(x.name(), "key --delay 40 " + names);
}

// Frames per second and CPU per frame of the game for `seconds`, the boarder moving at speed 10
// towards the start zone (clock stopped) and then inside the run (clock running). Before that,
// the game as it waits after start-up, nobody playing: CPU per 50 ms tick (frames need not be
// drawn while nothing moves).
bool gameLoads(const VirtualDisplay& x, int seconds, double& idlePerTick, Load& stopped, Load& running) {
    auto game = std::make_unique<Watched>(x.name(), std::vector<std::string>{gamePath}, dataDir);
    if (game->startupMs(60000) < 0)
        return false;
    game->pumpFor(1000);
    const double cpu0 = cpuMs(game->pid());
    const long long t0 = nowUs();
    game->pumpFor(seconds * 1000);
    idlePerTick = (cpuMs(game->pid()) - cpu0) / ((nowUs() - t0) / 50000.0);
    if (!clickIntoScene(x, *game))
        return false;
    keys(x, "Left Up");  // towards -z, into the zone's z range, at speed 10
    game->pumpFor(300);
    stopped = measure(*game, x.pid(), seconds);
    if (game->last().x >= 170.0f || game->last().speed != 10.0f)
        return false;
    if (!game->waitFor([](const Frame& f) { return f.x > 171.0f; }, 30000))
        return false;
    game->pumpFor(300);  // the start check runs every 100 ms
    const Frame f = game->last();
    if (!(f.z < 0.0f && f.z > -73.0f))
        return false;
    running = measure(*game, x.pid(), seconds);
    return true;
}

// The boarder's metres per real second at speed 100 over `seconds`, heading back up the course
// (-x) from the start so that it stays over the terrain. The path between two traced frames is
// straight, so the sum of the steps between frames is the distance covered.
double metresPerSecond(const VirtualDisplay& x, int seconds, double* fps) {
    auto game = startGame(x);
    if (!game)
        return -1;
    std::string turnAround;
    for (int i = 0; i < 18; ++i)
        turnAround += "Left ";
    keys(x, turnAround);
    keys(x, "Up Up Up Up Up Up Up Up Up Up");
    if (!game->waitFor([](const Frame& f) { return f.speed == 100.0f; }, 10000))
        return -1;
    game->pumpFor(500);
    const size_t first = game->frames().size() - 1;
    game->pumpFor(seconds * 1000);
    const std::vector<Frame>& f = game->frames();
    double metres = 0;
    for (size_t i = first + 1; i < f.size(); ++i)
        metres += std::hypot(f[i].x - f[i - 1].x, f[i].z - f[i - 1].z);
    const double span = (f.back().us - f[first].us) / 1e6;
    if (fps != nullptr)
        *fps = (f.size() - 1 - first) / span;
    return span > 0 ? metres / span : -1;
}

// The game racing at a steady speed, watched from its trace.
struct Race {
    double fps = NAN, p99Ms = NAN, stepsPerSecond = NAN, speedRatio = NAN, cores = NAN;
    long long between = 0;    // frames drawn between steps (ahead of the rules' state)
    long long onSegment = 0;  // of those, on the segment from their step to the next, in order
};

// Where a frame drew the boarder, against the segment from its step's position P to the next
// step's Q: the fraction of the way along it (0 at P, 1 at Q) and the distance off its line, in
// metres. The next step's position is read from the first later frame; when catch-up steps came
// in between, the straight motion gives it as the right fraction of the way to that frame.
struct OnSegment {
    double along = 0, off = 0;
};

bool segmentOf(const std::vector<Frame>& f, size_t i, OnSegment& at) {
    size_t j = i + 1;
    while (j < f.size() && f[j].step == f[i].step)
        ++j;
    if (j == f.size() || f[j].step <= f[i].step)
        return false;
    const double k = static_cast<double>(f[j].step - f[i].step);
    const double qx = (f[j].x - f[i].x) / k, qz = (f[j].z - f[i].z) / k;
    const double length2 = qx * qx + qz * qz;
    if (length2 < 1e-6)
        return false;
    const double dx = f[i].drawnX - f[i].x, dz = f[i].drawnZ - f[i].z;
    at.along = (dx * qx + dz * qz) / length2;
    at.off = std::fabs(dx * qz - dz * qx) / std::sqrt(length2);
    return true;
}

// Races the game at speed 100 for `seconds`, heading back up the course from the start so that it
// stays over the terrain, with extra arguments (a frame rate).
Race raceSteadily(const VirtualDisplay& x, int seconds, const std::vector<std::string>& extra) {
    Race r;
    auto game = startGame(x, extra);
    if (!game)
        return r;
    std::string turnAround;
    for (int i = 0; i < 18; ++i)
        turnAround += "Left ";
    keys(x, turnAround);
    keys(x, "Up Up Up Up Up Up Up Up Up Up");
    if (!game->waitFor([](const Frame& f) { return f.speed == 100.0f; }, 10000))
        return r;
    game->pumpFor(500);
    const size_t first = game->frames().size() - 1;
    const double cpu0 = cpuMs(game->pid());
    const long long t0 = nowUs();
    game->pumpFor(seconds * 1000);
    r.cores = (cpuMs(game->pid()) - cpu0) / ((nowUs() - t0) / 1000.0);
    const std::vector<Frame>& f = game->frames();
    if (f.size() < first + 3)
        return r;
    const double span = (f.back().us - f[first].us) / 1e6;
    std::vector<double> gaps;
    double metres = 0, lastAlong = -1;
    for (size_t i = first; i < f.size(); ++i) {
        if (i > first) {
            gaps.push_back((f[i].us - f[i - 1].us) / 1000.0);
            metres += std::hypot(f[i].x - f[i - 1].x, f[i].z - f[i - 1].z);
        }
        const bool ahead = f[i].drawnX != f[i].x || f[i].drawnZ != f[i].z;
        if (i > first && f[i].step != f[i - 1].step)
            lastAlong = -1;
        OnSegment at;
        if (!ahead || !segmentOf(f, i, at))
            continue;  // a step's own frame, or the last step seen
        ++r.between;
        // The trace keeps four decimals: a millimetre of slack.
        if (at.along >= -1e-3 && at.along <= 1.0 + 1e-3 && at.off <= 2e-3 && at.along >= lastAlong)
            ++r.onSegment;
        lastAlong = at.along;
    }
    std::sort(gaps.begin(), gaps.end());
    r.fps = (f.size() - 1 - first) / span;
    r.p99Ms = gaps[std::min(gaps.size() - 1, static_cast<size_t>(std::ceil(0.99 * gaps.size())) - 1)];
    r.stepsPerSecond = (f.back().step - f[first].step) / span;
    r.speedRatio = metres / span / 100.0;
    return r;
}

// The game's CPU, in cores, while it waits after start-up with nobody playing.
double waitingCores(const VirtualDisplay& x, int seconds, const std::vector<std::string>& extra) {
    std::vector<std::string> args{gamePath};
    args.insert(args.end(), extra.begin(), extra.end());
    Watched game(x.name(), args, dataDir);
    if (game.startupMs(60000) < 0)
        return NAN;
    game.pumpFor(1000);
    const double cpu0 = cpuMs(game.pid());
    const long long t0 = nowUs();
    game.pumpFor(seconds * 1000);
    return (cpuMs(game.pid()) - cpu0) / ((nowUs() - t0) / 1000.0);
}

// One busy process per core, ended when the object goes.
class BusyCores {
public:
    BusyCores() {
        const long cores = sysconf(_SC_NPROCESSORS_ONLN);
        for (long i = 0; i < cores; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                volatile unsigned long spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            if (pid > 0)
                pids_.push_back(pid);
        }
    }
    ~BusyCores() {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;

private:
    std::vector<pid_t> pids_;
};

double median(std::vector<double> v) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string selfPath() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    self[length] = '\0';
    return self;
}

std::string cpuName() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) {
        int childArgc = 1;
        return runFloor(childArgc, argv, argv[2], std::strcmp(argv[3], "panel") == 0);
    }
    int rounds = 3, seconds = 5, startups = 8;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::max(0, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = value;
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = value;
        else if (std::strcmp(argv[i], "--startups") == 0)
            startups = value;
        else if (std::strcmp(argv[i], "--game") == 0)
            gamePath = argv[i + 1];
    }
    VirtualDisplay x("1280x1024x24");
    if (x.name().empty()) {
        std::fprintf(stderr, "pace_bench: Xvfb could not be started\n");
        return 1;
    }
    if (xdotool(x.name(), "version").empty()) {
        std::fprintf(stderr, "pace_bench: xdotool is missing (scripts/deps.sh test installs it)\n");
        return 1;
    }
    const std::string self = selfPath();

    std::vector<double> floorFps, floorCpu, floorX, widgetFloorFps, widgetFloorCpu;
    std::vector<double> idle, stopFps, stopCpu, stopX, runFps, runCpu, runX;
    for (int r = 0; r < rounds; ++r) {
        for (const char* kind : {"window", "widget"}) {
            Watched floor(x.name(), {self, "--child", kind, "panel"}, dataDir);
            if (floor.startupMs(60000) < 0) {
                std::fprintf(stderr, "pace_bench: the %s floor drew no frame\n", kind);
                return 1;
            }
            floor.pumpFor(1000);
            const Load l = measure(floor, x.pid(), seconds);
            if (std::strcmp(kind, "window") == 0) {
                floorFps.push_back(l.fps);
                floorCpu.push_back(l.cpuPerFrame);
                floorX.push_back(l.xPerFrame);
            } else {
                widgetFloorFps.push_back(l.fps);
                widgetFloorCpu.push_back(l.cpuPerFrame);
            }
        }
        Load stopped, running;
        double idlePerTick = 0;
        if (!gameLoads(x, seconds, idlePerTick, stopped, running)) {
            std::fprintf(stderr, "pace_bench: round %d: the game could not be driven\n", r + 1);
            continue;
        }
        idle.push_back(idlePerTick);
        stopFps.push_back(stopped.fps);
        stopCpu.push_back(stopped.cpuPerFrame);
        stopX.push_back(stopped.xPerFrame);
        runFps.push_back(running.fps);
        runCpu.push_back(running.cpuPerFrame);
        runX.push_back(running.xPerFrame);
    }

    std::vector<double> quiet, busy, quietFps, busyFps;
    for (int r = 0; r < (rounds > 0 ? std::max(1, rounds - 1) : 0); ++r) {
        double fps = 0;
        quiet.push_back(metresPerSecond(x, 2 * seconds, &fps));
        quietFps.push_back(fps);
        BusyCores competing;
        busy.push_back(metresPerSecond(x, 2 * seconds, &fps));
        busyFps.push_back(fps);
    }

    // Frames between the steps: the screen's rate (Xvfb reports 60) beside --frame-rate 20, quiet
    // and with a busy process per core; and the CPU of a game that waits, both ways.
    std::vector<Race> smooth, twenty, smoothBusy;
    std::vector<double> waitSmooth, waitTwenty;
    const std::vector<std::string> only20{"--frame-rate", "20"};
    for (int r = 0; r < rounds; ++r) {
        smooth.push_back(raceSteadily(x, seconds, {}));
        twenty.push_back(raceSteadily(x, seconds, only20));
        {
            BusyCores competing;
            smoothBusy.push_back(raceSteadily(x, seconds, {}));
        }
        waitSmooth.push_back(waitingCores(x, seconds, {}));
        waitTwenty.push_back(waitingCores(x, seconds, only20));
    }
    auto med = [](const std::vector<Race>& races, double Race::*field) {
        std::vector<double> v;
        for (const Race& r : races)
            v.push_back(r.*field);
        return median(v);
    };
    long long between = 0, onSegment = 0;
    for (const Race& r : smooth) {
        between += r.between;
        onSegment += r.onSegment;
    }

    // Start-up, wall time and the process's CPU time to the first frame.
    std::vector<double> game, bareWindow, bareWidget, gameCpu, windowCpu, widgetCpu;
    auto startOnce = [&](std::vector<std::string> args, std::vector<double>& ms,
                         std::vector<double>& cpu) {
        Watched w(x.name(), std::move(args), dataDir);
        ms.push_back(w.startupMs(60000));
        cpu.push_back(w.firstFrameCpuMs());
    };
    for (int r = 0; r < startups; ++r) {
        startOnce({gamePath}, game, gameCpu);
        startOnce({self, "--child", "window", "bare"}, bareWindow, windowCpu);
        startOnce({self, "--child", "widget", "bare"}, bareWidget, widgetCpu);
    }

    std::printf("pace_bench: %s, %ld cores, Mesa llvmpipe (LIBGL_ALWAYS_SOFTWARE=1) on Xvfb\n",
                cpuName().c_str(), sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("medians of %d rounds of %d s; CPU is the process's, all threads; X is Xvfb's\n",
                rounds, seconds);
    std::printf("| %-52s | %8s | %12s | %10s | %9s |\n", "measured", "frames/s", "CPU ms/frame",
                "X ms/frame", "÷ floor");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(54, '-').c_str(), std::string(10, '-').c_str(),
                std::string(14, '-').c_str(), std::string(12, '-').c_str(),
                std::string(11, '-').c_str());
    const double floor = median(floorCpu);
    auto row = [floor](const char* what, double fps, double cpu, double xs) {
        std::printf("| %-52s | %8.1f | %12.1f | %10.1f | %9.2f |\n", what, fps, cpu, xs,
                    cpu / floor);
    };
    row("floor: bare window, same layout, native GL window", median(floorFps), floor,
        median(floorX));
    row("floor: the same with a QOpenGLWidget", median(widgetFloorFps), median(widgetFloorCpu),
        NAN);
    row("game waiting, nobody playing (CPU per 50 ms tick)", NAN, median(idle), NAN);
    row("game, speed 10 towards the start, clock stopped", median(stopFps), median(stopCpu),
        median(stopX));
    row("game, speed 10 in the run, clock running", median(runFps), median(runCpu),
        median(runX));
    std::printf("clock running / stopped, CPU per frame: %.2f\n",
                median(runCpu) / median(stopCpu));
    std::printf("boarder at speed 100, metres per real second over %d s: quiet %.2f (%.1f frames/s),"
                " %ld busy processes competing %.2f (%.1f frames/s)\n",
                2 * seconds, median(quiet), median(quietFps), sysconf(_SC_NPROCESSORS_ONLN),
                median(busy), median(busyFps));
    std::printf("racing at speed 100, frames between the steps at the screen's rate (%d rounds of "
                "%d s):\n", rounds, seconds);
    std::printf("  quiet: %.1f frames/s, 99th percentile of frame intervals %.1f ms, %.1f steps/s, "
                "metres per real second / speed %.3f, CPU %.2f cores (--frame-rate 20: %.1f "
                "frames/s, p99 %.1f ms, CPU %.2f cores)\n",
                med(smooth, &Race::fps), med(smooth, &Race::p99Ms),
                med(smooth, &Race::stepsPerSecond), med(smooth, &Race::speedRatio),
                med(smooth, &Race::cores), med(twenty, &Race::fps), med(twenty, &Race::p99Ms),
                med(twenty, &Race::cores));
    std::printf("  drawn positions on the segment from their step to the next, in order: %lld of "
                "%lld frames drawn between steps\n",
                onSegment, between);
    std::printf("  %ld busy processes competing: %.1f steps/s, metres per real second / speed "
                "%.3f, %.1f frames/s, p99 %.1f ms\n",
                sysconf(_SC_NPROCESSORS_ONLN), med(smoothBusy, &Race::stepsPerSecond),
                med(smoothBusy, &Race::speedRatio), med(smoothBusy, &Race::fps),
                med(smoothBusy, &Race::p99Ms));
    std::printf("waiting at speed 0, CPU: %.4f cores at the screen's rate, %.4f with --frame-rate "
                "20; ratio %.2f\n",
                median(waitSmooth), median(waitTwenty), median(waitSmooth) / median(waitTwenty));
    std::printf("start-up to the first frame, median of %d: game %.1f ms; bare window with an "
                "empty GL view: native %.1f ms, QOpenGLWidget %.1f ms; game / native %.2f, "
                "game / QOpenGLWidget %.2f\n",
                startups, median(game), median(bareWindow), median(bareWidget),
                median(game) / median(bareWindow), median(game) / median(bareWidget));
    std::printf("process CPU to the first frame, median: game %.0f ms; native %.0f ms, "
                "QOpenGLWidget %.0f ms\n",
                median(gameCpu), median(windowCpu), median(widgetCpu));
    return 0;
}
