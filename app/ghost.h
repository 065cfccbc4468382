#ifndef APP_GHOST_H
#define APP_GHOST_H

#include <QElapsedTimer>
#include <QMetaObject>
#include <memory>
#include <optional>
#include <string>

#include "app/ghostdraw.h"
#include "app/ghostrace.h"
#include "app/raceevents.h"
#include "app/splits.h"
#include "scene/framelayer.h"

class PersonalBest;
class Window;

// Racing one's best run: every run of the window is recorded from the clock's start to the
// finish; a finish that beats the best total kept is saved as the best run; while a run is under
// way, a translucent copy of the boarder (the ghost) stands where the raced run stood at the same
// clock time, and each gate both runs judged shows its split in the 3D view for 3 s, as does the
// finish. The ghost is not drawn in the boarder's own view (camera mode 4), judges no gate and
// changes nothing of the race.
//
// With SKALDORA_TRACE=1 each frame's trace line gets "clock <ms>" while the race clock runs and
// "ghost <x> <z>" while the ghost is drawn; each gate judged during a run writes a line
// "skaldora-trace split gate <i> ms <clock> best <ms or -> wrong <0|1>".
//
// Listens to the window, its scene and its New Game button from construction to destruction; the
// window and the personal best must outlive it. Not copyable.
class Ghost : public RaceListener, public FrameLayer {
public:
    struct Options {
        bool show = true;         // false: --no-ghost, no ghost drawn (splits still shown)
        std::string rivalFile;    // --ghost FILE: race this run instead of the best run
        std::string bestRunFile;  // where the best run is kept; empty: kept in memory only
    };

    // Reads the best run (a refused one is moved aside) and the rival file when one is given (a
    // refused one is left as it is; then the best run is raced).
    Ghost(Window& window, PersonalBest& best, Options options);
    ~Ghost() override;
    Ghost(const Ghost&) = delete;
    Ghost& operator=(const Ghost&) = delete;

    void raceEvent(const RaceEvent& event) override;
    void drawInWorld(const FrameInfo& frame) override;
    void drawOverlay(const FrameInfo& frame) override;
    void appendTrace(const FrameInfo& frame, std::string& line) const override;

    // The run raced against, or null.
    const RunRecord* rival() const { return race_->rival(); }
    // The best run kept by this game, or null.
    const RunRecord* bestRun() const { return bestRun_ ? &*bestRun_ : nullptr; }

private:
    // The race clock's milliseconds for the frame (read once per frame), -1 while it is stopped.
    long long frameClock(const FrameInfo& frame) const;
    // Where the ghost stands in this frame, or none when it is not drawn.
    std::optional<RunStep> ghostIn(const FrameInfo& frame) const;
    RunStep boarderNow(long long ms) const;
    void finished(const RaceEvent& event);

    Window& window_;
    PersonalBest& best_;
    Options options_;
    std::shared_ptr<GhostRace> race_;
    std::optional<RunRecord> bestRun_;
    long long keptBestMs_ = -1;  // the personal best total when the run started
    GhostFigure figure_;
    SplitBoard board_;
    QElapsedTimer boardClock_;
    QMetaObject::Connection newGame_;
    mutable long long clockFrame_ = -1;
    mutable long long clockMs_ = -1;
};

#endif  // APP_GHOST_H
