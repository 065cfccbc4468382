// The run record and its file: a run saved and read back is the same run; every kind of file the
// game must refuse is refused with one line on standard error and, when it is the player's own,
// moved aside; the run's position between its steps. No display: plain GoogleTest.
#include "app/runrecord.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "app/runrecordfile.h"
#include "support/fd_capture.h"

namespace {

RunRecord sampleRun() {
    RunRecord run;
    run.runMs = 21450;
    run.gateFailures = 1;
    run.totalMs = 26450;
    run.steps = {{0, 171.5f, -12.25f, 10.0f, 10.0f},
                 {30, 172.0f, -12.5f, 10.0f, 10.0f},
                 {80, 175.0f, -13.0f, 0.0f, 60.0f},
                 {80, 178.0f, -13.0f, -10.0f, 60.0f},
                 {130, 181.0f, -12.5f, -10.0f, 60.0f}};
    run.gates = {{0, 950, false}, {1, 1800, true}, {3, 3000, false}};
    return run;
}

void expectSame(const RunRecord& a, const RunRecord& b) {
    EXPECT_EQ(a.runMs, b.runMs);
    EXPECT_EQ(a.gateFailures, b.gateFailures);
    EXPECT_EQ(a.totalMs, b.totalMs);
    ASSERT_EQ(a.steps.size(), b.steps.size());
    for (size_t i = 0; i < a.steps.size(); ++i) {
        EXPECT_EQ(a.steps[i].ms, b.steps[i].ms);
        EXPECT_EQ(a.steps[i].x, b.steps[i].x);
        EXPECT_EQ(a.steps[i].z, b.steps[i].z);
        EXPECT_EQ(a.steps[i].heading, b.steps[i].heading);
        EXPECT_EQ(a.steps[i].speed, b.steps[i].speed);
    }
    ASSERT_EQ(a.gates.size(), b.gates.size());
    for (size_t i = 0; i < a.gates.size(); ++i) {
        EXPECT_EQ(a.gates[i].gate, b.gates[i].gate);
        EXPECT_EQ(a.gates[i].ms, b.gates[i].ms);
        EXPECT_EQ(a.gates[i].wrongSide, b.gates[i].wrongSide);
    }
}

void putU32(std::string& bytes, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xffu);
    }
}

void putF32(std::string& bytes, size_t at, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    putU32(bytes, at, bits);
}

// Writes a fresh checksum at the end, so that a change reaches the value checks.
void reseal(std::string& bytes) {
    putU32(bytes, bytes.size() - 4,
           crc32(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size() - 4));
}

// Offsets in the encoding of sampleRun (see the format in runrecord.h).
constexpr size_t stepAt(size_t i) {
    return 36 + 20 * i;
}
constexpr size_t gateAt(size_t i) {
    return 36 + 20 * 5 + 12 * i;
}

RunFileStatus decode(const std::string& bytes, std::string* why = nullptr) {
    RunRecord run = sampleRun();
    run.runMs = 7;
    const RunFileStatus status = decodeRun(bytes, run, why);
    if (status != RunFileStatus::Read) {
        EXPECT_EQ(run.runMs, 7) << "a refused file changed the record";
    }
    return status;
}

}  // namespace

TEST(RunRecord, EncodedAndDecodedIsTheSameRun) {
    RunRecord back;
    ASSERT_EQ(decodeRun(encodeRun(sampleRun()), back), RunFileStatus::Read);
    expectSame(sampleRun(), back);
}

