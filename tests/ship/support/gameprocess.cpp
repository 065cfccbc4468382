#include "ship/support/gameprocess.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// The environment of this process with DISPLAY replaced by display.
std::vector<std::string> environmentWithDisplay(const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("DISPLAY=", 0) != 0)
            env.emplace_back(*e);
    }
    env.push_back("DISPLAY=" + display);
    return env;
}

}  // namespace

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

void sleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

VirtualDisplay::VirtualDisplay(const std::string& screen) {
    int fds[2];
    if (pipe(fds) != 0)
        return;
    // Xvfb writes the display number it chose to descriptor 3 once it is ready for clients.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"Xvfb", "-displayfd",  "3",         "-screen",
                                     "0",    screen,        "-nolisten", "tcp",
                                     "-noreset"};
    std::vector<char*> argv = pointers(args);
    if (posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    char c;
    while (m_pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (!number.empty())
        m_name = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

int VirtualDisplay::distinctColours(int x, int y, int width, int height) const {
    Display* display = XOpenDisplay(m_name.c_str());
    if (display == nullptr)
        return 0;
    int count = 0;
    XImage* image =
        XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image != nullptr) {
        std::set<unsigned long> colours;
        for (int row = 0; row < height; row += 2) {
            for (int col = 0; col < width; col += 2)
                colours.insert(XGetPixel(image, col, row));
        }
        count = static_cast<int>(colours.size());
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return count;
}

GameProcess::GameProcess(const std::string& program, const std::string& workDir,
                         const std::string& display)
    : m_outputPath(workDir + "/console.txt") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, m_outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // The working directory is changed by a small shell step: posix_spawn has no portable chdir.
    std::vector<std::string> args = {"/bin/sh", "-c", "cd \"$0\" && exec \"$1\"", workDir, program};
    std::vector<std::string> env = environmentWithDisplay(display);
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);
    if (posix_spawn(&m_pid, "/bin/sh", &actions, nullptr, argv.data(), envp.data()) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

GameProcess::~GameProcess() {
    stop();
}

bool GameProcess::running() {
    if (m_pid <= 0)
        return false;
    const pid_t result = waitpid(m_pid, &m_status, WNOHANG);
    if (result == 0)
        return true;
    m_pid = -1;
    return false;
}

std::string GameProcess::output() const {
    std::ifstream in(m_outputPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool GameProcess::waitForOutput(const std::vector<std::string>& texts, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const bool ended = !running();
        const std::string text = output();
        for (const std::string& t : texts) {
            if (text.find(t) != std::string::npos)
                return true;
        }
        if (ended || std::chrono::steady_clock::now() >= end)
            return false;
        sleepSeconds(0.05);
    }
}

void GameProcess::stop() {
    if (!running())
        return;
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 40 && running(); ++i)
        sleepSeconds(0.05);
    if (running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &m_status, 0);
        m_pid = -1;
    }
}
