#ifndef APP_PADKEYS_H
#define APP_PADKEYS_H

#include "devices/padaction.h"

class Window;

// Hands a gamepad's actions to the game window as the keys and buttons they stand for, so that
// each does exactly what its key or button does. A key's press (auto-repeat for a Repeat) and
// release events are sent to the scene widget itself, so they steer whatever widget has the
// keyboard focus; "New Game" and "Wire/Solid Mode" are clicked at a Press, as by the mouse.
// The window must outlive it. Not copyable.
class PadKeys : public PadSink {
public:
    explicit PadKeys(Window& window) : window_(window) {}
    PadKeys(const PadKeys&) = delete;
    PadKeys& operator=(const PadKeys&) = delete;

    void padAction(PadAction action, Phase phase) override;

private:
    Window& window_;
};

#endif  // APP_PADKEYS_H
