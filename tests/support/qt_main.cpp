// Entry point of the game's test binaries: GoogleTest inside a QApplication.
#include <gtest/gtest.h>

#include "support/qt_run.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return runTestsInApplication(argc, argv);
}
