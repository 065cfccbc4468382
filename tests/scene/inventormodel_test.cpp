// readInventorModel end to end: the hostile model files of the game's damage reports, files that
// are not files, and the console lines each gives.
#include "scene/inventormodel.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoSeparator.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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

// What stands in the model's place. A thing that is not a regular file (each kind is in
// datafile_test) counts as a missing one and is never waited on. Coin may complain about what
// follows the scene and hand the scene back: such a model is refused too.
TEST(InventorModel, HostileAndMissingFilesAreRefusedWithTheReadProblemLine) {
    enum Place { File, Missing, Fifo };
    const struct {
        const char* name;
        std::string content;  // written to start.iv
        std::string console;
        const char* reason;  // part of the standard error line, if one is due
        Place place = File;
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
        {"too large", "#Inventor V2.1 ascii\n" + std::string(kMaxModelBytes, ' '), problem,
         "larger than"},
        {"text after the scene", "#Inventor V2.1 ascii\nSeparator { Cube {} } 5\n", problem,
         "outside any node"},
        {"empty", "", problem, "no Inventor text header"},
        {"missing", "", notFound + problem, nullptr, Missing},
        {"FIFO", "", notFound + problem, "not a regular file (a FIFO)", Fifo},
    };
    for (const auto& c : cases) {
        TempWorkDir dir;
        if (c.place == File) {
            writeFile("start.iv", c.content);
        } else if (c.place == Fifo) {
            ASSERT_EQ(mkfifo("start.iv", 0600), 0);
        }
        CoutCapture console;
        CerrCapture errors;
        SoInput input;
        SoSeparator* scene = readInventorModel(input, "start.iv", "start");
        EXPECT_EQ(console.text(), c.console) << c.name;
        EXPECT_EQ(scene == nullptr, !c.console.empty()) << c.name;
        if (c.reason != nullptr) {
            EXPECT_NE(errors.text().find("Model start.iv refused: "), std::string::npos) << c.name;
            EXPECT_NE(errors.text().find(c.reason), std::string::npos)
                << c.name << ": " << errors.text();
        }
        if (scene != nullptr) {
            scene->ref();
            scene->unref();
        }
    }
}

// Every hostile model of the damage reports, read as the game reads it: refused with the read
// problem line and the reason, none crashing Coin's reader or its check.
TEST(InventorModel, EveryHostileModelOfTheCorpusIsRefused) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(MODEL_CORPUS_DIR)) {
        ++files;
        TempWorkDir dir;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        writeFile("start.iv", bytes.str());
        CoutCapture console;
        CerrCapture errors;
        SoInput input;
        EXPECT_EQ(readInventorModel(input, "start.iv", "start"), nullptr) << entry.path();
        EXPECT_EQ(console.text(), problem) << entry.path();
        EXPECT_NE(errors.text().find("Model start.iv refused: "), std::string::npos)
            << entry.path();
    }
    EXPECT_EQ(files, 18);
}

// Coin's reader throws std::bad_alloc on an inline image of more than 2^31 bytes. The scan keeps
// such text from it; should anything else make it throw, the model is refused and the game goes
// on.
TEST(InventorModel, WhatCoinsReaderThrowsRefusesTheModel) {
    const std::string text = "#Inventor V2.1 ascii\nTexture2 { image 23171 23171 4 0 }\n";
    std::string problem;
    SoInput input;
    EXPECT_EQ(readInventorText(input, text, problem), nullptr);
    EXPECT_NE(problem.find("\"Texture2\""), std::string::npos) << problem;
#if !defined(__SANITIZE_ADDRESS__)
    // (AddressSanitizer ends the process on an allocation this large instead of throwing
    // std::bad_alloc, so the sanitizer build cannot watch the catch at work.)
    SoInput unscanned;
    EXPECT_EQ(readUnscannedInventorText(unscanned, text, problem), nullptr);
    EXPECT_EQ(problem, "Coin ran out of memory reading it");
#endif
    // The reader is fit for the next model.
    SoInput next;
    SoSeparator* scene =
        readInventorText(next, "#Inventor V2.1 ascii\nSeparator { Cube {} }\n", problem);
    ASSERT_NE(scene, nullptr) << problem;
    scene->ref();
    scene->unref();
}

// Coin says what it could not read only once in a process; a model it complained about is refused
// at every read all the same (a new game reads the boarder again).
TEST(InventorModel, AModelIsRefusedAtEveryRead) {
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
