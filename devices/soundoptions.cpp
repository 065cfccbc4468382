#include "devices/soundoptions.h"

#include <cstring>

bool soundMuted(int argc, const char* const* argv, const char* muteVariable) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && std::strcmp(argv[i], "--mute") == 0) {
            return true;
        }
    }
    return muteVariable != nullptr && muteVariable[0] != '\0' &&
           std::strcmp(muteVariable, "0") != 0;
}
