// The lock between processes: taken, refused in the place of a FIFO or a folder, waited for a
// bounded time while another process holds it, and let go when its holder ends or dies.
#include "files/filelock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

class FileLockTest : public testing::Test {
protected:
    FileLockTest() {
        char name[] = "/tmp/filelock_test-XXXXXX";
        folder = mkdtemp(name) != nullptr ? name : "";
        EXPECT_FALSE(folder.empty());
    }
    ~FileLockTest() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    // A child process that takes the lock at path and keeps it until it is killed. Returns once
    // the child holds it.
    pid_t holder(const std::string& path) {
        int ready[2];
        EXPECT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            FileLock lock(path, 1000);
            const char c = lock.held() ? 'y' : 'n';
            (void)!write(ready[1], &c, 1);
            pause();
            _exit(0);
        }
        char c = 0;
        EXPECT_EQ(read(ready[0], &c, 1), 1);
        EXPECT_EQ(c, 'y');
        close(ready[0]);
        close(ready[1]);
        return pid;
    }

    static void end(pid_t pid) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    std::string folder;
};

}  // namespace

TEST_F(FileLockTest, IsTakenAndMadeWhenMissingAndLetGoWithItsObject) {
    const std::string path = folder + "/record.flock";
    {
        FileLock lock(path, 0);
        EXPECT_TRUE(lock.held());
        struct stat info;
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
    }
    FileLock again(path, 0);  // the first let go
    EXPECT_TRUE(again.held());
    struct stat info;
    EXPECT_EQ(stat(path.c_str(), &info), 0);  // and the file stays
}

TEST_F(FileLockTest, NothingButARegularFileServesAndNothingBlocks) {
    const std::string fifo = folder + "/fifo.flock";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = folder + "/link.flock";
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
    EXPECT_EQ(FileLock(fifo, 0).status(), FileLock::Status::NotRegular);
    EXPECT_EQ(FileLock(link, 0).status(), FileLock::Status::NotRegular);
    EXPECT_EQ(FileLock(folder, 0).status(), FileLock::Status::NotRegular);
    EXPECT_EQ(FileLock(folder + "/no/folder.flock", 0).status(), FileLock::Status::CannotOpen);
}

// Another process's lock is waited for as long as asked, no longer; a holder that dies lets go.
TEST_F(FileLockTest, AnotherHolderIsWaitedForABoundedTimeAndLetsGoWhenItDies) {
    const std::string path = folder + "/record.flock";
    const pid_t other = holder(path);
    const auto start = std::chrono::steady_clock::now();
    FileLock waited(path, 200);
    const auto waitedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
    EXPECT_EQ(waited.status(), FileLock::Status::TimedOut);
    EXPECT_GE(waitedMs, 200);
    end(other);
    EXPECT_TRUE(FileLock(path, 0).held());

    // A holder ending while another waits hands the lock on.
    const pid_t brief = holder(path);
    const pid_t ender = fork();
    if (ender == 0) {
        usleep(100 * 1000);
        kill(brief, SIGKILL);
        _exit(0);
    }
    EXPECT_TRUE(FileLock(path, 10000).held());
    waitpid(ender, nullptr, 0);
    waitpid(brief, nullptr, 0);
}
