#ifndef NEVRA_SRC_REGULAR_FILE_H
#define NEVRA_SRC_REGULAR_FILE_H

// Opening the files the library reads and writes (BMP pictures, raw images). They must be regular
// files: a FIFO would block the open until another process opened its other end (for ever, when
// none does), a device or a socket gives no file length, and a directory no bytes. So the path is
// opened without blocking and anything that is not a regular file is closed again at once.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace Nevra {

// The regular file at `path` as a buffered stream, for reading (binary "rb") or, with
// `forWriting`, for writing (created when missing, emptied otherwise, "wb"). Null when the path
// cannot be opened or is not a regular file; a non-regular file is then left as it was (nothing
// read, written or truncated).
inline std::FILE* openRegularFile(const char* path, bool forWriting) {
    if (path == nullptr) {
        return nullptr;
    }
    const int access = forWriting ? O_WRONLY | O_CREAT : O_RDONLY;
    const int fd = ::open(path, access | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    struct stat status;
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    // Regular files never block; the flag is dropped so that the stream behaves as usual.
    const int flags = regular ? ::fcntl(fd, F_GETFL) : -1;
    if (!regular || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        (forWriting && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, forWriting ? "wb" : "rb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

}  // namespace Nevra

#endif  // NEVRA_SRC_REGULAR_FILE_H
