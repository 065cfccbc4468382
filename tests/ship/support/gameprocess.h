#ifndef TESTS_SHIP_SUPPORT_GAMEPROCESS_H
#define TESTS_SHIP_SUPPORT_GAMEPROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

// The null-terminated argument or environment array of execve and posix_spawn; the pointers
// point into strings, which must outlive them.
std::vector<char*> pointers(std::vector<std::string>& strings);

// A private X server (Xvfb) for one test binary, so that the windows of other tests running at
// the same time never cover the game's. Not copyable.
class VirtualDisplay {
public:
    // Starts Xvfb on a free display number with one screen of the given Xvfb size (width x height
    // x depth) and waits until it accepts clients. name() is empty when it could not be started.
    explicit VirtualDisplay(const std::string& screen = "1024x768x24");
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return m_name; }  // ":<number>"
    pid_t pid() const { return m_pid; }                 // the server's process, -1 when none

    // Grabs the screen area x, y, width, height (pixels) and counts its distinct colours, 0 when
    // the grab fails. A drawn 3-D scene has many; an undrawn or cleared one has one.
    int distinctColours(int x, int y, int width, int height) const;

private:
    pid_t m_pid = -1;
    std::string m_name;
};

// The game (or any program) started as a child process in a working directory, its standard
// output and error collected in a file there. Not copyable.
class GameProcess {
public:
    // Starts program with no arguments in workDir with DISPLAY set to display. Output goes to
    // workDir/console.txt. started() tells whether the process could be created.
    GameProcess(const std::string& program, const std::string& workDir, const std::string& display);
    // Stops the process if it still runs.
    ~GameProcess();
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    bool started() const { return m_pid > 0; }
    // True while the process has not ended. Collects its exit status once it has.
    bool running();
    // Everything the process has written so far.
    std::string output() const;
    // Waits until output() contains one of texts, the process ends, or seconds pass. True when
    // one was found.
    bool waitForOutput(const std::vector<std::string>& texts, double seconds);
    // Ends the process: SIGTERM, then SIGKILL after two seconds. Safe to call again.
    void stop();
    // How the process ended (the wait status), valid once running() returned false.
    int waitStatus() const { return m_status; }

private:
    pid_t m_pid = -1;
    int m_status = 0;
    std::string m_outputPath;
};

// Sleeps for seconds of real time.
void sleepSeconds(double seconds);

#endif  // TESTS_SHIP_SUPPORT_GAMEPROCESS_H
