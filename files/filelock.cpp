#include "files/filelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

FileLock::FileLock(const std::string& path, int waitMs) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        status_ = Status::NotRegular;
        return;
    }
    // Non-blocking open: a FIFO put in the file's place after that look does not hold us. A lock
    // file made by another user may be ours to read only; a lock on it is just as good.
    const int flags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | flags, 0644);
    if (fd_ < 0 && errno == EACCES) {
        fd_ = ::open(path.c_str(), O_RDONLY | flags);
    }
    if (fd_ < 0) {
        status_ = errno == ENXIO ? Status::NotRegular : Status::CannotOpen;
        return;
    }
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        status_ = Status::NotRegular;
        ::close(fd_);
        fd_ = -1;
        return;
    }
    // Polled rather than waited for in flock itself, so that the wait has an end.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if ((error != EWOULDBLOCK && error != EINTR) ||
            std::chrono::steady_clock::now() >= deadline) {
            status_ = error == EWOULDBLOCK ? Status::TimedOut : Status::CannotOpen;
            ::close(fd_);
            fd_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    status_ = Status::Held;
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // lets go of the lock
    }
}
