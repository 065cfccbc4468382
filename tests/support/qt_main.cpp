// Entry point of the game's test binaries: GoogleTest inside a QApplication.
#include <gtest/gtest.h>

#include <Inventor/SoDB.h>
#include <QApplication>
#include <QSurfaceFormat>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    if (SoDB::isInitialized()) {
        SoDB::finish();  // frees Coin's own globals, which LeakSanitizer would report
    }
    return result;
}
