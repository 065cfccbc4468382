#ifndef FILES_FILELOCK_H
#define FILES_FILELOCK_H

#include <string>

// An exclusive lock on a lock file, held while the object lives: the way separate processes of the
// game take turns at a file they all read and write (the personal best record). The lock is
// advisory (flock), so it binds only those who take it; it is let go when the object is destroyed
// or the process ends, however it ends, and a lock file left behind holds nothing.
//
// The lock file is made when missing (mode 0644 less the umask) and never removed: removing it
// would let two processes lock two different files of the same name. Anything but a regular file
// in its place (a FIFO, a device, a folder) is refused without blocking on it. The wait for another
// holder is bounded, so a process that never lets go cannot freeze the one that waits.
//
// Not copyable; one object per lock and thread.
class FileLock {
public:
    enum class Status {
        Held,        // the lock is ours
        NotRegular,  // something other than a regular file stands at the lock file's path
        CannotOpen,  // the lock file can neither be opened nor made (no folder, no permission)
        TimedOut,    // another holder kept it for the whole wait
    };

    // Takes the lock on the file at path, waiting at most waitMs milliseconds for another holder.
    FileLock(const std::string& path, int waitMs);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    Status status() const { return status_; }
    bool held() const { return status_ == Status::Held; }

private:
    int fd_ = -1;
    Status status_ = Status::CannotOpen;
};

#endif  // FILES_FILELOCK_H
