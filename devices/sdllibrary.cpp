#include "devices/sdllibrary.h"

#include <dlfcn.h>

namespace {

template <class Table>
struct Opened {
    Table functions;
    bool complete = false;
    std::string why;
};

// Opens the library of that soname, for good: SDL's threads and exit handlers live in it.
void* openLibrary(const char* soname, std::string& why) {
    void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        why = error != nullptr ? error : std::string(soname) + " cannot be opened";
    }
    return handle;
}

template <class Function>
bool resolve(void* handle, const char* name, Function& function, std::string& why) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    if (function == nullptr && why.empty()) {
        why = std::string(name) + " missing from its library";
    }
    return function != nullptr;
}

#define SKALDORA_SDL_RESOLVE(name) \
    complete &= resolve(handle, #name, opened.functions.name, opened.why);

bool resolveAll(void* handle, Opened<SdlFunctions>& opened) {
    bool complete = true;
    SKALDORA_SDL_FUNCTIONS(SKALDORA_SDL_RESOLVE)
    return complete;
}

bool resolveAll(void* handle, Opened<MixerFunctions>& opened) {
    bool complete = true;
    SKALDORA_MIXER_FUNCTIONS(SKALDORA_SDL_RESOLVE)
    return complete;
}

#undef SKALDORA_SDL_RESOLVE

template <class Table>
Opened<Table> openTable(const char* soname) {
    Opened<Table> opened;
    if (void* handle = openLibrary(soname, opened.why)) {
        opened.complete = resolveAll(handle, opened);
    }
    return opened;
}

template <class Table>
const Table* answer(const Opened<Table>& opened, std::string* why) {
    if (!opened.complete) {
        if (why != nullptr) {
            *why = opened.why;
        }
        return nullptr;
    }
    return &opened.functions;
}

}  // namespace

const SdlFunctions* sdlFunctions(std::string* why) {
    static const Opened<SdlFunctions> opened = openTable<SdlFunctions>("libSDL2-2.0.so.0");
    return answer(opened, why);
}

const MixerFunctions* mixerFunctions(std::string* why) {
    static const Opened<MixerFunctions> opened =
        openTable<MixerFunctions>("libSDL2_mixer-2.0.so.0");
    return answer(opened, why);
}
