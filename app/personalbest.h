#ifndef APP_PERSONALBEST_H
#define APP_PERSONALBEST_H

#include <QString>

// The player's best results, kept from one game to the next in a small INI file (QSettings):
// the best total result and the best clean run (a finish with no gate failure), each in
// milliseconds, under the keys best/totalMs and best/cleanMs. Other keys in the file are left
// as they are.
//
// The file is read when the record is made and again at every finish. At a finish the file is
// read, compared and written under one lock (an flock on the file's name with ".flock" added,
// a file made beside the record and left there), so that any number of games finishing at once
// keep the best of their results. What it cannot use is said in one line on standard error, and
// the game goes on:
// - a missing file (and folder) is an empty record, made at the first finish;
// - a damaged file (not INI, or larger than 64 KiB) is moved aside, to the file's name with
//   ".damaged" added (or ".damaged-2" to "-9" when taken), and a new one is started, so nothing
//   in it is lost or written over;
// - a value that is not a whole number of milliseconds counts as no result, and is replaced
//   when that result is next saved;
// - a path that is no regular file (a folder, a FIFO, a device), a file or lock file that
//   cannot be read, a file that cannot be written, a damaged file that cannot be moved, or a
//   lock another game holds for more than 5 s: the file is left alone from then on, and this
//   game's results are kept in memory only.
// Not copyable; not thread-safe.
class PersonalBest {
public:
    static constexpr long long none = -1;  // no result kept yet

    // Reads the record from fileName; an empty name keeps the record in memory only.
    explicit PersonalBest(const QString& fileName);
    PersonalBest(const PersonalBest&) = delete;
    PersonalBest& operator=(const PersonalBest&) = delete;

    // The user's record: skaldora/skaldora.ini in the config folder ($XDG_CONFIG_HOME, or
    // ~/.config when it is not set).
    static QString defaultFileName();

    // Records a finish with this total (ms) and gate failure count, saving whatever it
    // improves. True when the total beats the best total kept before: the first finish ever is
    // a new best, an equal total is not. A negative total is no result: false, nothing kept.
    bool recordFinish(long long totalMs, int gateFailures);

    long long bestTotalMs() const { return totalMs_; }  // none before the first finish
    long long bestCleanMs() const { return cleanMs_; }  // none before the first clean finish
    // False once the file is left alone for the rest of the game.
    bool saving() const { return saving_; }

private:
    // Merges the file's results into the record. A damaged file is moved aside.
    void readFile();
    // Saves the results that improved.
    void writeFile(bool total, bool clean);
    // The lock file beside the record that games take while they read, compare and write it.
    QString lockFileName() const;
    // Stops using the file for the rest of the game, saying why.
    void leaveAlone(const char* why);
    void warn(const QString& what) const;

    QString file_;
    bool saving_ = true;
    bool badValueTold_ = false;
    long long readChangedNs_ = -1;  // the record's time of change when last read, -1: none
    long long totalMs_ = none;
    long long cleanMs_ = none;
};

#endif  // APP_PERSONALBEST_H
