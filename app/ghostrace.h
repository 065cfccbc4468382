#ifndef APP_GHOSTRACE_H
#define APP_GHOSTRACE_H

#include <optional>

#include "app/runrecord.h"
#include "app/splits.h"

// A run recorded while it is raced against a rival run (the best run kept, or one given by
// name): the recording from the clock's start to the finish, the splits of its gates against the
// rival, and the rival's position at any clock time. Pure: no clock, no drawing, no files; the
// caller hands in the clock's milliseconds. Not thread-safe; copyable.
class GhostRace {
public:
    explicit GhostRace(std::optional<RunRecord> rival = std::nullopt);

    // The run raced against, or null. A rival must have at least one step.
    const RunRecord* rival() const { return rival_ ? &*rival_ : nullptr; }
    void setRival(std::optional<RunRecord> rival);

    // Starts a new recording (dropping one under way) with the boarder's state when the clock
    // started; its ms is taken as 0.
    void start(const RunStep& atStart);
    bool recording() const { return recording_; }
    // Records a motion step taken while recording; nothing otherwise. A time before the last
    // recorded one is taken as that time (the clock and the steps are read at different moments).
    // Past maxSteps the run can no longer be kept and is not recorded further.
    void step(const RunStep& step);
    // Records a gate judged at clock ms while recording and returns its split against the
    // rival (bestMs -1 when there is no rival or it did not judge that gate). Not recording:
    // nothing is recorded, and the split is returned all the same.
    Split gateJudged(int gate, long long ms, bool wrongSide);
    // Ends the recording with the run's result. The record, or none when nothing was being
    // recorded or the run grew too long to keep. finishSplit, when given, receives the split of
    // the totals (bestMs -1 when there is no rival).
    std::optional<RunRecord> finish(int runMs, int gateFailures, long long totalMs,
                                    Split* finishSplit = nullptr);
    // Drops the recording under way (game over, New Game).
    void drop();

    // Where the rival was at clock ms (see RunRecord::at); none without a rival.
    std::optional<RunStep> rivalAt(long long ms) const;

private:
    std::optional<RunRecord> rival_;
    RunRecord run_;
    bool recording_ = false;
    bool tooLong_ = false;
};

#endif  // APP_GHOSTRACE_H
