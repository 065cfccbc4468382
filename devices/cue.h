#ifndef DEVICES_CUE_H
#define DEVICES_CUE_H

// The game's sound cues: short sounds, each played once when something happens. The wind is no
// cue but a loop that plays all the time, at a volume that follows the boarder's speed.
enum class Cue { Start, GateRight, GateWrong, Finish, GameOver, Carve };
constexpr int kCueCount = 6;

// The file of each cue and of the wind loop, in the sounds folder ("sounds" under the game's
// working directory, data/sounds in the source tree; written by tools/make_sounds.py).
const char* cueFileName(Cue cue);
constexpr const char* kWindFileName = "wind.wav";

// One cue to play: its volume (0 silent, 1 as recorded) and its place between the speakers
// (-1 left, 0 centre, +1 right).
struct CuePlay {
    Cue cue;
    float volume = 1.0f;
    float pan = 0.0f;
};

#endif  // DEVICES_CUE_H
