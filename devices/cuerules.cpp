#include "devices/cuerules.h"

#include <algorithm>
#include <cmath>

namespace {

// The boarder's start state, where New Game puts it.
bool atStart(const BoarderSample& b) {
    return b.x == 100.0f && b.z == 0.0f && b.heading == 0.0f && b.speed == 0.0f;
}

}  // namespace

std::optional<Cue> CueRules::cueFor(const RaceEvent& event, bool gameOver) {
    if (event.kind == RaceEvent::GameOver) {
        return Cue::GameOver;
    }
    if (gameOver) {
        return std::nullopt;
    }
    switch (event.kind) {
        case RaceEvent::ClockStarted:
            return Cue::Start;
        case RaceEvent::GateJudged:
            return event.wrongSide ? Cue::GateWrong : Cue::GateRight;
        case RaceEvent::Finished:
            return Cue::Finish;
        case RaceEvent::GameOver:
            break;
    }
    return std::nullopt;
}

float CueRules::windTarget(float speed) {
    if (!(speed > 0.0f)) {  // also NaN
        return 0.0f;
    }
    const float s = std::min(speed, 100.0f) / 100.0f;
    return kWindMax * std::pow(s, 1.3f);
}

std::optional<CuePlay> CueRules::look(const BoarderSample& boarder, long long nowMs) {
    // The wind: an exponential ease, which cannot overshoot; at rest it ends in true silence.
    const float target = windTarget(boarder.speed);
    if (seen_) {
        const double dt = std::clamp<double>(static_cast<double>(nowMs - lastLookMs_), 0.0, 1000.0);
        windVolume_ +=
            (target - windVolume_) * static_cast<float>(1.0 - std::exp(-dt / kWindEaseMs));
        if (target == 0.0f && windVolume_ < 0.004f) {
            windVolume_ = 0.0f;
        }
    }
    lastLookMs_ = nowMs;

    const float turned = boarder.heading - heading_;
    const bool firstLook = !seen_;
    seen_ = true;
    heading_ = boarder.heading;
    if (firstLook || turned == 0.0f || std::isnan(turned) || atStart(boarder)) {
        return std::nullopt;
    }
    if (carved_ && nowMs - lastCarveMs_ < kCarveGapMs) {
        return std::nullopt;  // the turn joins the carve that plays
    }
    carved_ = true;
    lastCarveMs_ = nowMs;
    CuePlay carve{Cue::Carve};
    carve.volume = 0.55f + 0.45f * std::clamp(boarder.speed / 60.0f, 0.0f, 1.0f);
    carve.pan = turned > 0.0f ? -0.3f : 0.3f;  // a positive turn is to the left
    return carve;
}
