#ifndef APP_RACEEVENTS_H
#define APP_RACEEVENTS_H

// What happens in a race, as the window's race slots see it happen: the clock starting, each gate
// judged, the finish with its result, the game running out of endurance. Sound cues and the
// personal best listen to these; nothing of the race itself depends on them.
struct RaceEvent {
    enum Kind { ClockStarted, GateJudged, Finished, GameOver };

    Kind kind;
    int gate = -1;           // GateJudged: the gate's index, 0 to 9
    bool wrongSide = false;  // GateJudged: passed on the wrong side (a gate failure)
    int runMs = 0;           // Finished: the run time, as last shown on the clock
    int gateFailures = 0;    // Finished: the failures counted in the run
    long long totalMs = 0;   // Finished: the total result, run time plus penalties
};

// Receives the race's events, synchronously, from inside the window's slots and after the slot
// has updated the displays. A listener must not call back into the window's slots.
class RaceListener {
public:
    virtual ~RaceListener() = default;
    virtual void raceEvent(const RaceEvent& event) = 0;
};

#endif  // APP_RACEEVENTS_H