// The bytes of a version 1 file, written out by hand: any build reading version 1 reads them.
TEST(RunRecord, ReadsTheDocumentedLayout) {
    std::string bytes = "SKALDRUN";
    auto u32 = [&bytes](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    u32(1);           // version
    u32(12345);       // run ms
    u32(0);           // failures
    u32(12345);       // total, low word
    u32(0);           // total, high word
    u32(1);           // steps
    u32(1);           // gates
    u32(0);           // step: ms
    u32(0x43340000);  // x = 180.0
    u32(0xC1200000);  // z = -10.0
    u32(0x41200000);  // heading = 10.0
    u32(0x42C80000);  // speed = 100.0
    u32(9);           // gate 9
    u32(12000);       // at 12000 ms
    u32(1);           // wrong side
    u32(0);           // checksum, set below
    reseal(bytes);
    RunRecord run;
    ASSERT_EQ(decodeRun(bytes, run), RunFileStatus::Read);
    EXPECT_EQ(run.totalMs, 12345);
    EXPECT_EQ(run.steps[0].x, 180.0f);
    EXPECT_EQ(run.steps[0].z, -10.0f);
    EXPECT_EQ(run.steps[0].speed, 100.0f);
    EXPECT_EQ(run.gates[0].gate, 9);
    EXPECT_TRUE(run.gates[0].wrongSide);
    // And what this build writes is byte for byte that layout.
    EXPECT_EQ(encodeRun(run), bytes);
}

TEST(RunRecord, Crc32IsZlibs) {
    const char* text = "123456789";
    EXPECT_EQ(crc32(reinterpret_cast<const unsigned char*>(text), 9), 0xCBF43926u);
}

// ---- refusals: each case starts from a valid encoding and breaks one thing -------------------

TEST(RunRecordRefusal, CutShortAtEveryLength) {
    const std::string bytes = encodeRun(sampleRun());
    for (size_t n = 0; n < bytes.size(); ++n) {
        const RunFileStatus s = decode(bytes.substr(0, n));
        EXPECT_NE(s, RunFileStatus::Read) << n;
        if (n >= 40) {
            EXPECT_EQ(s, RunFileStatus::CutShort) << n;
        }
    }
}

TEST(RunRecordRefusal, BytesAfterTheEnd) {
    EXPECT_EQ(decode(encodeRun(sampleRun()) + '\0'), RunFileStatus::Damaged);
}

TEST(RunRecordRefusal, WrongMagicOrChecksum) {
    std::string bytes = encodeRun(sampleRun());
    bytes[3] = 'X';
    EXPECT_EQ(decode(bytes), RunFileStatus::NotARunFile);
    bytes = encodeRun(sampleRun());
    bytes[stepAt(2) + 5] ^= 0x01;  // one bit of a step's x
    std::string why;
    EXPECT_EQ(decode(bytes, &why), RunFileStatus::Damaged);
    EXPECT_NE(why.find("checksum"), std::string::npos) << why;
}

TEST(RunRecordRefusal, OtherVersionsAndANewerOneSaysSo) {
    std::string bytes = encodeRun(sampleRun());
    putU32(bytes, 8, 2);
    std::string why;
    EXPECT_EQ(decode(bytes, &why), RunFileStatus::NewerVersion);
    EXPECT_EQ(why, "is of format version 2, newer than this game reads (1)");
    // A newer version may lay out the rest otherwise: its length says nothing.
    EXPECT_EQ(decode(bytes.substr(0, 12)), RunFileStatus::NewerVersion);
    putU32(bytes, 8, 0);
    EXPECT_EQ(decode(bytes, &why), RunFileStatus::OtherVersion);
}

TEST(RunRecordRefusal, LargerThanFourMegabytes) {
    std::string bytes = encodeRun(sampleRun());
    bytes.resize(5 * 1024 * 1024);
    EXPECT_EQ(decode(bytes), RunFileStatus::TooLarge);
}

TEST(RunRecordRefusal, TimesRunningBackwards) {
    std::string bytes = encodeRun(sampleRun());
    putU32(bytes, stepAt(3), 79);  // before the step at 80
    reseal(bytes);
    std::string why;
    EXPECT_EQ(decode(bytes, &why), RunFileStatus::Damaged);
    EXPECT_NE(why.find("backwards"), std::string::npos) << why;

    bytes = encodeRun(sampleRun());
    putU32(bytes, gateAt(2) + 4, 1799);  // gate 3 before gate 1
    reseal(bytes);
    EXPECT_EQ(decode(bytes), RunFileStatus::Damaged);

    bytes = encodeRun(sampleRun());
    putU32(bytes, stepAt(0), static_cast<std::uint32_t>(-1));  // a negative time
    reseal(bytes);
    EXPECT_EQ(decode(bytes), RunFileStatus::Damaged);
}

TEST(RunRecordRefusal, NumbersThatAreNotFinite) {
    for (size_t field = 4; field <= 16; field += 4) {
        for (float bad :
             {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
              -std::numeric_limits<float>::infinity()}) {
            std::string bytes = encodeRun(sampleRun());
            putF32(bytes, stepAt(1) + field, bad);
            reseal(bytes);
            std::string why;
            EXPECT_EQ(decode(bytes, &why), RunFileStatus::Damaged) << field;
            if (field < 16) {
                EXPECT_NE(why.find("not finite"), std::string::npos) << why;
            }
        }
    }
}

TEST(RunRecordRefusal, CountsAndValuesOutOfRange) {
    struct Case {
        const char* what;
        size_t at;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"no steps", 28, 0},
        {"more steps than a file can hold", 28, RunRecord::maxSteps + 1},
        {"a step count near 2^32", 28, 0xFFFFFFFFu},
        {"eleven gates", 32, 11},
        {"a gate count near 2^32", 32, 0xFFFFFFFFu},
        {"a negative run time", 12, 0xFFFFFFFFu},
        {"eleven failures", 16, 11},
        {"gate index 10", gateAt(2), 10},
        {"a gate index repeated", gateAt(1), 0},
        {"a wrong-side flag of 2", gateAt(0) + 8, 2},
    };
    for (const Case& c : cases) {
        std::string bytes = encodeRun(sampleRun());
        putU32(bytes, c.at, c.value);
        reseal(bytes);
        EXPECT_NE(decode(bytes), RunFileStatus::Read) << c.what;
    }
    std::string bytes = encodeRun(sampleRun());
    putF32(bytes, stepAt(4) + 16, 100.5f);  // faster than the boarder goes
    reseal(bytes);
    EXPECT_EQ(decode(bytes), RunFileStatus::Damaged);
}

