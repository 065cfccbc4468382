// The ghost in the real game: the skaldora binary on a private Xvfb, driven with real X input
// (xdotool) and watched through its trace (SKALDORA_TRACE=1). A first game finishes a run, which
// becomes the best run; a second game races it: the ghost's traced positions are the first run's
// at the same clock times, its splits are the differences of the two runs' gate times, and a
// screenshot of the second run is kept. Each game keeps its records in the test's own folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
// After the toolkit: Xlib defines macros (Status, CursorShape) that its headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ship/support/gamefiles.h"
#include "ship/support/gameprocess.h"

namespace {

// One frame of the trace, with the fields this test reads.
struct Frame {
    double x = 0, z = 0;
    long long clock = -1;  // -1: the race clock was stopped
    bool ghost = false;
    double gx = 0, gz = 0;
};

// One split line of the trace.
struct SplitLine {
    int gate = -1;
    long long ms = 0, best = -1;
    int wrong = 0;
};

struct Trace {
    std::vector<Frame> frames;
    std::map<int, SplitLine> splits;
};

Trace readTrace(const std::string& output) {
    Trace trace;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        Frame f;
        long long n = 0;
        if (std::sscanf(line.c_str(), "skaldora-trace frame %lld us %*d x %lf y %*f z %lf", &n,
                        &f.x, &f.z) == 3) {
            const size_t clock = line.find(" clock ");
            if (clock != std::string::npos) {
                f.clock = std::atoll(line.c_str() + clock + 7);
            }
            const size_t ghost = line.find(" ghost ");
            f.ghost = ghost != std::string::npos &&
                      std::sscanf(line.c_str() + ghost, " ghost %lf %lf", &f.gx, &f.gz) == 2;
            trace.frames.push_back(f);
            continue;
        }
        SplitLine s;
        char best[32] = {0};
        if (std::sscanf(line.c_str(), "skaldora-trace split gate %d ms %lld best %31s wrong %d",
                        &s.gate, &s.ms, best, &s.wrong) == 4) {
            s.best = best[0] == '-' ? -1 : std::atoll(best);
            trace.splits[s.gate] = s;
        }
    }
    return trace;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, p) != nullptr) {
            out += buffer;
        }
        pclose(p);
    }
    return out;
}

class GhostGame : public ::testing::Test {
protected:
    void SetUp() override {
        if (run("command -v xdotool").empty()) {
            GTEST_SKIP() << "xdotool is missing (scripts/deps.sh test installs it)";
        }
        ASSERT_FALSE(x.name().empty()) << "Xvfb could not be started";
        folder = makeTempDir("skaldora-ghost");
        for (const std::string& name : gameFileNames()) {
            const std::string from = std::string(SKALDORA_DATA_DIR) + "/" + name;
            ASSERT_EQ(symlink(from.c_str(), (folder + "/" + name).c_str()), 0) << name;
        }
    }
    void TearDown() override {
        if (!folder.empty() && !HasFailure()) {
            removeTree(folder);
        }
    }

    // Starts the game in the folder with its records there and the trace on, with args.
    std::unique_ptr<GameProcess> start(const std::string& args) {
        const std::string script = folder + "/game.sh";
        std::ofstream(script) << "#!/bin/sh\n"
                              << "export SKALDORA_TRACE=1 SKALDORA_MUTE=1 LIBGL_ALWAYS_SOFTWARE=1\n"
                              << "export XDG_DATA_HOME='" << folder << "/data-home'\n"
                              << "export XDG_CONFIG_HOME='" << folder << "/config-home'\n"
                              << "exec '" << SKALDORA_GAME_PATH << "' " << args << "\n";
        chmod(script.c_str(), 0755);
        return std::make_unique<GameProcess>(script, folder, x.name());
    }

    std::string xdotool(const std::string& args) {
        return run("DISPLAY=" + x.name() + " xdotool " + args + " 2>/dev/null");
    }

    // Waits for the window and clicks into the scene, so that it has the keys.
    bool focusScene(GameProcess& game) {
        if (!game.waitForOutput({"skaldora-trace frame"}, 60)) {
            return false;
        }
        const std::string id = xdotool("search --sync --onlyvisible --name '^Skaldora$'");
        const std::string window = id.substr(0, id.find('\n'));
        if (window.empty()) {
            return false;
        }
        xdotool("windowmove --sync " + window + " 0 0");
        xdotool("mousemove --sync 200 300 click 1");
        sleepSeconds(0.3);
        return true;
    }

    // Drives a run: towards the start zone at speed 30, a little to the left; once the clock
    // runs, turned towards the finish and sped up to `speed`. Returns when the run has finished
    // (the clock stopped beyond the finish line) or after a minute.
    bool driveRun(GameProcess& game, int speed) {
        xdotool("key --delay 60 Left Up Up Up");
        if (!waitFor(
                game, [](const Frame& f) { return f.clock >= 0; }, 60)) {
            return false;
        }
        std::string keys = "Right Right";
        for (int v = 30; v < speed; v += 10) {
            keys += " Up";
        }
        xdotool("key --delay 60 " + keys);
        return waitFor(
            game, [](const Frame& f) { return f.clock < 0 && f.x > 950; }, 60);
    }

    template <class Done>
    bool waitFor(GameProcess& game, Done done, double seconds) {
        for (double waited = 0; waited < seconds; waited += 0.1) {
            const Trace trace = readTrace(game.output());
            if (!trace.frames.empty() && done(trace.frames.back())) {
                return true;
            }
            if (!game.running()) {
                return false;
            }
            sleepSeconds(0.1);
        }
        return false;
    }

