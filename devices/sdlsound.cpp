#include "devices/sdlsound.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "devices/sdllibrary.h"
#include "devices/wavfile.h"
#include "files/datafile.h"

namespace {

constexpr int kChannels = 16;
constexpr int kWindChannel = 0;
constexpr int kFirstCarveChannel = 1;  // and the next one
constexpr int kReservedChannels = 3;   // wind and the two carve channels
constexpr int kCueGroup = 1;           // the channels of every other cue
constexpr int kCarveFadeMs = 50;       // shorter than the rules' gap between carves
// Far more than any cue needs (the longest is a few hundred kilobytes), small enough that a
// wrong file cannot take much memory.
constexpr long long kMaxFileBytes = 4 * 1024 * 1024;
// A cue in the mixer's format (16-bit stereo) is at most a minute long, 10.6 MB: fifteen times the
// longest of ours (the wind's 4 s loop), and what a file may cost however it states its length.
constexpr int kMixFrameBytes = 4;
constexpr long long kMaxDecodedBytes = 60LL * SdlSound::kRate * kMixFrameBytes;

// Sends standard error to /dev/null while it lives. ALSA and other audio back ends print a page
// of diagnostics when there is no device; the game says it in one line of its own instead.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) {
            dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            close(null);
        }
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

// Reads a whole sound file into bytes through the game's file check: only a regular file of 1 byte
// to kMaxFileBytes is read; anything else in its place (a FIFO, a device, a folder) is refused
// without waiting on it. Returns an empty string, or why the file cannot be used.
std::string readFile(const std::string& path, std::string& bytes) {
    switch (readDataFile(path.c_str(), kMaxFileBytes, bytes)) {
        case DataFileStatus::Read:
            return bytes.empty() ? "empty" : "";
        case DataFileStatus::Missing:
            return "missing";
        case DataFileStatus::NotRegular:
            return "not a regular file";
        case DataFileStatus::TooLarge:
            return "too large";
        case DataFileStatus::Unreadable:
            return "cannot be read";
    }
    return "cannot be read";
}

// Reads one WAV file into a chunk in the mixer's format. Null, and why, when it cannot be used.
Mix_Chunk* loadWav(const SdlFunctions& sdl, const MixerFunctions& mix, const std::string& path,
                   std::string& why) {
    std::string bytes;
    why = readFile(path, bytes);
    if (why.empty()) {
        why = checkWavFile(bytes, SdlSound::kRate, kMixFrameBytes, kMaxDecodedBytes);
    }
    if (!why.empty()) {
        return nullptr;
    }
    SDL_RWops* source = sdl.SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    Mix_Chunk* chunk = source != nullptr ? mix.Mix_LoadWAV_RW(source, 1) : nullptr;
    if (chunk == nullptr) {
        why = sdl.SDL_GetError();
        return nullptr;
    }
    if (chunk->alen == 0) {
        mix.Mix_FreeChunk(chunk);
        why = "holds no sound";
        return nullptr;
    }
    return chunk;
}

int mixVolume(float volume) {
    if (!(volume > 0.0f)) {  // also NaN
        return 0;
    }
    return static_cast<int>(std::lround(std::min(volume, 1.0f) * MIX_MAX_VOLUME));
}

// Balance: the far side is turned down, the near side stays as it is.
void setPan(const MixerFunctions& mix, int channel, float pan) {
    pan = std::isnan(pan) ? 0.0f : std::clamp(pan, -1.0f, 1.0f);
    if (pan == 0.0f) {
        mix.Mix_SetPanning(channel, 255, 255);  // removes the effect
        return;
    }
    const auto left = static_cast<Uint8>(std::lround(255.0f * std::min(1.0f, 1.0f - pan)));
    const auto right = static_cast<Uint8>(std::lround(255.0f * std::min(1.0f, 1.0f + pan)));
    mix.Mix_SetPanning(channel, left, right);
}

}  // namespace

