#include "app/bestdisplay.h"

#include <QLabel>

#include "app/personalbest.h"
#include "app/race.h"
#include "app/window.h"

QString bestText(bool newBest, long long keptBestMs) {
    return newBest ? QStringLiteral("NEW BEST") : QStringLiteral("BEST ") + race::timeText(keptBestMs);
}

BestDisplay::BestDisplay(Window& window, PersonalBest& best) : window_(window), best_(best) {
    window_.addRaceListener(this);
}

BestDisplay::~BestDisplay() { window_.removeRaceListener(this); }

void BestDisplay::raceEvent(const RaceEvent& event) {
    if (event.kind != RaceEvent::Finished) {
        return;
    }
    const bool newBest = best_.recordFinish(event.totalMs, event.gateFailures);
    window_.statusLabel->setText(bestText(newBest, best_.bestTotalMs()));
}
