#include "app/runrecordfile.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <iostream>

#include "files/datafile.h"

namespace {

void warn(const std::string& path, const std::string& what) {
    std::cerr << "skaldora: run file " << path << ' ' << what << std::endl;
}

// The one place that looks at the file on disk before its bytes are decoded: regular files only,
// never blocking on a FIFO, at most maxBytes.
DataFileStatus readRegularFile(const std::string& path, std::string& bytes, std::string& problem) {
    const DataFileStatus status = readDataFile(path.c_str(), RunRecord::maxFileBytes, bytes);
    problem = dataFileProblem(status, path.c_str(), RunRecord::maxFileBytes);
    return status;
}

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// Renames path to the first free of PATH.damaged, PATH.damaged-2 .. -9; the new name, or empty.
std::string moveAside(const std::string& path) {
    for (int n = 1; n <= 9; ++n) {
        const std::string aside = path + (n == 1 ? ".damaged" : ".damaged-" + std::to_string(n));
        if (!exists(aside) && std::rename(path.c_str(), aside.c_str()) == 0) {
            return aside;
        }
    }
    return std::string();
}

}  // namespace

std::string defaultBestRunFile() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) {
        return std::string();
    }
    return QDir(data).filePath(QStringLiteral("skaldora/best.run")).toStdString();
}

std::optional<RunRecord> loadRunFile(const std::string& path, RefusedRunFile refused,
                                     bool* movedAside) {
    if (movedAside != nullptr) {
        *movedAside = false;
    }
    std::string bytes;
    std::string why;
    const DataFileStatus status = readRegularFile(path, bytes, why);
    switch (status) {
        case DataFileStatus::Read:
            break;
        case DataFileStatus::Missing:
            // The player's own file is missing until the first best run; a file given by name
            // should be there.
            if (exists(path)) {
                warn(path, "cannot be opened; it is not used");
            } else if (refused == RefusedRunFile::LeaveAlone) {
                warn(path, "does not exist; it is not used");
            }
            return std::nullopt;
        case DataFileStatus::Unreadable:
            warn(path, why + "; it is not used");
            return std::nullopt;
        case DataFileStatus::NotRegular:
        case DataFileStatus::TooLarge:
            why = "is " + why;
            break;
    }
    RunRecord run;
    if (status == DataFileStatus::Read && decodeRun(bytes, run, &why) == RunFileStatus::Read) {
        return run;
    }
    if (refused == RefusedRunFile::LeaveAlone) {
        warn(path, why + "; it is not used");
        return std::nullopt;
    }
    const std::string aside = moveAside(path);
    if (aside.empty()) {
        warn(path, why + "; it is not used, and could not be moved aside");
        return std::nullopt;
    }
    if (movedAside != nullptr) {
        *movedAside = true;
    }
    warn(path, why + "; it was moved to " + aside + " and a new one will be kept");
    return std::nullopt;
}

bool saveRunFile(const std::string& path, const RunRecord& run) {
    const QString file = QString::fromStdString(path);
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        warn(path, "cannot be written: its folder cannot be made");
        return false;
    }
    if (info.isDir()) {
        warn(path, "cannot be written: a folder is in its place");
        return false;
    }
    const std::string bytes = encodeRun(run);
    QSaveFile out(file);
    // Renamed over whatever is there, never written through it in place.
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !out.commit()) {
        warn(path, "cannot be written: " + out.errorString().toStdString());
        return false;
    }
    return true;
}
