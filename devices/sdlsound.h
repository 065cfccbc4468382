#ifndef DEVICES_SDLSOUND_H
#define DEVICES_SDLSOUND_H

#include <string>

#include "devices/soundoutput.h"

struct Mix_Chunk;
struct MixerFunctions;
struct SdlFunctions;

// The game's sound through SDL 2's audio and SDL2_mixer: the cues and the wind loop, read from
// WAV files, mixed on one audio device. SDL is started with its audio subsystem only (no video);
// other SDL users in the program (the gamepad) start and stop their own subsystems beside it.
//
// Nothing here can stop the game: with no device, or without SDL's libraries (they are opened
// here, see sdllibrary.h), the object stays a silent no-op; a missing or damaged file leaves its
// cue silent and the rest playing. Either is told in one line on standard error. Files are read
// only when they pass the game's file check (files/datafile.h: a regular file of at most 4 MiB; a
// FIFO or a device in a file's place is refused, never waited on), and played only when they are
// WAV files in the game's own format, 16-bit mono PCM at 22050 Hz, whose every chunk lies within
// the file (devices/wavfile.h), at most a minute long, and that SDL reads in full.
//
// Channels: one for the wind (looping from the start, silent until given a volume), two that the
// carve swishes take in turn, each new one fading the one before out over 50 ms, so that swishes
// never pile up (one coming while the other channel still fades is dropped, never cut short); the
// other cues share the rest, a cue being dropped when all of those are busy.
//
// Use from one thread (the GUI thread). Not copyable.
class SdlSound : public SoundOutput {
public:
    // The mixer's format: 44100 Hz, 16-bit, stereo, mixed in blocks of 1024 frames (23 ms).
    // The device is opened in exactly this format; SDL converts for the hardware if it must.
    static constexpr int kRate = 44100;
    static constexpr int kBlockFrames = 1024;

    // Opens the default audio device and reads every cue's file and the wind's from folder.
    // muted: opens nothing and prints nothing (the game was asked to be quiet).
    explicit SdlSound(const std::string& folder, bool muted = false);
    ~SdlSound() override;
    SdlSound(const SdlSound&) = delete;
    SdlSound& operator=(const SdlSound&) = delete;

    // An audio device is open (some cues may still be silent for want of their files).
    bool isOpen() const { return open_; }
    // The cue's file, or the wind's, was read: it is heard when played.
    bool hasCue(Cue cue) const;
    bool hasWind() const { return wind_ != nullptr; }

    void play(const CuePlay& cue) override;
    void setWindVolume(float volume) override;

private:
    void loadFiles(const std::string& folder);

    const SdlFunctions* sdl_ = nullptr;  // SDL 2 and SDL2_mixer, opened unless muted
    const MixerFunctions* mix_ = nullptr;
    bool open_ = false;
    Mix_Chunk* cues_[kCueCount] = {};
    Mix_Chunk* wind_ = nullptr;
    int nextCarve_ = 0;  // which of the two carve channels takes the next swish
};

#endif  // DEVICES_SDLSOUND_H
