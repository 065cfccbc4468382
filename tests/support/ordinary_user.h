#ifndef TESTS_SUPPORT_ORDINARY_USER_H
#define TESTS_SUPPORT_ORDINARY_USER_H

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

// Runs part of a test as an ordinary user, whom file permissions bind: root reads and writes any
// file whatever its mode, so a test of what a program does with a file it may not read or write
// proves nothing as root.
//
// Without root, body runs in this process, whose user owns the test's files and is bound by their
// modes. As root, body runs in a child process (a fork of this one: body must not need another
// thread) that has become uid and gid 65534, with no supplementary groups. It needs no entry in
// the user database: on a bare system "nobody" has no home and no runtime folder, so the child
// gets both, HOME and XDG_RUNTIME_DIR, in a folder of its own inside `folder`, the test's own
// temporary folder, which that user must be able to reach. Before body the child checks that
// the switch took: it reaches `folder`, and a file of mode 000 there cannot be read by it. A
// system where it could (the child kept root's capabilities) fails with that reason rather than
// with a wrong result, and so do a failed switch, a body that returned false and a child that died.
// Where a test keeps the files that asOrdinaryUser's body uses: TMPDIR (or /tmp) when every
// folder on its path lets other users through, /tmp when one does not (a TMPDIR private to root).
inline std::string ordinaryUserTempBase() {
    const char* tmpdir = getenv("TMPDIR");
    const std::string base = tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp";
    for (size_t end = base.size(); end != std::string::npos && end > 0;
         end = base.rfind('/', end - 1)) {
        struct stat info {};
        if (stat(base.substr(0, end).c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            (info.st_mode & S_IXOTH) == 0) {
            return "/tmp";
        }
    }
    return base;
}

inline testing::AssertionResult asOrdinaryUser(const std::string& folder,
                                               const std::function<bool()>& body) {
    if (geteuid() != 0) {
        return body() ? testing::AssertionSuccess()
                      : testing::AssertionFailure() << "the body returned false";
    }
    constexpr uid_t user = 65534;
    constexpr gid_t group = 65534;
    const std::string home = folder + "/ordinary-user";
    const std::string probe = folder + "/ordinary-user-probe";
    if (mkdir(home.c_str(), 0700) != 0 && errno != EEXIST) {
        return testing::AssertionFailure() << "cannot make " << home << ": " << strerror(errno);
    }
    if (chown(home.c_str(), user, group) != 0) {
        return testing::AssertionFailure() << "cannot give " << home << " to uid " << user << ": "
                                           << strerror(errno);
    }
    const int probeFd = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0);
    if (probeFd < 0 || fchmod(probeFd, 0) != 0 || close(probeFd) != 0) {
        return testing::AssertionFailure() << "cannot make " << probe << ": " << strerror(errno);
    }
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return testing::AssertionFailure() << "pipe: " << strerror(errno);
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        return testing::AssertionFailure() << "fork: " << strerror(error);
    }
    if (child == 0) {
        close(report[0]);
        // The reason goes to the parent; the status says whether there is one.
        auto fail = [&](const std::string& why) {
            const std::string text = why + (errno != 0 ? std::string(": ") + strerror(errno) : "");
            if (write(report[1], text.data(), text.size()) < 0) {
                // The parent reports the status without the reason.
            }
            _exit(1);
        };
        errno = 0;
        if (setgroups(0, nullptr) != 0) fail("setgroups");
        if (setgid(group) != 0) fail("setgid(" + std::to_string(group) + ")");
        if (setuid(user) != 0) fail("setuid(" + std::to_string(user) + ")");
        if (getuid() != user || geteuid() != user) fail("still uid " + std::to_string(geteuid()));
        if (access(folder.c_str(), X_OK) != 0) {
            fail("uid " + std::to_string(user) + " cannot reach the test's folder " + folder +
                 " (a TMPDIR that only root may enter?)");
        }
        const int readable = open(probe.c_str(), O_RDONLY | O_CLOEXEC);
        if (readable >= 0 || errno != EACCES) {
            if (readable >= 0) errno = 0;
            fail("file permissions do not bind uid " + std::to_string(user) +
                 " here: it opened a file of mode 000 (root's capabilities kept?)");
        }
        errno = 0;
        if (setenv("HOME", home.c_str(), 1) != 0 || setenv("XDG_RUNTIME_DIR", home.c_str(), 1) != 0 ||
            unsetenv("XDG_CONFIG_HOME") != 0 || unsetenv("XDG_CACHE_HOME") != 0 ||
            unsetenv("XDG_DATA_HOME") != 0) {
            fail("setenv");
        }
        const bool ok = body();
        std::fflush(nullptr);
        errno = 0;
        if (!ok) fail("the body returned false as uid " + std::to_string(user));
        _exit(0);
    }
    close(report[1]);
    std::string reason;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(report[0], buffer, sizeof buffer);
        if (n > 0) {
            reason.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(report[0]);
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    unlink(probe.c_str());
    if (waited != child) {
        return testing::AssertionFailure() << "waitpid: " << strerror(errno);
    }
    if (WIFSIGNALED(status)) {
        return testing::AssertionFailure()
               << "the child as uid " << user << " died of signal " << WTERMSIG(status) << " ("
               << strsignal(WTERMSIG(status)) << ")";
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return testing::AssertionFailure()
               << (reason.empty() ? "the child ended with status " + std::to_string(status)
                                  : reason);
    }
    return testing::AssertionSuccess();
}

#endif  // TESTS_SUPPORT_ORDINARY_USER_H