    // Saves the screen's top-left 700 x 700 as a PNG.
    bool screenshot(const std::string& path) {
        Display* display = XOpenDisplay(x.name().c_str());
        if (display == nullptr) {
            return false;
        }
        XImage* image =
            XGetImage(display, DefaultRootWindow(display), 0, 0, 720, 720, AllPlanes, ZPixmap);
        bool saved = false;
        if (image != nullptr) {
            QImage picture(720, 720, QImage::Format_RGB32);
            for (int row = 0; row < 720; ++row) {
                for (int col = 0; col < 720; ++col) {
                    picture.setPixel(col, row, static_cast<QRgb>(XGetPixel(image, col, row)));
                }
            }
            saved = picture.save(QString::fromStdString(path));
            XDestroyImage(image);
        }
        XCloseDisplay(display);
        return saved;
    }

    VirtualDisplay x{"1280x1024x24"};
    std::string folder;
};

// The first run's position at clock ms: the frames around it, the boarder moving between them.
// Returns the distance from (gx, gz) to the nearest point of the first run's path within one
// step (50 ms) of ms, or -1 when no frame of the first run was drawn near ms. Two frames drawn
// more than two steps apart (a stall of a loaded machine) do not count: the boarder may have
// turned between them, so the straight line from one to the other is not its path.
double distanceToFirstRun(const Trace& first, long long ms, double gx, double gz) {
    double nearest = -1;
    for (size_t i = 1; i < first.frames.size(); ++i) {
        const Frame& a = first.frames[i - 1];
        const Frame& b = first.frames[i];
        if (a.clock < 0 || b.clock < 0 || b.clock < ms - 50 || a.clock > ms + 50 ||
            b.clock - a.clock > 100) {
            continue;
        }
        // The nearest point of the path from a to b.
        const double dx = b.x - a.x, dz = b.z - a.z;
        const double length2 = dx * dx + dz * dz;
        double t = length2 > 0 ? ((gx - a.x) * dx + (gz - a.z) * dz) / length2 : 0;
        t = std::max(0.0, std::min(1.0, t));
        const double d = std::hypot(a.x + t * dx - gx, a.z + t * dz - gz);
        if (nearest < 0 || d < nearest) {
            nearest = d;
        }
    }
    return nearest;
}

}  // namespace

TEST_F(GhostGame, TheSecondRunRacesTheFirst) {
    // The first game: no best run yet, so no ghost; its finish is kept as the best run.
    Trace first;
    {
        auto game = start("");
        ASSERT_TRUE(game->started());
        ASSERT_TRUE(focusScene(*game)) << game->output();
        ASSERT_TRUE(driveRun(*game, 100)) << game->output().substr(0, 4000);
        sleepSeconds(0.5);
        first = readTrace(game->output());
    }
    struct stat info;
    ASSERT_EQ(stat((folder + "/data-home/skaldora/best.run").c_str(), &info), 0);
    for (const Frame& f : first.frames) {
        ASSERT_FALSE(f.ghost) << "a ghost without a best run";
    }
    ASSERT_EQ(first.splits.size(), 10u);
    for (const auto& [gate, s] : first.splits) {
        EXPECT_EQ(s.best, -1) << gate;
    }

    // The second game races the first run, a little slower. Its screenshot is left in the working
    // directory, for a look at the ghost.
    const std::string shot = "ghost_game_second_run.png";
    Trace second;
    {
        auto game = start("");
        ASSERT_TRUE(game->started());
        ASSERT_TRUE(focusScene(*game)) << game->output();
        xdotool("key --delay 60 Left Up Up Up");
        ASSERT_TRUE(waitFor(
            *game, [](const Frame& f) { return f.clock >= 1000; }, 60));
        xdotool("key --delay 60 Right Right Up Up Up Up Up Up");
        ASSERT_TRUE(waitFor(
            *game, [](const Frame& f) { return f.clock >= 5000; }, 60));
        EXPECT_TRUE(screenshot(shot));
        ASSERT_TRUE(waitFor(
            *game, [](const Frame& f) { return f.clock < 0 && f.x > 950; }, 60))
            << game->output().substr(0, 4000);
        sleepSeconds(0.5);
        second = readTrace(game->output());
    }

    // The ghost stood where the first run stood at the same clock time, within one step.
    int compared = 0;
    for (const Frame& f : second.frames) {
        if (f.clock < 0) {
            EXPECT_FALSE(f.ghost) << "a ghost while the clock is stopped";
            continue;
        }
        EXPECT_TRUE(f.ghost) << "no ghost at clock " << f.clock;
        const double d = distanceToFirstRun(first, f.clock, f.gx, f.gz);
        if (d < 0) {
            continue;
        }
        ++compared;
        EXPECT_LE(d, 5.0 + 0.01) << "at clock " << f.clock;
    }
    EXPECT_GE(compared, 20);

    // Every gate both runs judged has a split against the first run's time at that gate.
    ASSERT_EQ(second.splits.size(), 10u);
    for (const auto& [gate, s] : second.splits) {
        ASSERT_EQ(first.splits.count(gate), 1u) << gate;
        EXPECT_EQ(s.best, first.splits[gate].ms) << gate;
    }
    std::printf("screenshot of the second run: %s\n", shot.c_str());
}
