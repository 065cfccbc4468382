// Entry point of the game's test binaries: GoogleTest inside a QApplication.
#include <gtest/gtest.h>
#include <link.h>

#include <Inventor/SoDB.h>
#include <dlfcn.h>
#include <QApplication>
#include <QSurfaceFormat>

namespace {

// Keeps a loaded library mapped until the process ends. The GL driver is unloaded when the
// application closes its display; LeakSanitizer reports at exit and could then neither name the
// driver's leaks nor match them against tests/lsan.supp.
int keepLoaded(dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') {
        dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    }
    return 0;
}

}  // namespace

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
    dl_iterate_phdr(keepLoaded, nullptr);
    return result;
}
