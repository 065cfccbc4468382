#include "scene/inventormodel.h"

#include <gtest/gtest.h>

#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoSeparator.h>
#include <unistd.h>

#include <cstring>

#include "scene_test_support.h"

namespace {

const char* kUnlitRedCube =
    "#Inventor V2.1 ascii\n"
    "Separator { LightModel { model BASE_COLOR } BaseColor { rgb 1 0 0 } Cube {} }\n";

// Puts a pipe holding a valid scene on standard input while it lives, so that a reader that
// wrongly falls back to the console would read a scene instead of waiting.
class ScopedSceneOnStdin {
public:
    ScopedSceneOnStdin() : saved_(dup(0)) {
        int fds[2];
        if (pipe(fds) == 0) {
            EXPECT_EQ(write(fds[1], kUnlitRedCube, std::strlen(kUnlitRedCube)),
                      static_cast<ssize_t>(std::strlen(kUnlitRedCube)));
            close(fds[1]);
            dup2(fds[0], 0);
            close(fds[0]);
        }
    }
    ~ScopedSceneOnStdin() {
        dup2(saved_, 0);
        close(saved_);
    }

private:
    int saved_;
};

SoSeparator* read(const char* fileText, std::string& console) {
    ScopedWorkingDir dir(fileText);  // writes "boarder.iv" when given a text
    SoInput input;
    CoutCapture out;
    SoSeparator* scene = readInventorModel(input, "boarder.iv", "tree");
    console = out.text();
    return scene;
}

}  // namespace

TEST(InventorModelRead, AMissingFileIsNeverReadFromTheConsole) {
    ScopedSceneOnStdin stdinHoldsAScene;
    std::string console;
    EXPECT_EQ(read(nullptr, console), nullptr);
    EXPECT_EQ(console,
              ".iv tree file not found: boarder.iv\n"
              "Problem reading .iv tree file: boarder.iv\n");
}

TEST(InventorModelRead, ReportsOnlyAFailedRead) {
    std::string console;
    SoSeparator* scene = read(kUnlitRedCube, console);
    ASSERT_NE(scene, nullptr);
    scene->ref();
    EXPECT_EQ(scene->getNumChildren(), 3);
    scene->unref();
    EXPECT_EQ(console, "");

    EXPECT_EQ(read("#Inventor V2.1 ascii\nSeparator { Cube { width ", console), nullptr);
    EXPECT_EQ(console, "Problem reading .iv tree file: boarder.iv\n");
}
