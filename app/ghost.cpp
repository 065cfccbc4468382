#include "app/ghost.h"

#include <QPushButton>
#include <cmath>

#include "app/personalbest.h"
#include "app/runrecordfile.h"
#include "app/window.h"
#include "scene/frametrace.h"
#include "scene/glwidget.h"

namespace {

// The camera mode that looks out of the boarder's eyes: no ghost there, it would fill the view.
constexpr int eyesCameraMode = 4;

BoarderPose poseOf(const RunStep& s) {
    const double r = s.heading * 0.017453292519943295;
    BoarderPose pose{};
    pose.position = Vec3(s.x, 0.0f, s.z);
    // Heading 0 looks along +x; a positive heading has turned towards -z.
    pose.direction = Vec3(static_cast<float>(std::cos(r)), 0.0f, static_cast<float>(-std::sin(r)));
    pose.up = Vec3(0.0f, 1.0f, 0.0f);
    pose.heading = s.heading;
    return pose;
}

SplitColour colourOf(const Split& split) {
    switch (splitStanding(split)) {
        case SplitStanding::Ahead:
            return SplitColour::Green;
        case SplitStanding::Behind:
            return SplitColour::Red;
        case SplitStanding::Level:
            break;
    }
    return SplitColour::White;
}

}  // namespace

Ghost::Ghost(Window& window, PersonalBest& best, Options options)
    : window_(window),
      best_(best),
      options_(std::move(options)),
      race_(std::make_shared<GhostRace>()) {
    if (!options_.bestRunFile.empty()) {
        bestRun_ = loadRunFile(options_.bestRunFile, RefusedRunFile::MoveAside);
    }
    std::optional<RunRecord> rival = bestRun_;
    if (!options_.rivalFile.empty()) {
        if (auto given = loadRunFile(options_.rivalFile, RefusedRunFile::LeaveAlone)) {
            rival = std::move(given);
        }
    }
    race_->setRival(std::move(rival));
    boardClock_.start();

    window_.addRaceListener(this);
    window_.glWidget->addFrameLayer(this);
    // The scene keeps its step listeners for its whole life: this one must not outlive the race.
    std::weak_ptr<GhostRace> race = race_;
    Window* w = &window_;
    window_.glWidget->addStepListener([race, w](const MotionStep& step) {
        const auto r = race.lock();
        if (r == nullptr || !r->recording() || !w->raceTime.isValid()) {
            return;
        }
        const Boarder& b = w->glWidget->boarder;
        RunStep s;
        s.ms = static_cast<std::int32_t>(
            std::max<qint64>(0, step.atMs - w->raceTime.msecsSinceReference()));
        s.x = b.position.x;
        s.z = b.position.z;
        s.heading = b.rotation.y;
        s.speed = b.speed;
        r->step(s);
    });
    newGame_ = QObject::connect(window_.newGameButton, &QPushButton::clicked, [this] {
        race_->drop();
        board_.clear();
    });
}

Ghost::~Ghost() {
    QObject::disconnect(newGame_);
    window_.glWidget->removeFrameLayer(this);
    window_.removeRaceListener(this);
}

RunStep Ghost::boarderNow(long long ms) const {
    const Boarder& b = window_.glWidget->boarder;
    RunStep s;
    s.ms = static_cast<std::int32_t>(ms);
    s.x = b.position.x;
    s.z = b.position.z;
    s.heading = b.rotation.y;
    s.speed = b.speed;
    return s;
}

void Ghost::raceEvent(const RaceEvent& event) {
    switch (event.kind) {
        case RaceEvent::ClockStarted:
            keptBestMs_ = best_.bestTotalMs();
            race_->start(boarderNow(0));
            board_.clear();
            break;
        case RaceEvent::GateJudged: {
            if (!race_->recording()) {
                break;
            }
            const Split split =
                race_->gateJudged(event.gate, window_.raceTime.elapsed(), event.wrongSide);
            if (traceWanted()) {
                writeTraceLine(splitTraceLine(split));
            }
            if (split.hasBest()) {
                board_.show(split, boardClock_.elapsed());
            }
            break;
        }
        case RaceEvent::Finished:
            finished(event);
            break;
        case RaceEvent::GameOver:
            race_->drop();
            break;
    }
}

void Ghost::finished(const RaceEvent& event) {
    if (!race_->recording()) {
        return;
    }
    // The boarder where the clock stopped: the ghost of this run ends there.
    race_->step(boarderNow(event.runMs));
    Split split;
    std::optional<RunRecord> run =
        race_->finish(event.runMs, event.gateFailures, event.totalMs, &split);
    if (split.hasBest()) {
        board_.show(split, boardClock_.elapsed());
    }
    if (!run) {
        return;
    }
    const bool beatsKept = keptBestMs_ < 0 || run->totalMs < keptBestMs_;
    const bool beatsRun = !bestRun_ || run->totalMs < bestRun_->totalMs;
    if (!beatsKept || !beatsRun) {
        return;
    }
    if (!options_.bestRunFile.empty()) {
        // Another game may have kept a better run meanwhile.
        const auto onDisk = loadRunFile(options_.bestRunFile, RefusedRunFile::MoveAside);
        if (onDisk && onDisk->totalMs <= run->totalMs) {
            bestRun_ = onDisk;
            return;
        }
        saveRunFile(options_.bestRunFile, *run);
    }
    bestRun_ = std::move(run);
    // The new best is raced at once, unless a run given by name is being raced.
    if (options_.rivalFile.empty() || race_->rival() == nullptr) {
        race_->setRival(bestRun_);
    }
}

long long Ghost::frameClock(const FrameInfo& frame) const {
    if (clockFrame_ != frame.number) {
        clockFrame_ = frame.number;
        clockMs_ = window_.running && window_.raceTime.isValid() ? window_.raceTime.elapsed() : -1;
    }
    return clockMs_;
}

std::optional<RunStep> Ghost::ghostIn(const FrameInfo& frame) const {
    if (!options_.show || frame.cameraMode == eyesCameraMode) {
        return std::nullopt;
    }
    const long long ms = frameClock(frame);
    if (ms < 0) {
        return std::nullopt;
    }
    return race_->rivalAt(ms);
}

void Ghost::drawInWorld(const FrameInfo& frame) {
    if (const auto at = ghostIn(frame)) {
        figure_.draw(window_.glWidget->boarder, poseOf(*at), frame.wireMode);
    }
}

void Ghost::drawOverlay(const FrameInfo& frame) {
    if (const auto split = board_.shown(boardClock_.elapsed())) {
        drawSplitText(frame, splitText(*split), colourOf(*split));
    }
}

void Ghost::appendTrace(const FrameInfo& frame, std::string& line) const {
    const long long ms = frameClock(frame);
    if (ms >= 0) {
        appendTraceField(line, "clock", ms);
    }
    if (const auto at = ghostIn(frame)) {
        appendTracePoint(line, "ghost", at->x, at->z);
    }
}
