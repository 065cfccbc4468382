#ifndef DEVICES_SOUNDOUTPUT_H
#define DEVICES_SOUNDOUTPUT_H

#include "devices/cue.h"

// Where the game's sounds go: "play this cue", "set the wind's volume". The game never asks
// whether any sound is heard: an output without a device takes the calls and does nothing.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Starts a cue at once, over whatever plays already.
    virtual void play(const CuePlay& cue) = 0;
    // Sets the loudness of the wind loop, 0 (silent) to 1 (as recorded); out-of-range values are
    // clamped.
    virtual void setWindVolume(float volume) = 0;
};

#endif  // DEVICES_SOUNDOUTPUT_H
