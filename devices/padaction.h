#ifndef DEVICES_PADACTION_H
#define DEVICES_PADACTION_H

// What a gamepad asks of the game. Each action stands for one of the game's keys or one of its
// panel buttons, so a gamepad can do nothing the keyboard and mouse cannot.
enum class PadAction {
    Left,        // the Left key: turn left
    Right,       // the Right key: turn right
    Faster,      // the Up key
    Slower,      // the Down key
    NextCamera,  // F1
    NewGame,     // the "New Game" button
    WireMode,    // the "Wire/Solid Mode" button
    FlyForward,  // R: the free camera forward
    FlyBack,     // F: back
    FlyRight,    // T: right
    FlyLeft,     // G: left
};

constexpr int padActionCount = 11;

// Receives a gamepad's actions, on the thread that polls the gamepad. For every action a Press
// comes first, then any number of Repeats while the control stays held (as a key's auto-repeat),
// then one Release.
class PadSink {
public:
    enum Phase { Press, Repeat, Release };

    virtual ~PadSink() = default;
    virtual void padAction(PadAction action, Phase phase) = 0;
};

#endif  // DEVICES_PADACTION_H
