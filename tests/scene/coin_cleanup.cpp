// Linked into the scene tests that draw through Coin. Once every test has run it frees Coin's own
// globals, and it keeps the GL driver loaded until the process ends so that LeakSanitizer can name
// the driver's allocations (and the suppression list can match them) instead of reporting an
// unknown module.
#include <gtest/gtest.h>

#include <Inventor/SoDB.h>
#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace {

int pinGlDriver(dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "_dri.so") != nullptr) {
        // Loaded already: this only marks it never to be unloaded.
        dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
    return 0;
}

class CoinCleanup : public testing::Environment {
public:
    void TearDown() override {
        dl_iterate_phdr(pinGlDriver, nullptr);
        if (SoDB::isInitialized()) {
            SoDB::finish();
        }
    }
};

const testing::Environment* const registered = testing::AddGlobalTestEnvironment(new CoinCleanup);

}  // namespace
