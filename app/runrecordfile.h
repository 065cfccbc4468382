#ifndef APP_RUNRECORDFILE_H
#define APP_RUNRECORDFILE_H

#include <optional>
#include <string>

#include "app/runrecord.h"

// Run files on disk: the player's best run, and a run given by name to race against. What a
// file cannot give is said in one line on standard error ("skaldora: run file PATH ..."); the
// game goes on without it.

// The player's best run: skaldora/best.run in the data folder ($XDG_DATA_HOME, or
// ~/.local/share when it is not set). Empty when no such folder can be named.
std::string defaultBestRunFile();

// What loadRunFile does with a file it refuses.
enum class RefusedRunFile {
    MoveAside,   // the player's own file: moved to PATH.damaged (".damaged-2" to "-9" when
                 // taken), so that a new one can be written and nothing in it is lost
    LeaveAlone,  // someone else's file: left where and as it is
};

// Reads the run at path. A missing file is no run (said on standard error only with LeaveAlone,
// where it was asked for by name). Anything else that is not a valid
// run file of this version (see runrecord.h), a FIFO, a device or a folder in its place (judged
// without opening it), or a file that cannot be read: no run, one line on standard error, and
// with MoveAside the thing moved aside (when it cannot be, the line says so).
// movedAside, when given, is set to whether the thing was moved.
std::optional<RunRecord> loadRunFile(const std::string& path, RefusedRunFile refused,
                                     bool* movedAside = nullptr);

// Writes run to path whole or not at all: into a temporary file beside it, then renamed over it.
// Makes the folder when missing. False (with one line on standard error) when it could not.
// REQUIRES: run has 1..maxSteps steps and at most maxGates gates.
bool saveRunFile(const std::string& path, const RunRecord& run);

#endif  // APP_RUNRECORDFILE_H
