#ifndef DEVICES_CUERULES_H
#define DEVICES_CUERULES_H

#include <optional>

#include "app/raceevents.h"
#include "devices/cue.h"

// What the boarder's state looks like to the sound: read from the scene at each look.
struct BoarderSample {
    float speed = 0.0f;    // metres per second, 0..100
    float heading = 0.0f;  // degrees, the sum of all turns (Boarder::rotation.y)
    float x = 0.0f;        // position, world metres
    float z = 0.0f;
};

// Which sound plays when: the cue of each race event, a carve swish when the boarder turns, and
// the wind's volume from its speed. Pure rules with the little state they need (the heading last
// seen, when the last carve started, the wind's eased volume); they make no sound themselves.
// Copyable.
class CueRules {
public:
    // Carves start at least this far apart (ms): a storm of turns gives a steady scrape, not a
    // pile of swishes.
    static constexpr long long kCarveGapMs = 90;
    // The wind eases towards the volume the speed asks for with this time constant (ms), so a
    // step of speed swells the wind instead of jumping it.
    static constexpr double kWindEaseMs = 120.0;
    // The wind's volume at full speed: below the cues, which play at up to 1.
    static constexpr float kWindMax = 0.8f;

    // The cue of a race event, or none. gameOver: the endurance is used up and no New Game came
    // since; then only the GameOver event itself is heard. (While the game is over, the window
    // still reports the clock starting at each check the boarder spends in the start zone, and
    // the gates it crosses: those stay silent.)
    static std::optional<Cue> cueFor(const RaceEvent& event, bool gameOver);

    // The wind volume (0..kWindMax) that a speed (m/s) asks for: 0 at rest, growing a little
    // faster than the speed, kWindMax at 100. Speeds outside 0..100 (and NaN) are clamped.
    static float windTarget(float speed);

    // One look at the boarder at nowMs (milliseconds of a steady clock, never going back).
    // Returns a carve when the heading changed since the last look and the last carve started at
    // least kCarveGapMs ago: louder with speed, a little to the side the boarder turned to. A
    // boarder put back to its start (New Game: at x 100, z 0, heading 0, at rest) changed its
    // heading without turning: no carve. Eases windVolume() towards windTarget(speed).
    std::optional<CuePlay> look(const BoarderSample& boarder, long long nowMs);

    // The wind's volume after the last look; 0 before the first.
    float windVolume() const { return windVolume_; }

private:
    bool seen_ = false;  // a look has been taken
    float heading_ = 0.0f;
    long long lastLookMs_ = 0;
    long long lastCarveMs_ = 0;
    bool carved_ = false;  // a carve has started
    float windVolume_ = 0.0f;
};

#endif  // DEVICES_CUERULES_H
