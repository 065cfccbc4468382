#include "app/racesound.h"

#include "app/window.h"
#include "devices/soundoutput.h"
#include "scene/glwidget.h"

RaceSound::RaceSound(Window& window, SoundOutput& output) : window_(window), output_(output) {
    output_.setWindVolume(0.0f);
    clock_.start();
    window_.addRaceListener(this);
    QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
    timer_.start(kLookMs);
}

RaceSound::~RaceSound() {
    timer_.stop();
    window_.removeRaceListener(this);
}

void RaceSound::raceEvent(const RaceEvent& event) {
    // The endurance stays used up from game over until New Game refills it.
    if (const std::optional<Cue> cue = CueRules::cueFor(event, window_.endurance <= 0)) {
        output_.play(CuePlay{*cue});
    }
}

void RaceSound::look() {
    const Boarder& b = window_.glWidget->boarder;
    BoarderSample sample;
    sample.speed = b.speed;
    sample.heading = b.rotation.y;
    sample.x = b.position.x;
    sample.z = b.position.z;
    if (const std::optional<CuePlay> carve = rules_.look(sample, clock_.elapsed())) {
        output_.play(*carve);
    }
    if (rules_.windVolume() != windSent_) {
        windSent_ = rules_.windVolume();
        output_.setWindVolume(windSent_);
    }
}