// ---- the position between steps ---------------------------------------------------------------

TEST(RunRecordAt, BetweenTwoStepsOnTheLineFromOneToTheOther) {
    const RunRecord run = sampleRun();
    const RunStep s = run.at(105);  // half-way from the step at 80 (the later of two) to 130
    EXPECT_FLOAT_EQ(s.x, 179.5f);
    EXPECT_FLOAT_EQ(s.z, -12.75f);
    EXPECT_FLOAT_EQ(s.heading, -10.0f);
    const RunStep q = run.at(15);
    EXPECT_FLOAT_EQ(q.x, 171.75f);
    EXPECT_FLOAT_EQ(q.z, -12.375f);
}

TEST(RunRecordAt, OnAStepBeforeTheFirstAndAfterTheLast) {
    const RunRecord run = sampleRun();
    EXPECT_FLOAT_EQ(run.at(30).x, 172.0f);
    EXPECT_FLOAT_EQ(run.at(80).x, 178.0f);  // of two steps at one time, the later
    EXPECT_FLOAT_EQ(run.at(-500).x, 171.5f);
    EXPECT_FLOAT_EQ(run.at(130).x, 181.0f);
    EXPECT_FLOAT_EQ(run.at(1000000).x, 181.0f);  // stays where it ended
}

// ---- files on disk -----------------------------------------------------------------------------

