// The real game started on damaged data files: each of the six files missing, empty, cut off
// halfway or replaced by garbage. The game must print the line for that file (and no other
// file's), keep running and keep drawing; nothing may crash or hang.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ship/support/gamefiles.h"
#include "ship/support/gameprocess.h"

namespace {

enum class Damage { None, Missing, Empty, Truncated, Garbage, Depth8 };

const char* damageName(Damage d) {
    switch (d) {
        case Damage::None:
            return "None";
        case Damage::Missing:
            return "Missing";
        case Damage::Empty:
            return "Empty";
        case Damage::Truncated:
            return "Truncated";
        case Damage::Garbage:
            return "Garbage";
        case Damage::Depth8:
            return "Depth8";
    }
    return "";
}

struct Case {
    std::string file;
    Damage damage;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.file << " " << damageName(c.damage);
}

// Bytes with no structure: a fixed linear congruential sequence, the size of the valid file.
std::string garbage(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
    }
    bytes[0] = 'x';  // never a "BM" or "#Inventor" start by chance
    return bytes;
}

bool isModel(const std::string& file) {
    return file.size() > 3 && file.substr(file.size() - 3) == ".iv";
}

// The failure lines the game prints for file damaged by damage, in order.
std::vector<std::string> expectedLines(const Case& c) {
    if (c.damage == Damage::None)
        return {};
    if (isModel(c.file)) {
        const std::string kind = c.file.substr(0, c.file.size() - 3);
        std::vector<std::string> lines;
        if (c.damage == Damage::Missing)
            lines.push_back(".iv " + kind + " file not found: " + c.file);
        lines.push_back("Problem reading .iv " + kind + " file: " + c.file);
        return lines;
    }
    if (c.file == "snow16.bmp")
        return {"The Snow Texture couldn't be loaded."};
    return {"The Panorama couldn't be loaded."};
}

// The lines of output that report a data file the game could not read.
std::vector<std::string> failureLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("not found") != std::string::npos ||
            line.find("Problem reading") != std::string::npos ||
            line.find("couldn't be loaded") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<Case> allCases() {
    std::vector<Case> cases = {{"", Damage::None}};
    for (const std::string& file : gameFileNames()) {
        for (Damage d : {Damage::Missing, Damage::Empty, Damage::Truncated, Damage::Garbage}) {
            cases.push_back({file, d});
        }
    }
    // A sound BMP of the wrong depth: 8 bits with a palette where 24 are needed. The game may
    // refuse it or convert it, but must not read past the picture's pixels.
    cases.push_back({"snow16.bmp", Damage::Depth8});
    cases.push_back({"panorama20480256.bmp", Damage::Depth8});
    return cases;
}

class DamagedDataFile : public testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { display = new VirtualDisplay; }
    static void TearDownTestSuite() {
        delete display;
        display = nullptr;
    }
    void SetUp() override { dir = makeTempDir("skaldora-fault"); }
    void TearDown() override { removeTree(dir); }

    static VirtualDisplay* display;
    std::string dir;
};

VirtualDisplay* DamagedDataFile::display = nullptr;

TEST_P(DamagedDataFile, IsReportedAndTheGameKeepsDrawing) {
    ASSERT_FALSE(display->name().empty()) << "Xvfb could not be started";
    ASSERT_FALSE(dir.empty());
    const Case& c = GetParam();
    ASSERT_TRUE(writeGameFiles(dir));
    if (c.damage != Damage::None) {
        const std::string valid = validGameFile(c.file);
        const std::string path = dir + "/" + c.file;
        switch (c.damage) {
            case Damage::Missing:
                std::remove(path.c_str());
                break;
            case Damage::Empty:
                writeFile(dir, c.file, "");
                break;
            case Damage::Truncated:
                writeFile(dir, c.file, valid.substr(0, valid.size() / 2));
                break;
            case Damage::Garbage:
                writeFile(dir, c.file, garbage(valid.size()));
                break;
            case Damage::Depth8:
                writeFile(dir, c.file, makeBmp8(64, 16));
                break;
            case Damage::None:
                break;
        }
    }

    GameProcess game(SKALDORA_GAME_PATH, dir, display->name());
    ASSERT_TRUE(game.started());
    // The panorama's line, good or bad, is the last of the GL set-up: the window is up by then.
    const bool setUp =
        game.waitForOutput({"Success: panorama.getHeight", "The Panorama couldn't be loaded."}, 30);
    ASSERT_TRUE(setUp) << "no panorama line: the game hung or ended\n" << game.output();
    sleepSeconds(1.0);  // twenty ticks of the 50 ms timer, each drawing a frame
    ASSERT_TRUE(game.running()) << "the game ended, wait status " << game.waitStatus() << "\n"
                                << game.output();

    if (c.damage == Damage::Depth8 && failureLines(game.output()).empty()) {
        SUCCEED() << "the 8-bit picture was accepted";
    } else {
        EXPECT_EQ(failureLines(game.output()), expectedLines(c)) << game.output();
    }
    if (c.file != "snow16.bmp") {
        EXPECT_NE(game.output().find("Success: snow.getHeight = 16"), std::string::npos);
    }
    // The scene at the window's left shows more than a cleared background.
    EXPECT_GT(display->distinctColours(20, 20, 600, 600), 1);
    game.stop();
}

INSTANTIATE_TEST_SUITE_P(EachFile, DamagedDataFile, testing::ValuesIn(allCases()),
                         [](const testing::TestParamInfo<Case>& info) {
                             std::string name =
                                 info.param.file.empty() ? "AllFiles" : info.param.file;
                             for (char& ch : name) {
                                 if (ch == '.')
                                     ch = '_';
                             }
                             return name + "_" + damageName(info.param.damage);
                         });

}  // namespace
