#ifndef APP_BESTDISPLAY_H
#define APP_BESTDISPLAY_H

#include <QString>

#include "app/raceevents.h"

class PersonalBest;
class Window;

// The text the status label shows at a finish: "NEW BEST" when the finish beat the best kept
// before it, otherwise that kept best as "BEST mm:ss.zzz", in the format of the total result.
QString bestText(bool newBest, long long keptBestMs);

// Records every finish of the window's races in the personal best and shows the outcome on the
// window's status label (bestText). The very first finish is a new best (there is nothing to
// beat); a total equal to the kept best is not. The label keeps the text until "New Game" blanks
// it or the game ends in "GAME OVER", as before; nothing else on the panel changes.
// Listens from construction to destruction; the window and the record must outlive it.
class BestDisplay : public RaceListener {
public:
    BestDisplay(Window& window, PersonalBest& best);
    ~BestDisplay() override;
    BestDisplay(const BestDisplay&) = delete;
    BestDisplay& operator=(const BestDisplay&) = delete;

    void raceEvent(const RaceEvent& event) override;

private:
    Window& window_;
    PersonalBest& best_;
};

#endif  // APP_BESTDISPLAY_H
