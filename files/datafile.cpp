#include "files/datafile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

std::string kindOfMode(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISDIR(mode))
        return "a directory";
    return "not a file";
}

// Opens path for reading if it passes the check; on Read, fd is open (the caller closes it) and
// size is the file's length. On any other status fd is -1.
DataFileStatus openChecked(const char* path, long long maxBytes, int& fd, long long& size) {
    fd = -1;
    size = 0;
    // Judged before opening: opening some devices has effects of its own.
    struct stat info;
    if (::stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
        return DataFileStatus::NotRegular;
    }
    // O_NONBLOCK: should a FIFO take the file's place after that look, opening it for reading
    // still returns at once instead of waiting for a writer.
    const int opened = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0) {
        return errno == ENXIO ? DataFileStatus::NotRegular : DataFileStatus::Missing;
    }
    DataFileStatus status = DataFileStatus::Read;
    if (::fstat(opened, &info) != 0) {
        status = DataFileStatus::Unreadable;
    } else if (!S_ISREG(info.st_mode)) {
        status = DataFileStatus::NotRegular;
    } else if (info.st_size > maxBytes) {
        status = DataFileStatus::TooLarge;
    }
    if (status != DataFileStatus::Read) {
        ::close(opened);
        return status;
    }
    fd = opened;
    size = info.st_size;
    return status;
}

}  // namespace

DataFileStatus checkDataFile(const char* path, long long maxBytes, long long* size) {
    int fd;
    long long length;
    const DataFileStatus status = openChecked(path, maxBytes, fd, length);
    if (fd >= 0) {
        ::close(fd);
    }
    if (size != nullptr) {
        *size = length;
    }
    return status;
}

DataFileStatus readDataFile(const char* path, long long maxBytes, std::string& bytes) {
    bytes.clear();
    int fd;
    long long size;
    DataFileStatus status = openChecked(path, maxBytes, fd, size);
    if (status != DataFileStatus::Read) {
        return status;
    }
    bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, &bytes[done], bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            status = DataFileStatus::Unreadable;
            break;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    if (status != DataFileStatus::Read) {
        bytes.clear();
    } else if (done < bytes.size()) {
        bytes.resize(done);  // the file shrank while it was read: what is there
    }
    return status;
}

std::string nonRegularFileKind(const char* path) {
    struct stat info;
    if (::stat(path, &info) != 0 || S_ISREG(info.st_mode))
        return std::string();
    return kindOfMode(info.st_mode);
}

std::string dataFileProblem(DataFileStatus status, const char* path, long long maxBytes) {
    switch (status) {
        case DataFileStatus::Read:
            return std::string();
        case DataFileStatus::Missing:
            return "cannot be opened";
        case DataFileStatus::NotRegular: {
            const std::string kind = nonRegularFileKind(path);
            return "not a regular file" + (kind.empty() ? std::string() : " (" + kind + ")");
        }
        case DataFileStatus::TooLarge:
            return "larger than " + std::to_string(maxBytes) + " bytes";
        case DataFileStatus::Unreadable:
            return "cannot be read";
    }
    return std::string();
}
