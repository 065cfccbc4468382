#include "app/repaintthrottle.h"

#include <algorithm>
#include <utility>

RepaintThrottle::RepaintThrottle(Show show, int intervalMs)
    : show_(std::move(show)), intervalMs_(intervalMs), flush_(this) {
    flush_.setSingleShot(true);
    connect(&flush_, &QTimer::timeout, this, [this] { flush(); });
}

void RepaintThrottle::change(const QString& text) {
    // A clock ticking every millisecond shows its change here, on the first tick after the
    // interval; the timer is for the last change before the ticks stop.
    if (!sinceShown_.isValid() || sinceShown_.elapsed() >= intervalMs_) {
        show(text);
        return;
    }
    held_ = text;
    holding_ = true;
    if (!flush_.isActive()) {
        flush_.start(static_cast<int>(std::max<qint64>(0, intervalMs_ - sinceShown_.elapsed())));
    }
}

void RepaintThrottle::showNow(const QString& text) { show(text); }

void RepaintThrottle::flush() {
    if (holding_) {
        const QString text = std::move(held_);
        show(text);
    }
}

void RepaintThrottle::show(const QString& text) {
    holding_ = false;
    held_.clear();
    flush_.stop();
    sinceShown_.start();
    show_(text);
}
