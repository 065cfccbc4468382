// The real game started on damaged data files: each of the six files missing, empty, cut off
// halfway, replaced by garbage or by a FIFO; hostile models that crash or freeze Coin; pictures
// the GL cannot take. The game must print the line for that file (and no other file's), keep
// running and keep drawing; nothing may crash or hang.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "ship/support/gamefiles.h"
#include "ship/support/gameprocess.h"

namespace {

// What stands in the place of one data file, and what the game must say of it.
struct Case {
    std::string name;  // the test's name
    std::string file;  // the damaged file; empty: all six are sound
    enum Kind { Content, Missing, Fifo } kind = Content;
    std::string content = "";  // the file's bytes, for Content
    std::string error = "";    // a part of what the game must write on standard error, if any
    bool read = false;         // a picture read but of no use as a texture: no failure line
    bool eitherWay = false;    // a picture the game may refuse or convert
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
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

// The failure lines the game prints for the damaged file, in order.
std::vector<std::string> expectedLines(const Case& c) {
    if (c.file.empty() || c.read)
        return {};
    if (isModel(c.file)) {
        const std::string kind = c.file.substr(0, c.file.size() - 3);
        std::vector<std::string> lines;
        if (c.kind != Case::Content)
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
    std::vector<Case> cases = {{"AllFiles_None", ""}};
    auto id = [](std::string file, const char* damage) {
        file[file.find('.')] = '_';
        return file + "_" + damage;
    };
    for (const std::string& file : gameFileNames()) {
        const std::string valid = validGameFile(file);
        cases.push_back({id(file, "Missing"), file, Case::Missing});
        cases.push_back({id(file, "Empty"), file, Case::Content, ""});
        cases.push_back(
            {id(file, "Truncated"), file, Case::Content, valid.substr(0, valid.size() / 2)});
        cases.push_back({id(file, "Garbage"), file, Case::Content, garbage(valid.size())});
        cases.push_back({id(file, "Fifo"), file, Case::Fifo, "", "not a regular file (a FIFO)"});
    }
    // A picture of the wrong depth: 8 bits with a palette where 24 are needed. The game may refuse
    // it or convert it, but must not read past the picture's pixels.
    for (const char* file : {"snow16.bmp", "panorama20480256.bmp"}) {
        cases.push_back({id(file, "Depth8"), file, Case::Content, makeBmp8(64, 16)});
        cases.back().eitherWay = true;
    }
    // Models Coin crashes on, freezes on or half reads: refused, the reason on standard error.
    // The finish is drawn from the first frame on, the boarder read anew by every new game.
    const std::string header = "#Inventor V2.1 ascii\n";
    std::string deep = header;
    for (int i = 0; i < 100000; ++i)
        deep += "Group {";
    deep += std::string(100000, '}') + "\n";
    const std::string models[][3] = {
        {"finish.iv", "UsesItself", header + "DEF A Separator { Cube {} USE A }\n"},
        {"boarder.iv", "UsesItself", header + "DEF A Separator { Cube {} USE A }\n"},
        {"start.iv", "IncludesItself", header + "Separator { File { name \"start.iv\" } }\n"},
        {"tree.iv", "DeepNesting", deep},
        {"finish.iv", "HugeIndex",
         header + "Separator {\n  Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n"
                  "  IndexedFaceSet { coordIndex [ 0, 1, 99999999, -1 ] }\n}\n"},
        {"boarder.iv", "BinaryGarbage", "#Inventor V2.1 binary\n" + garbage(300)},
        // Second round: text that overflowed Coin's digit reader, a read that threw
        // std::bad_alloc, a short materialIndex that crashed the first frame, a strip of one
        // vertex whose normals ate memory without end.
        {"finish.iv", "LongNumber", header + "Cube { width " + std::string(2100, '9') + " }\n"},
        {"start.iv", "HugeInlineImage", header + "Texture2 { image 23171 23171 4 0 }\n"},
        {"finish.iv", "ShortMaterialIndex",
         header + "Separator {\n  Material { diffuseColor [1 0 0, 0 1 0] }\n"
                  "  MaterialBinding { value PER_FACE_INDEXED }\n"
                  "  Coordinate3 { point [0 0 0, 1 0 0, 0 1 0, 1 1 0, 2 0 0, 2 1 0] }\n"
                  "  IndexedFaceSet { coordIndex [0, 1, 2, -1, 1, 3, 2, -1, 1, 4, 3, -1,"
                  " 4, 5, 3, -1, 0, 4, 5, -1] materialIndex [0] }\n}\n"},
        {"boarder.iv", "StripOfOne",
         header + "Separator { TriangleStripSet { numVertices [ 1 ] } }\n"},
    };
    for (const auto& [file, damage, content] : models)
        cases.push_back({id(file, damage.c_str()), file, Case::Content, content,
                         "Model " + file + " refused: "});
    // Pictures read but of no use as textures: named on standard error, no failure line.
    const std::string pictures[][3] = {
        {"snow16.bmp", "Wide16385", makeBmp24(16385, 1)},
        {"panorama20480256.bmp", "Wide20000", makeBmp24(20000, 2)},
        {"snow16.bmp", "NoWidth", makeBmp24(0, 4)},
    };
    for (const auto& [file, damage, content] : pictures) {
        cases.push_back({id(file, damage.c_str()), file, Case::Content, content,
                         "Picture " + file + " not used as a texture: "});
        cases.back().read = true;
    }
    // A depth BMP does not define (64 bits, eight bytes a pixel): the reader refuses it.
    cases.push_back({id("panorama20480256.bmp", "EightBytes"), "panorama20480256.bmp",
                     Case::Content, makeBmp(4, 4, 64, 0)});
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
    if (!c.file.empty()) {
        const std::string path = dir + "/" + c.file;
        std::remove(path.c_str());
        if (c.kind == Case::Fifo) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        } else if (c.kind == Case::Content) {
            ASSERT_TRUE(writeFile(dir, c.file, c.content));
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

    if (!(c.eitherWay && failureLines(game.output()).empty())) {
        EXPECT_EQ(failureLines(game.output()), expectedLines(c)) << game.output();
    }
    if (c.file != "snow16.bmp") {
        EXPECT_NE(game.output().find("Success: snow.getHeight = 16"), std::string::npos);
    }
    // A refused model or picture says why on standard error (here in the same console).
    EXPECT_NE(game.output().find(c.error), std::string::npos) << c.error << "\n" << game.output();
    // The scene at the window's left shows more than a cleared background. On a loaded machine
    // (the sanitizer build beside other builds) the first frames may take some seconds more.
    int colours = display->distinctColours(20, 20, 600, 600);
    for (int i = 0; i < 100 && colours <= 1 && game.running(); ++i) {
        sleepSeconds(0.1);
        colours = display->distinctColours(20, 20, 600, 600);
    }
    EXPECT_GT(colours, 1);
    EXPECT_TRUE(game.running()) << game.output();
    game.stop();
}

INSTANTIATE_TEST_SUITE_P(EachFile, DamagedDataFile, testing::ValuesIn(allCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
