#ifndef SCENE_DATAFILE_H
#define SCENE_DATAFILE_H

#include <string>

// Safe access to the game's data files in the working directory. A data file must be a regular
// file: a FIFO, socket, device or directory in its place is refused without ever blocking on it.

// What readDataFile found.
enum class DataFileStatus {
    Read,        // bytes holds the whole file
    Missing,     // nothing there, or no permission to open it
    NotRegular,  // a FIFO, socket, device or directory (symbolic links are followed)
    TooLarge,    // a regular file of more than maxBytes
    Unreadable,  // opened, but reading failed
};

// Reads the file at path whole into bytes. The file is opened without blocking, so a FIFO or a
// device is refused at once; symbolic links are followed and judged by what they point at. A
// regular file is read up to the size it reports (files under /proc report 0 and so read as
// empty). On any status but Read, bytes is left empty.
DataFileStatus readDataFile(const char* path, long long maxBytes, std::string& bytes);

// What the thing at path is when it is neither a regular file nor missing ("a FIFO", "a socket",
// "a device", "a directory"); empty for a regular or a missing file. Does not open the path.
std::string nonRegularFileKind(const char* path);

// A few words for the standard error line about a status other than Read, e.g.
// "not a regular file (a FIFO)" or "larger than 8388608 bytes".
std::string dataFileProblem(DataFileStatus status, const char* path, long long maxBytes);

#endif  // SCENE_DATAFILE_H