SdlSound::SdlSound(const std::string& folder, bool muted) {
    if (muted) {
        return;
    }
    std::string missing;
    sdl_ = sdlFunctions(&missing);
    mix_ = sdl_ != nullptr ? mixerFunctions(&missing) : nullptr;
    if (mix_ == nullptr) {
        sdl_ = nullptr;
        std::cerr << "Skaldora: no sound: SDL's libraries could not be opened (" << missing << ")"
                  << std::endl;
        return;
    }
    // SDL too refuses a WAV whose data chunk claims more than the file holds, rather than
    // playing what there is (checkWavFile already turns such files away).
    sdl_->SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "strict");
    sdl_->SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Skaldora");
    // Ctrl+C and the window system's requests stay with the toolkit.
    sdl_->SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");

    std::string failure;
    {
        QuietStderr quiet;
        if (sdl_->SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            failure = sdl_->SDL_GetError();
        } else if (mix_->Mix_OpenAudioDevice(kRate, AUDIO_S16SYS, 2, kBlockFrames, nullptr, 0) !=
                   0) {
            failure = sdl_->SDL_GetError();
            sdl_->SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }
    if (!failure.empty()) {
        std::cerr << "Skaldora: no sound: no audio device could be opened (" << failure << ")"
                  << std::endl;
        return;
    }
    open_ = true;

    mix_->Mix_AllocateChannels(kChannels);
    mix_->Mix_ReserveChannels(kReservedChannels);
    mix_->Mix_GroupChannels(kReservedChannels, kChannels - 1, kCueGroup);
    loadFiles(folder);
    if (wind_ != nullptr) {
        mix_->Mix_Volume(kWindChannel, 0);
        mix_->Mix_PlayChannel(kWindChannel, wind_, -1);
    }
}

SdlSound::~SdlSound() {
    if (!open_) {
        return;
    }
    mix_->Mix_HaltChannel(-1);
    for (Mix_Chunk*& chunk : cues_) {
        mix_->Mix_FreeChunk(chunk);
        chunk = nullptr;
    }
    mix_->Mix_FreeChunk(wind_);
    mix_->Mix_CloseAudio();
    sdl_->SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (sdl_->SDL_WasInit(0) == 0) {
        sdl_->SDL_Quit();  // the last SDL user frees SDL's own state
    }
}

void SdlSound::loadFiles(const std::string& folder) {
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::cerr << "Skaldora: sound files missing, left silent: no folder " << folder
                  << std::endl;
        return;
    }
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    std::string problems;
    auto load = [&](const char* name) -> Mix_Chunk* {
        std::string why;
        Mix_Chunk* chunk = loadWav(*sdl_, *mix_, prefix + name, why);
        if (chunk == nullptr) {
            problems += (problems.empty() ? "" : ", ") + prefix + name + " (" + why + ")";
        }
        return chunk;
    };
    for (int i = 0; i < kCueCount; ++i) {
        cues_[i] = load(cueFileName(static_cast<Cue>(i)));
    }
    wind_ = load(kWindFileName);
    if (!problems.empty()) {
        std::cerr << "Skaldora: sound files missing or damaged, left silent: " << problems
                  << std::endl;
    }
}

bool SdlSound::hasCue(Cue cue) const {
    const int i = static_cast<int>(cue);
    return i >= 0 && i < kCueCount && cues_[i] != nullptr;
}

void SdlSound::play(const CuePlay& cue) {
    if (!open_ || !hasCue(cue.cue)) {
        return;
    }
    int channel;
    if (cue.cue == Cue::Carve) {
        channel = kFirstCarveChannel + nextCarve_;
        if (mix_->Mix_Playing(channel) != 0) {
            return;  // still fading out: swishes come faster than the fade; a cut would click
        }
        const int previous = kFirstCarveChannel + (1 - nextCarve_);
        nextCarve_ = 1 - nextCarve_;
        if (mix_->Mix_Playing(previous) != 0) {
            mix_->Mix_FadeOutChannel(previous, kCarveFadeMs);
        }
    } else {
        channel = mix_->Mix_GroupAvailable(kCueGroup);
        if (channel < 0) {
            return;  // every cue channel busy: one more cue would not be heard anyway
        }
    }
    mix_->Mix_Volume(channel, mixVolume(cue.volume));
    setPan(*mix_, channel, cue.pan);
    mix_->Mix_PlayChannel(channel, cues_[static_cast<int>(cue.cue)], 0);
}

void SdlSound::setWindVolume(float volume) {
    if (!open_ || wind_ == nullptr) {
        return;
    }
    mix_->Mix_Volume(kWindChannel, mixVolume(volume));
}
