#include "app/ghostrace.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace {

std::int32_t clockMs(long long ms) {
    return static_cast<std::int32_t>(
        std::clamp<long long>(ms, 0, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

GhostRace::GhostRace(std::optional<RunRecord> rival) {
    setRival(std::move(rival));
}

void GhostRace::setRival(std::optional<RunRecord> rival) {
    assert(!rival || !rival->steps.empty());
    rival_ = std::move(rival);
}

void GhostRace::start(const RunStep& atStart) {
    run_ = RunRecord();
    RunStep first = atStart;
    first.ms = 0;
    run_.steps.push_back(first);
    recording_ = true;
    tooLong_ = false;
}

void GhostRace::step(const RunStep& step) {
    if (!recording_ || tooLong_) {
        return;
    }
    if (run_.steps.size() >= RunRecord::maxSteps) {
        tooLong_ = true;
        return;
    }
    RunStep s = step;
    s.ms = std::max(clockMs(step.ms), run_.steps.back().ms);
    run_.steps.push_back(s);
}

Split GhostRace::gateJudged(int gate, long long ms, bool wrongSide) {
    Split split;
    split.kind = Split::Gate;
    split.gate = gate;
    split.ms = clockMs(ms);
    split.wrongSide = wrongSide;
    split.bestMs = rival_ ? rival_->gateMs(gate) : -1;
    // The gate check judges each gate once a run, in order; anything else is not recorded.
    const bool inOrder = run_.gates.empty() || gate > run_.gates.back().gate;
    if (recording_ && gate >= 0 && gate <= 9 && inOrder) {
        RunGate g;
        g.gate = gate;
        g.ms = std::max(static_cast<std::int32_t>(split.ms),
                        run_.gates.empty() ? 0 : run_.gates.back().ms);
        g.wrongSide = wrongSide;
        run_.gates.push_back(g);
        split.ms = g.ms;
    }
    return split;
}

std::optional<RunRecord> GhostRace::finish(int runMs, int gateFailures, long long totalMs,
                                           Split* finishSplit) {
    if (finishSplit != nullptr) {
        *finishSplit = Split();
        finishSplit->kind = Split::Finish;
        finishSplit->ms = totalMs;
        finishSplit->bestMs = rival_ ? rival_->totalMs : -1;
    }
    if (!recording_) {
        return std::nullopt;
    }
    recording_ = false;
    if (tooLong_ || runMs < 0 || totalMs < 0 || gateFailures < 0 ||
        gateFailures > static_cast<int>(RunRecord::maxGates)) {
        return std::nullopt;
    }
    run_.runMs = runMs;
    run_.gateFailures = gateFailures;
    run_.totalMs = totalMs;
    RunRecord done = std::move(run_);
    run_ = RunRecord();
    return done;
}

void GhostRace::drop() {
    recording_ = false;
    run_ = RunRecord();
}

std::optional<RunStep> GhostRace::rivalAt(long long ms) const {
    if (!rival_) {
        return std::nullopt;
    }
    return rival_->at(ms);
}
