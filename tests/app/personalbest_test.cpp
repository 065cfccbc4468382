// The personal best record and its file: what it keeps across games, and what it does with a file
// it cannot use (damaged, not a file, unreadable, unwritable). Every file lives in a temporary
// folder; the user's own record is never touched.
#include "app/personalbest.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/cout_capture.h"
#include "support/ordinary_user.h"

namespace {

// A game's record in a process of its own (personalbest_racer), driven one line at a time.
class Racer {
public:
    Racer() {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(PERSONALBEST_RACER, QStringList());
    }
    ~Racer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    bool started() { return process_.waitForStarted(5000); }
    void send(const QByteArray& line) { process_.write(line + "\n"); }
    // The next line it answers, empty when none comes within 10 s.
    QByteArray answer() {
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(10000)) {
                return QByteArray();
            }
        }
        return process_.readLine().trimmed();
    }
    QByteArray errors() { return process_.readAllStandardError(); }

private:
    QProcess process_;
};

// The lines written to a capture since the last call.
int lines(StreamCapture& capture) {
    const std::string text = capture.take();
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

// The best total in the file on disk, -1 when there is none. Read from the bytes, not through
// QSettings: QSettings keeps each file's contents for the whole process, with the changes that
// a failed save left pending, and would report those instead of what the file holds.
long long keptTotal(const QString& path) {
    bool inBest = false;
    for (const QByteArray& line : readAll(path).split('\n')) {
        if (line.startsWith('[')) {
            inBest = line.trimmed() == "[best]";
        } else if (inBest && line.startsWith("totalMs=")) {
            bool ok = false;
            const long long value = line.mid(8).trimmed().toLongLong(&ok);
            return ok ? value : -1;
        }
    }
    return -1;
}

class PersonalBestTest : public testing::Test {
protected:
    PersonalBestTest() : file(QDir(dir.path()).filePath("config/skaldora/skaldora.ini")) {}

    QTemporaryDir dir;
    QString file;
    CerrCapture err;
};

}  // namespace

TEST_F(PersonalBestTest, TheFirstFinishIsANewBestAndAnEqualTotalIsNot) {
    PersonalBest best(file);
    EXPECT_EQ(best.bestTotalMs(), PersonalBest::none);
    EXPECT_EQ(best.bestCleanMs(), PersonalBest::none);
    const struct {
        long long total;
        int failures;
        bool newBest;
        long long bestTotal, bestClean;
    } finishes[] = {
        {65000, 1, true, 65000, PersonalBest::none},  // first ever: nothing to beat
        {65000, 0, false, 65000, 65000},              // equal: not new, but the first clean run
        {64999, 2, true, 64999, 65000},               // a millisecond better
        {70000, 0, false, 64999, 65000},
        {60000, 0, true, 60000, 60000},
        {0, 0, true, 0, 0},    // zero is a time like any other
        {-1, 0, false, 0, 0},  // no result
    };
    for (const auto& f : finishes) {
        EXPECT_EQ(best.recordFinish(f.total, f.failures), f.newBest) << f.total;
        EXPECT_EQ(best.bestTotalMs(), f.bestTotal) << f.total;
        EXPECT_EQ(best.bestCleanMs(), f.bestClean) << f.total;
    }
    EXPECT_EQ(lines(err), 0);
}

TEST_F(PersonalBestTest, SurvivesARestartKeepsTheOtherKeysAndTheBetterOfTwoGamesAtOnce) {
    writeAll(file, "[sound]\nvolume=7\n");
    PersonalBest other(file);  // another game, running all along
    {
        PersonalBest best(file);
        EXPECT_TRUE(best.recordFinish(72500, 2));
        EXPECT_FALSE(best.recordFinish(80000, 0));
    }
    EXPECT_FALSE(other.recordFinish(75000, 1));  // it reads the first game's result
    PersonalBest again(file);
    EXPECT_EQ(again.bestTotalMs(), 72500);
    EXPECT_EQ(again.bestCleanMs(), 80000);
    EXPECT_FALSE(again.recordFinish(72500, 0));
    const QSettings settings(file, QSettings::IniFormat);
    EXPECT_EQ(settings.value("sound/volume").toInt(), 7);
    EXPECT_EQ(settings.value("best/totalMs").toLongLong(), 72500);
    EXPECT_EQ(settings.value("best/cleanMs").toLongLong(), 72500);
    EXPECT_EQ(lines(err), 0);
}

