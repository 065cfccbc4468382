#include "devices/soundoptions.h"

#include <strings.h>

#include <cstring>
#include <initializer_list>

bool soundMuted(int argc, const char* const* argv, const char* muteVariable) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && std::strcmp(argv[i], "--mute") == 0) {
            return true;
        }
    }
    if (muteVariable == nullptr) {
        return false;
    }
    for (const char* off : {"", "0", "false", "no", "off"}) {
        if (strcasecmp(muteVariable, off) == 0) {
            return false;
        }
    }
    return true;
}
