#ifndef DEVICES_SDLLIBRARY_H
#define DEVICES_SDLLIBRARY_H

#include <SDL.h>
#include <SDL_mixer.h>

#include <string>

// SDL 2 and SDL2_mixer are opened the first time a device starts rather than linked to the game:
// the two bring some fifty libraries with them (the mixer's decoders, FluidSynth, PulseAudio,
// JACK, ...), which would otherwise be mapped and relocated before main() on every start, and
// which lengthen every later symbol look-up of the process (the GL driver's among them). The
// devices start only after the first frame. The game's package still depends on both libraries.
//
// Each table holds the functions the devices call, under their SDL names, resolved in the
// library of that soname (the one SDL 2 and SDL2_mixer 2 have always had). A program that links
// SDL itself (the tests) gets the very library it already holds.

#define SKALDORA_SDL_FUNCTIONS(F)      \
    F(SDL_GetError)                    \
    F(SDL_SetHint)                     \
    F(SDL_SetHintWithPriority)         \
    F(SDL_InitSubSystem)               \
    F(SDL_QuitSubSystem)               \
    F(SDL_WasInit)                     \
    F(SDL_Quit)                        \
    F(SDL_RWFromConstMem)              \
    F(SDL_PumpEvents)                  \
    F(SDL_PeepEvents)                  \
    F(SDL_NumJoysticks)                \
    F(SDL_IsGameController)            \
    F(SDL_JoystickGetDeviceInstanceID) \
    F(SDL_JoystickInstanceID)          \
    F(SDL_GameControllerOpen)          \
    F(SDL_GameControllerGetJoystick)   \
    F(SDL_GameControllerName)          \
    F(SDL_GameControllerClose)

#define SKALDORA_MIXER_FUNCTIONS(F) \
    F(Mix_OpenAudioDevice)          \
    F(Mix_CloseAudio)               \
    F(Mix_AllocateChannels)         \
    F(Mix_ReserveChannels)          \
    F(Mix_GroupChannels)            \
    F(Mix_GroupAvailable)           \
    F(Mix_LoadWAV_RW)               \
    F(Mix_FreeChunk)                \
    F(Mix_PlayChannel)              \
    F(Mix_Playing)                  \
    F(Mix_FadeOutChannel)           \
    F(Mix_HaltChannel)              \
    F(Mix_Volume)                   \
    F(Mix_SetPanning)

#define SKALDORA_SDL_POINTER(name) decltype(&::name) name = nullptr;

struct SdlFunctions {
    SKALDORA_SDL_FUNCTIONS(SKALDORA_SDL_POINTER)
};

struct MixerFunctions {
    SKALDORA_MIXER_FUNCTIONS(SKALDORA_SDL_POINTER)
};

#undef SKALDORA_SDL_POINTER

// SDL 2's functions, the library opened on the first call; null when it cannot be opened or
// lacks one of them, and then why in *why (when given). Every later call gives the same answer.
const SdlFunctions* sdlFunctions(std::string* why = nullptr);
// SDL2_mixer's functions, likewise; SDL 2 comes with it.
const MixerFunctions* mixerFunctions(std::string* why = nullptr);

#endif  // DEVICES_SDLLIBRARY_H