class RunRecordFile : public ::testing::Test {
protected:
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    static void write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static bool exists(const std::string& path) {
        struct stat info;
        return ::lstat(path.c_str(), &info) == 0;
    }
    static int lineCount(const std::string& text) {
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    // Loads the player's own file at p, which must be refused, moved aside and told in one line.
    void expectMovedAside(const std::string& p, const char* words) {
        FdCapture err(2);
        bool moved = false;
        EXPECT_FALSE(loadRunFile(p, RefusedRunFile::MoveAside, &moved).has_value());
        const std::string said = err.text();
        EXPECT_EQ(lineCount(said), 1) << said;
        EXPECT_NE(said.find(words), std::string::npos) << said;
        EXPECT_NE(said.find(p + ".damaged"), std::string::npos) << said;
        EXPECT_TRUE(moved);
        EXPECT_FALSE(exists(p));
        EXPECT_TRUE(exists(p + ".damaged"));
    }

    QTemporaryDir dir;
};

TEST_F(RunRecordFile, SavedAndLoadedIsTheSameRun) {
    const std::string p = path("data/skaldora/best.run");  // the folders are made
    ASSERT_TRUE(saveRunFile(p, sampleRun()));
    const auto back = loadRunFile(p, RefusedRunFile::MoveAside);
    ASSERT_TRUE(back.has_value());
    expectSame(sampleRun(), *back);
    // Saved again over it, whole: no temporary file is left beside it.
    RunRecord better = sampleRun();
    better.totalMs = 20000;
    ASSERT_TRUE(saveRunFile(p, better));
    EXPECT_EQ(loadRunFile(p, RefusedRunFile::MoveAside)->totalMs, 20000);
    EXPECT_EQ(QDir(dir.filePath("data/skaldora")).entryList(QDir::Files).size(), 1);
}

TEST_F(RunRecordFile, MissingIsNoRunSaidOnlyWhenAskedForByName) {
    {
        FdCapture err(2);
        EXPECT_FALSE(loadRunFile(path("none.run"), RefusedRunFile::MoveAside).has_value());
        EXPECT_EQ(err.text(), "");
    }
    FdCapture err(2);
    EXPECT_FALSE(loadRunFile(path("none.run"), RefusedRunFile::LeaveAlone).has_value());
    const std::string said = err.text();
    EXPECT_EQ(lineCount(said), 1) << said;
    EXPECT_NE(said.find("does not exist"), std::string::npos) << said;
}

TEST_F(RunRecordFile, CutShortIsMovedAside) {
    const std::string p = path("best.run");
    write(p, encodeRun(sampleRun()).substr(0, 60));
    expectMovedAside(p, "cut short");
}

TEST_F(RunRecordFile, NewerVersionIsMovedAsideSayingSo) {
    const std::string p = path("best.run");
    std::string bytes = encodeRun(sampleRun());
    putU32(bytes, 8, 3);
    write(p, bytes);
    expectMovedAside(p, "format version 3, newer than this game reads (1)");
}

TEST_F(RunRecordFile, FiveMegabytesIsMovedAsideUnread) {
    const std::string p = path("best.run");
    write(p, encodeRun(sampleRun()) + std::string(5 * 1024 * 1024, 'x'));
    expectMovedAside(p, "larger than 4194304 bytes");
}

TEST_F(RunRecordFile, BackwardsTimesAndNotFiniteAreMovedAside) {
    std::string bytes = encodeRun(sampleRun());
    putU32(bytes, stepAt(4), 10);
    reseal(bytes);
    write(path("backwards.run"), bytes);
    expectMovedAside(path("backwards.run"), "backwards");

    bytes = encodeRun(sampleRun());
    putF32(bytes, stepAt(2) + 4, std::numeric_limits<float>::quiet_NaN());
    reseal(bytes);
    write(path("nan.run"), bytes);
    expectMovedAside(path("nan.run"), "not finite");
}

TEST_F(RunRecordFile, AFifoIsMovedAsideWithoutBlocking) {
    const std::string p = path("best.run");
    ASSERT_EQ(mkfifo(p.c_str(), 0600), 0);
    expectMovedAside(p, "FIFO");
}

TEST_F(RunRecordFile, AFolderIsMovedAside) {
    const std::string p = path("best.run");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(p + "/inside")));
    expectMovedAside(p, "directory");
    EXPECT_TRUE(exists(p + ".damaged/inside"));  // nothing in it lost
}

TEST_F(RunRecordFile, AsideNamesAreNeverWrittenOver) {
    const std::string p = path("best.run");
    write(p + ".damaged", "older");
    write(p, "newer");
    FdCapture err(2);
    EXPECT_FALSE(loadRunFile(p, RefusedRunFile::MoveAside).has_value());
    EXPECT_NE(err.text().find(p + ".damaged-2"), std::string::npos);
    std::ifstream older(p + ".damaged");
    std::string kept((std::istreambuf_iterator<char>(older)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "older");
}

TEST_F(RunRecordFile, SomeoneElsesFileIsLeftAlone) {
    const std::string p = path("friend.run");
    write(p, "not a run");
    FdCapture err(2);
    bool moved = true;
    EXPECT_FALSE(loadRunFile(p, RefusedRunFile::LeaveAlone, &moved).has_value());
    const std::string said = err.text();
    EXPECT_EQ(lineCount(said), 1) << said;
    EXPECT_NE(said.find("is not a run file"), std::string::npos) << said;
    EXPECT_FALSE(moved);
    EXPECT_TRUE(exists(p));
}

TEST_F(RunRecordFile, SavingWhereAFolderStandsFailsAndSaysSo) {
    const std::string p = path("best.run");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(p)));
    FdCapture err(2);
    EXPECT_FALSE(saveRunFile(p, sampleRun()));
    EXPECT_EQ(lineCount(err.text()), 1);
}