TEST_F(PersonalBestTest, ADamagedFileIsMovedAsideWholeAndANewOneStarted) {
    const QByteArray damaged[] = {
        QByteArray("[best\ntotalMs=5\n\0\xff", 18),          // a broken section
        "a line that is no key\n[best]\ntotalMs=7\n",        // QSettings would drop the line
        "[best]\ntotalMs=1\n" + QByteArray(70 * 1024, '#'),  // far too large to be ours
    };
    int n = 0;
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(++n);
        writeAll(file, bytes);
        PersonalBest best(file);
        EXPECT_EQ(best.bestTotalMs(), PersonalBest::none);
        const QString aside = file + (n == 1 ? QString(".damaged") : QString(".damaged-%1").arg(n));
        EXPECT_EQ(readAll(aside), bytes);  // every byte kept
        EXPECT_FALSE(QFileInfo::exists(file));
        EXPECT_EQ(lines(err), 1);
        EXPECT_TRUE(best.recordFinish(90000, 0));
        EXPECT_TRUE(best.saving());
        EXPECT_EQ(keptTotal(file), 90000);
        EXPECT_EQ(lines(err), 0);
    }
}

TEST_F(PersonalBestTest, AValueThatIsNoTimeCountsAsNoResultAndIsToldOnce) {
    writeAll(file, "[best]\ntotalMs=99999999999999999999999\ncleanMs=-5\n[sound]\nvolume=3\n");
    PersonalBest best(file);
    EXPECT_EQ(best.bestTotalMs(), PersonalBest::none);
    EXPECT_EQ(best.bestCleanMs(), PersonalBest::none);
    EXPECT_EQ(lines(err), 1);
    EXPECT_TRUE(best.recordFinish(99000, 1));  // re-reads the file: not told again
    EXPECT_EQ(lines(err), 0);
    const QSettings settings(file, QSettings::IniFormat);
    EXPECT_EQ(settings.value("best/totalMs").toLongLong(), 99000);
    EXPECT_EQ(settings.value("best/cleanMs").toString(), "-5");  // not improved, not touched
    EXPECT_EQ(settings.value("sound/volume").toInt(), 3);
}

// A negative value is no time either, whichever key holds it and however it is written: no result,
// one line that names the key, and the other key's result is kept.
TEST_F(PersonalBestTest, ANegativeValueCountsAsNoResultAndIsToldOnce) {
    struct Case {
        const char* record;
        long long total, clean;
        const char* key;
    };
    const Case cases[] = {
        {"[best]\ntotalMs=70000\ncleanMs=-5\n", 70000, PersonalBest::none, "cleanMs"},
        {"[best]\ntotalMs=-1\ncleanMs=80000\n", PersonalBest::none, 80000, "totalMs"},
        {"[best]\ntotalMs=-9223372036854775808\n", PersonalBest::none, PersonalBest::none,
         "totalMs"},
        {"[best]\ncleanMs=\" -5\"\n", PersonalBest::none, PersonalBest::none, "cleanMs"},
    };
    // A file of its own for each case: QSettings keeps a file's contents for the whole process.
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        const QString path = file + QString::number(++n);
        writeAll(path, c.record);
        PersonalBest best(path);
        EXPECT_EQ(best.bestTotalMs(), c.total);
        EXPECT_EQ(best.bestCleanMs(), c.clean);
        const std::string told = err.take();
        EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
        EXPECT_NE(told.find(c.key), std::string::npos) << told;
    }
    // A clean finish replaces the negative clean run in the file.
    writeAll(file, "[best]\ncleanMs=-5\n");
    PersonalBest best(file);
    err.take();
    EXPECT_TRUE(best.recordFinish(61000, 0));
    EXPECT_EQ(best.bestCleanMs(), 61000);
    EXPECT_NE(readAll(file).indexOf("cleanMs=61000"), -1) << readAll(file).toStdString();
}

