#ifndef FILES_DATAFILE_H
#define FILES_DATAFILE_H

#include <string>

// The one check every loader of the game makes before it reads a file: the models, the pictures,
// the sounds, the personal best record and the gamepad's mapping file. A file is used only when it
// is a regular file (symbolic links are followed and judged by what they point at), no larger than
// the loader's bound, and can be opened for reading. A FIFO, socket, device or directory in its
// place is refused without ever blocking on it: the path is looked at first (opening some devices
// has effects of its own), then opened without blocking, and what was opened is judged again.
//
// Plain functions of the C library; no toolkit. Safe to call from any thread.

// What the check found.
enum class DataFileStatus {
    Read,        // a regular file within the bound, opened for reading (readDataFile: read whole)
    Missing,     // nothing there, or no permission to open it
    NotRegular,  // a FIFO, socket, device or directory
    TooLarge,    // a regular file of more than maxBytes
    Unreadable,  // opened, but it could not be looked at or read
};

// Checks the file at path as above without reading it, for loaders whose library opens the file
// by its name. On Read, *size (when given) is the file's length in bytes; otherwise it is 0.
DataFileStatus checkDataFile(const char* path, long long maxBytes, long long* size = nullptr);

// Checks the file at path as above and reads it whole into bytes. Only the size the file reports
// is read (files under /proc report 0 and so read as empty); a file that shrinks meanwhile gives
// what it still holds. On any status but Read, bytes is left empty.
DataFileStatus readDataFile(const char* path, long long maxBytes, std::string& bytes);

// What the thing at path is when it is neither a regular file nor missing ("a FIFO", "a socket",
// "a device", "a directory"); empty for a regular or a missing file. Does not open the path.
std::string nonRegularFileKind(const char* path);

// A few words for the standard error line about a status other than Read, e.g.
// "not a regular file (a FIFO)" or "larger than 8388608 bytes"; empty for Read.
std::string dataFileProblem(DataFileStatus status, const char* path, long long maxBytes);

#endif  // FILES_DATAFILE_H
