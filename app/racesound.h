#ifndef APP_RACESOUND_H
#define APP_RACESOUND_H

#include <QElapsedTimer>
#include <QTimer>

#include "app/raceevents.h"
#include "devices/cuerules.h"

class SoundOutput;
class Window;

// Makes the race heard. Hears the window's race events and plays their cues; looks at the boarder
// every kLookMs of real time for turns (a carve swish) and its speed (the wind's volume), by the
// rules of CueRules. The looks run from a timer of this object's own, which is no child of the
// window or the scene (their timers are the game's own and are counted), and they go on whatever
// the window's timers do. Not copyable (the window holds a pointer to it).
class RaceSound : public RaceListener {
public:
    // Looks every 20 ms: a turn is heard within 20 ms of the key (plus the mixer's 23 ms block),
    // and the wind follows the speed smoothly.
    static constexpr int kLookMs = 20;

    // Listens to window and plays through output; both must outlive this object. Starts looking.
    RaceSound(Window& window, SoundOutput& output);
    // Stops listening to the window.
    ~RaceSound() override;
    RaceSound(const RaceSound&) = delete;
    RaceSound& operator=(const RaceSound&) = delete;

    void raceEvent(const RaceEvent& event) override;

    // One look at the boarder now; the timer calls it, tests may too.
    void look();

private:
    Window& window_;
    SoundOutput& output_;
    CueRules rules_;
    QTimer timer_;  // no parent: deleted with this object
    QElapsedTimer clock_;
    float windSent_ = 0.0f;  // the wind volume last given to the output
};

#endif  // APP_RACESOUND_H