// Whatever stands in the record's way is left as it was, and the game keeps its best in memory
// and says so once.
TEST_F(PersonalBestTest, APathThatIsNoRegularFileOrNoFolderIsLeftAloneAndTheBestKeptInMemory) {
    const QString folder = QFileInfo(file).absolutePath();
    const struct {
        const char* what;
        std::function<void()> make;
        QString path;  // what must still be there, as it was
    } cases[] = {
        {"a FIFO", [&] { mkfifo(file.toLocal8Bit(), 0644); }, file},
        {"a FIFO as its lock file",
         [&] {
             writeAll(file, "[best]\ntotalMs=50000\n");
             mkfifo((file + ".lock").toLocal8Bit(), 0644);
         },
         file + ".lock"},
        {"a FIFO as the lock file games take turns at",
         [&] {
             writeAll(file, "[best]\ntotalMs=50000\n");
             mkfifo((file + ".flock").toLocal8Bit(), 0644);
         },
         file + ".flock"},
        {"a link to a device", [&] { QFile::link("/dev/zero", file); }, file},
        {"a file where its folder goes",  // last: it stays
         [&] {
             QDir(folder).removeRecursively();
             writeAll(folder, "not a folder");
         },
         folder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir().mkpath(folder);
        c.make();
        PersonalBest best(file);  // must not wait for a writer
        EXPECT_TRUE(best.recordFinish(40000, 0));
        EXPECT_FALSE(best.recordFinish(45000, 0));
        EXPECT_FALSE(best.saving());
        EXPECT_EQ(best.bestTotalMs(), 40000);
        EXPECT_EQ(lines(err), 1);
        EXPECT_TRUE(QFileInfo::exists(c.path));
        EXPECT_EQ(QFileInfo(c.path).isFile(), c.path == folder);  // a FIFO stays a FIFO
        QDir(folder).removeRecursively();
    }
}

TEST_F(PersonalBestTest, AReadOnlyFileKeepsItsBestAndAnUnreadableOneIsNotWrittenOver) {
    // In a folder the ordinary user can reach, whatever TMPDIR is.
    const QTemporaryDir reachable(QString::fromStdString(ordinaryUserTempBase()) +
                                  "/personalbest_test-XXXXXX");
    ASSERT_TRUE(reachable.isValid());
    const QString record = QDir(reachable.path()).filePath("config/skaldora/skaldora.ini");
    writeAll(record, "[best]\ntotalMs=50000\ncleanMs=50000\n");
    const QString folder = QFileInfo(record).absolutePath();
    // Each mode must take, or the case proves nothing.
    auto setMode = [](const QString& path, mode_t mode) {
        return chmod(QFile::encodeName(path).constData(), mode) == 0;
    };
    // Reachable by the ordinary user, the record's folder and file read-only.
    for (const QString& d : {reachable.path(), QFileInfo(folder).absolutePath(), folder}) {
        ASSERT_TRUE(setMode(d, 0755)) << d.toStdString();
    }
    ASSERT_TRUE(setMode(record, 0444) && setMode(folder, 0555));
    EXPECT_TRUE(asOrdinaryUser(reachable.path().toStdString(), [&] {
        PersonalBest best(record);
        return best.bestTotalMs() == 50000 && best.recordFinish(40000, 0) && !best.saving() &&
               best.bestTotalMs() == 40000 && !best.recordFinish(45000, 0);
    }));
    EXPECT_EQ(keptTotal(record), 50000);

    ASSERT_TRUE(setMode(record, 0000) && setMode(folder, 0755));
    EXPECT_TRUE(asOrdinaryUser(reachable.path().toStdString(), [&] {
        PersonalBest best(record);
        return !best.saving() && best.bestTotalMs() == PersonalBest::none &&
               best.recordFinish(60000, 0);
    }));
    ASSERT_TRUE(setMode(record, 0644));
    EXPECT_EQ(keptTotal(record), 50000);
}

TEST(PersonalBestFile, IsInTheUsersConfigFolder) {
    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString file = PersonalBest::defaultFileName();
    if (saved.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", saved);
    }
    EXPECT_EQ(file, QDir(config.path()).filePath("skaldora/skaldora.ini"));
}

TEST(PersonalBestFile, AnEmptyNameKeepsTheRecordInMemoryOnlyAndSilently) {
    CerrCapture err;
    PersonalBest best{QString()};
    EXPECT_FALSE(best.saving());
    EXPECT_TRUE(best.recordFinish(1000, 0));
    EXPECT_FALSE(best.recordFinish(1000, 0));
    EXPECT_EQ(lines(err), 0);
}

// Games finishing at the same moment, each in a process of its own: each reads the record as it
// starts, then all finish at once. However their saves fall, the record keeps the best of them.
TEST_F(PersonalBestTest, TwoThreeAndTenGamesFinishingAtOnceKeepTheBestOfThem) {
    // On a memory file system where there is one: the saves' flushes to a disk would make the
    // test's run time that of the disk.
    const QTemporaryDir shm(QStringLiteral("/dev/shm/personalbest_test-XXXXXX"));
    const QString folder = shm.isValid() ? shm.path() : dir.path();
    std::mt19937 random(23);
    const QByteArray gateName = QFile::encodeName(QDir(folder).filePath("gate"));
    writeAll(gateName, "");
    const int gate = open(gateName.constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(gate, 0);
    for (const int games : {2, 3, 10}) {
        SCOPED_TRACE(games);
        std::vector<std::unique_ptr<Racer>> racers;
        for (int i = 0; i < games; ++i) {
            racers.push_back(std::make_unique<Racer>());
            ASSERT_TRUE(racers.back()->started());
        }
        int kept = 0;
        for (int trial = 0; trial < 100; ++trial) {
            // A record of its own for each trial, beaten by every game but by different times.
            const QString record = QDir(folder).filePath(
                QStringLiteral("%1-%2/skaldora/skaldora.ini").arg(games).arg(trial));
            writeAll(record, "[best]\ntotalMs=1000\n");
            std::vector<long long> totals;
            while (static_cast<int>(totals.size()) < games) {
                const long long t =
                    trial == 0 && totals.size() < 2
                        ? (totals.empty() ? 950 : 900)
                        : std::uniform_int_distribution<long long>(600, 999)(random);
                if (std::find(totals.begin(), totals.end(), t) == totals.end()) {
                    totals.push_back(t);
                }
            }
            for (auto& r : racers) {
                r->send("read " + record.toLocal8Bit());
            }
            for (auto& r : racers) {
                ASSERT_EQ(r->answer(), "ready");
            }
            // The gate holds every game until all are waiting at it, then lets them go at once.
            ASSERT_EQ(flock(gate, LOCK_EX), 0);
            for (int i = 0; i < games; ++i) {
                racers[i]->send("finish " + QByteArray::number(totals[i]) + ' ' + gateName);
            }
            for (auto& r : racers) {
                ASSERT_EQ(r->answer(), "waiting");
            }
            ASSERT_EQ(flock(gate, LOCK_UN), 0);
            for (auto& r : racers) {
                ASSERT_EQ(r->answer(), "done");
            }
            const long long best = *std::min_element(totals.begin(), totals.end());
            kept += keptTotal(record) == best;
        }
        EXPECT_EQ(kept, 100);
        for (auto& r : racers) {
            EXPECT_EQ(r->errors(), "");
        }
    }
    close(gate);
}

// Saves come faster than the file system's clock ticks (a few milliseconds): a game that read one
// save must still see the next, of the same size, when it finishes. Each step is one game's, in
// turn, each in a process of its own; all of them fit within a tick or two.
TEST_F(PersonalBestTest, AGameSeesASaveMadeWithinTheSameTickAsTheOneItRead) {
    const QTemporaryDir shm(QStringLiteral("/dev/shm/personalbest_test-XXXXXX"));
    const QString folder = shm.isValid() ? shm.path() : dir.path();
    const QByteArray gate = QFile::encodeName(QDir(folder).filePath("gate"));
    writeAll(gate, "");  // never held: each game goes on at once
    Racer first, second, third;
    ASSERT_TRUE(first.started() && second.started() && third.started());
    int kept = 0;
    for (int trial = 0; trial < 50; ++trial) {
        const QByteArray record =
            QFile::encodeName(QDir(folder).filePath(QStringLiteral("%1/skaldora.ini").arg(trial)));
        auto step = [](Racer& r, const QByteArray& line, const char* answer) {
            r.send(line);
            if (QByteArray(answer) == "done") {
                EXPECT_EQ(r.answer(), "waiting");
            }
            EXPECT_EQ(r.answer(), answer);
        };
        step(first, "read " + record, "ready");
        step(third, "read " + record, "ready");
        step(first, "finish 900 " + gate, "done");   // the first save
        step(second, "read " + record, "ready");     // a game starts and reads it
        step(third, "finish 800 " + gate, "done");   // a better save, of the same size
        step(second, "finish 850 " + gate, "done");  // must compare with 800, not 900
        kept += keptTotal(record) == 800;
    }
    EXPECT_EQ(kept, 50);
    EXPECT_EQ(first.errors() + second.errors() + third.errors(), "");
}
