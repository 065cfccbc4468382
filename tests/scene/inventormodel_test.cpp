// readInventorModel end to end: the hostile model files of the game's damage reports, files that
// are not files, and the console lines each gives.
#include "scene/inventormodel.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <fstream>
#include <string>

#include "support/game_probe.h"

namespace {

std::string nestedGroups(int depth) {
    std::string text = "#Inventor V2.1 ascii\n";
    for (int i = 0; i < depth; ++i)
        text += "Group {";
    return text + std::string(static_cast<size_t>(depth), '}') + "\n";
}

const std::string notFound = ".iv start file not found: start.iv\n";
const std::string problem = "Problem reading .iv start file: start.iv\n";

}  // namespace

TEST(InventorModel, HostileFilesAreRefusedWithTheReadProblemLine) {
    const struct {
        const char* name;
        std::string content;  // written to start.iv
        std::string console;
        const char* reason;  // part of the standard error line
    } cases[] = {
        {"sound", flatBox(1, 1, 1, Rgb{1, 2, 3}), "", nullptr},
        {"uses itself", "#Inventor V2.1 ascii\nDEF A Separator { Cube {} USE A }\n", problem,
         "holds itself"},
        {"includes itself", "#Inventor V2.1 ascii\nSeparator { File { name \"start.iv\" } }\n",
         problem, "\"File\""},
        {"100000 nested groups", nestedGroups(100000), problem, "deeper than 256"},
        {"index 99999999",
         "#Inventor V2.1 ascii\nSeparator {\n  Coordinate3 { point [0 0 0, 1 0 0, 0 1 0] }\n"
         "  IndexedFaceSet { coordIndex [0, 1, 99999999, -1] }\n}\n",
         problem, "99999999"},
        {"binary garbage", "#Inventor V2.1 binary\n" + std::string("\x7f\x03\x00\x01junk", 8),
         problem, "binary"},
        {"trailing garbage", "#Inventor V2.1 ascii\nSeparator { Cube {} }\nCube {} }\n", problem,
         "a closing brace too many"},
        {"too large", "#Inventor V2.1 ascii\n" + std::string(kMaxModelBytes, ' '), problem,
         "larger than"},
    };
    for (const auto& c : cases) {
        TempWorkDir dir;
        writeFile("start.iv", c.content);
        CoutCapture console;
        CerrCapture errors;
        SoInput input;
        SoSeparator* scene = readInventorModel(input, "start.iv", "start");
        EXPECT_EQ(console.text(), c.console) << c.name;
        EXPECT_EQ(scene == nullptr, c.reason != nullptr) << c.name;
        if (c.reason != nullptr) {
            EXPECT_NE(errors.text().find("Model start.iv refused: "), std::string::npos) << c.name;
            EXPECT_NE(errors.text().find(c.reason), std::string::npos)
                << c.name << ": " << errors.text();
        } else {
            scene->ref();
            scene->unref();
        }
    }
}

// Coin complains about what follows the scene but hands the scene back, and says so only once in
// a process; such a model is refused too, at every read (a new game reads the boarder again).
TEST(InventorModel, ACoinReadErrorRefusesTheModelAtEveryRead) {
    for (const char* text : {"#Inventor V2.1 ascii\nSeparator { Cube {} } 5\n",
                             "#Inventor V2.1 ascii\nSeparator { Cube { width abc } }\n"}) {
        TempWorkDir dir;
        writeFile("start.iv", text);
        for (int read = 1; read <= 2; ++read) {
            CoutCapture console;
            CerrCapture errors;
            SoInput input;
            EXPECT_EQ(readInventorModel(input, "start.iv", "start"), nullptr) << text << read;
            EXPECT_EQ(console.text(), problem) << text << read;
        }
    }
}

// Whatever stands in place of the file, the read returns at once: a thing that is not a regular
// file counts as a missing one.
TEST(InventorModel, NonFilesAreMissingFilesAndNeverWaitedOn) {
    const struct {
        const char* name;
        void (*make)();
        std::string console;
    } cases[] = {
        {"missing", [] {}, notFound + problem},
        {"FIFO", [] { ASSERT_EQ(mkfifo("start.iv", 0600), 0); }, notFound + problem},
        {"link to a FIFO",
         [] {
             ASSERT_EQ(mkfifo("fifo", 0600), 0);
             ASSERT_EQ(symlink("fifo", "start.iv"), 0);
         },
         notFound + problem},
        {"directory", [] { ASSERT_TRUE(QDir().mkdir("start.iv")); }, notFound + problem},
        {"device", [] { ASSERT_EQ(symlink("/dev/zero", "start.iv"), 0); }, notFound + problem},
        {"empty", [] { writeFile("start.iv", ""); }, problem},
        {"under /proc", [] { ASSERT_EQ(symlink("/proc/self/status", "start.iv"), 0); }, problem},
    };
    for (const auto& c : cases) {
        TempWorkDir dir;
        c.make();
        CoutCapture console;
        CerrCapture errors;
        SoInput input;
        EXPECT_EQ(readInventorModel(input, "start.iv", "start"), nullptr) << c.name;
        EXPECT_EQ(console.text(), c.console) << c.name;
    }
}
