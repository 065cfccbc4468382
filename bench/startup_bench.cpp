// Start-up time of the game: from the moment the process is started to the first frame the scene
// widget has drawn and handed to the window system, median of several runs. Beside it the same
// figure for a bare window holding an empty QOpenGLWidget of the same size, started the same way:
// the floor that the toolkit and the GL driver alone cost.
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' build/bench/startup_bench [runs] [data-folder]
//
// The program starts copies of itself (the "child" modes below), each in the data folder as the
// game would be, and times them from just before the process is created until the child reports
// its first frameSwapped; then the child quits.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QOpenGLWidget>
#include <QSurfaceFormat>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/window.h"
#include "scene/glwidget.h"

extern char** environ;

namespace {

const char kFirstFrame[] = "first-frame\n";

void reportFirstFrame() {
    // Straight to the descriptor: the parent's clock stops when these bytes arrive.
    const ssize_t ignored = write(STDOUT_FILENO, kFirstFrame, sizeof kFirstFrame - 1);
    (void)ignored;
    QCoreApplication::exit(0);
}

// The game's own start-up (as in main), reporting its first frame.
int runGame(int argc, char** argv) {
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    Window window;
    QObject::connect(window.glWidget, &QOpenGLWidget::frameSwapped, &app, reportFirstFrame,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}

// The floor: a window with an empty 700 x 700 QOpenGLWidget that only clears.
class EmptyView : public QOpenGLWidget {
public:
    QSize sizeHint() const override { return QSize(700, 700); }
};

int runFloor(int argc, char** argv) {
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    QWidget window;
    auto* view = new EmptyView;
    auto* layout = new QHBoxLayout(&window);
    layout->addWidget(view);
    QObject::connect(view, &QOpenGLWidget::frameSwapped, &app, reportFirstFrame,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}

// Starts this program in child mode in dataDir and returns the milliseconds until it reported its
// first frame, or a negative number when it did not within 60 seconds.
double timeOneStart(const char* self, const char* mode, const std::string& dataDir) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"/bin/sh", "-c", "cd \"$0\" && exec \"$1\" --child \"$2\"",
                                     dataDir,   self, mode};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return -1;
    }
    // The child's console lines come first; the clock stops at the marker line.
    std::string seen;
    double ms = -1;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        seen.append(buffer, static_cast<size_t>(n));
        if (seen.find(kFirstFrame) != std::string::npos) {
            ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
            break;
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60))
            break;
    }
    close(fds[0]);
    if (ms < 0)
        kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return ms;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
        int childArgc = 1;
        if (std::strcmp(argv[2], "game") == 0)
            return runGame(childArgc, argv);
        if (std::strcmp(argv[2], "floor") == 0)
            return runFloor(childArgc, argv);
        return 2;
    }
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "startup_bench needs a display: run it under xvfb-run\n");
        return 1;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string dataDir = argc > 2 ? argv[2] : SKALDORA_DATA_DIR;
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return 1;
    self[length] = '\0';

    std::vector<double> game, floor;
    // Interleaved, so a change of machine load touches both series alike.
    for (int i = 0; i < runs; ++i) {
        const double g = timeOneStart(self, "game", dataDir);
        const double f = timeOneStart(self, "floor", dataDir);
        if (g < 0 || f < 0) {
            std::fprintf(stderr, "run %d: a child did not draw its first frame\n", i + 1);
            return 1;
        }
        game.push_back(g);
        floor.push_back(f);
    }
    const double gameMs = median(game);
    const double floorMs = median(floor);
    std::printf("start-up to first frame, median of %d runs (data: %s)\n", runs, dataDir.c_str());
    std::printf("  game:                         %8.1f ms (min %.1f, max %.1f)\n", gameMs,
                *std::min_element(game.begin(), game.end()),
                *std::max_element(game.begin(), game.end()));
    std::printf("  bare window, empty GL widget: %8.1f ms (min %.1f, max %.1f)\n", floorMs,
                *std::min_element(floor.begin(), floor.end()),
                *std::max_element(floor.begin(), floor.end()));
    std::printf("  ratio game / floor:           %8.2f\n", gameMs / floorMs);
    return 0;
}
