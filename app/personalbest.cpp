#include "app/personalbest.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <iostream>
#include <optional>

#include "files/datafile.h"
#include "files/filelock.h"

namespace {

const char* const totalKey = "best/totalMs";
const char* const cleanKey = "best/cleanMs";

// The record holds two numbers; anything much larger is not ours (and is not read whole).
constexpr qint64 maxFileBytes = 64 * 1024;

// How long a finish waits for another game saving at the same moment. Saving takes milliseconds;
// a game that holds the lock longer is stuck, and this one's result is then kept in memory only.
constexpr int lockWaitMs = 5000;

// A path that may be opened without blocking: absent, or a regular file (through symlinks).
// Opening a FIFO would wait for a writer for ever, and QSettings opens its lock file too.
bool plainOrAbsent(const QString& path) {
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

// The file's time of change in nanoseconds, -1 when it cannot be looked at.
long long changedNs(const QByteArray& path) {
    struct stat info;
    if (::stat(path.constData(), &info) != 0) {
        return -1;
    }
    return static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

}  // namespace

PersonalBest::PersonalBest(const QString& fileName) : file_(fileName) {
    if (file_.isEmpty()) {
        saving_ = false;
        return;
    }
    readFile();
}

QString PersonalBest::defaultFileName() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) {
        return QString();
    }
    return QDir(config).filePath(QStringLiteral("skaldora/skaldora.ini"));
}

QString PersonalBest::lockFileName() const {
    return file_ + QStringLiteral(".flock");
}

bool PersonalBest::recordFinish(long long totalMs, int gateFailures) {
    if (totalMs < 0) {
        return false;
    }
    // Another game may finish at this very moment: reading the record, comparing and writing it
    // is one step under the lock, so that each game compares with what the other has saved.
    std::optional<FileLock> lock;
    if (saving_) {
        QDir().mkpath(QFileInfo(file_).absolutePath());
        lock.emplace(QFile::encodeName(lockFileName()).toStdString(), lockWaitMs);
        switch (lock->status()) {
            case FileLock::Status::Held: readFile(); break;
            case FileLock::Status::NotRegular:
                leaveAlone("has a lock file that is not a regular file");
                break;
            case FileLock::Status::CannotOpen: leaveAlone("cannot be written"); break;
            case FileLock::Status::TimedOut:
                leaveAlone("is held by another game that does not let go of it");
                break;
        }
    }
    const bool newBest = totalMs_ == none || totalMs < totalMs_;
    const bool newClean = gateFailures == 0 && (cleanMs_ == none || totalMs < cleanMs_);
    if (newBest) {
        totalMs_ = totalMs;
    }
    if (newClean) {
        cleanMs_ = totalMs;
    }
    if (saving_ && (newBest || newClean)) {
        writeFile(newBest, newClean);
    }
    return newBest;
}

void PersonalBest::readFile() {
    readChangedNs_ = -1;
    bool damaged = false;
    switch (checkDataFile(QFile::encodeName(file_).constData(), maxFileBytes)) {
        case DataFileStatus::Read: break;
        case DataFileStatus::Missing:
            if (!QFileInfo::exists(file_)) {
                return;  // no record yet
            }
            return leaveAlone("cannot be read");
        case DataFileStatus::NotRegular: return leaveAlone("is not a regular file");
        case DataFileStatus::TooLarge: damaged = true; break;
        case DataFileStatus::Unreadable: return leaveAlone("cannot be read");
    }
    readChangedNs_ = changedNs(QFile::encodeName(file_));
    long long values[2] = {none, none};
    if (!damaged) {
        const QSettings settings(file_, QSettings::IniFormat);
        settings.allKeys();  // QSettings reads the file at its first use, and only then knows
        if (settings.status() == QSettings::AccessError) {
            return leaveAlone("cannot be read");
        }
        // QSettings reads what it can of a damaged file, but writing it back would drop the
        // rest: such a file is not used, and moved aside before a new one is written.
        damaged = settings.status() == QSettings::FormatError;
        const char* const keys[2] = {totalKey, cleanKey};
        for (int i = 0; i < 2 && !damaged; ++i) {
            if (!settings.contains(keys[i])) {
                continue;
            }
            bool ok = false;
            const long long v = settings.value(keys[i]).toString().toLongLong(&ok);
            if (ok && v >= 0) {
                values[i] = v;
            } else if (!badValueTold_) {
                badValueTold_ = true;
                warn(QStringLiteral("has a %1 that is not a time in milliseconds; it counts as "
                                    "no result")
                         .arg(keys[i]));
            }
        }
    }
    if (damaged) {
        for (int n = 1; n <= 9; ++n) {
            const QString aside =
                file_ + (n == 1 ? QStringLiteral(".damaged") : QStringLiteral(".damaged-%1").arg(n));
            if (!QFileInfo::exists(aside) && QFile::rename(file_, aside)) {
                warn(QStringLiteral("is damaged; it was moved to %1 and a new one is started")
                         .arg(aside));
                return;
            }
        }
        return leaveAlone("is damaged and could not be moved aside");
    }
    if (values[0] != none && (totalMs_ == none || values[0] < totalMs_)) {
        totalMs_ = values[0];
    }
    if (values[1] != none && (cleanMs_ == none || values[1] < cleanMs_)) {
        cleanMs_ = values[1];
    }
}

void PersonalBest::writeFile(bool total, bool clean) {
    // Writing takes QSettings's lock file next to the record; reading does not.
    if (!plainOrAbsent(file_ + QStringLiteral(".lock"))) {
        return leaveAlone("has a lock file that is not a regular file");
    }
    QSettings settings(file_, QSettings::IniFormat);
    settings.allKeys();
    if (settings.status() != QSettings::NoError) {
        return leaveAlone("changed while the game read it and is not written");
    }
    if (total) {
        settings.setValue(totalKey, totalMs_);
    }
    if (clean) {
        settings.setValue(cleanKey, cleanMs_);
    }
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        return leaveAlone("cannot be written");
    }
    // QSettings reads a file again only when its size or its time of change (to the millisecond)
    // differs from the copy it holds, and the file system's clock may tick only every few
    // milliseconds: two saves within one tick, of the same size, would look alike to a game that
    // read the first, and it would compare with a result already beaten. Each save is therefore
    // made a millisecond later than the one it replaced, if the clock has not moved on by itself.
    const QByteArray path = QFile::encodeName(file_);
    const long long now = changedNs(path);
    constexpr long long ms = 1000000;
    if (readChangedNs_ >= 0 && now >= 0 && now / ms <= readChangedNs_ / ms) {
        const long long later = (readChangedNs_ / ms + 1) * ms;
        const struct timespec times[2] = {{0, UTIME_OMIT}, {later / 1000000000, later % 1000000000}};
        utimensat(AT_FDCWD, path.constData(), times, 0);
    }
}

void PersonalBest::leaveAlone(const char* why) {
    saving_ = false;
    warn(QStringLiteral("%1; this game's results are kept until it ends, not saved")
             .arg(QString::fromUtf8(why)));
}

void PersonalBest::warn(const QString& what) const {
    std::cerr << "skaldora: personal best file " << file_.toStdString() << ' '
              << what.toStdString() << std::endl;
}
