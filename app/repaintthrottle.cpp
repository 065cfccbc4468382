#include "app/repaintthrottle.h"

#include <QWidget>
#include <algorithm>

RepaintThrottle::RepaintThrottle(QWidget* widget, int intervalMs)
    : widget_(widget), intervalMs_(intervalMs), release_(this) {
    release_.setSingleShot(true);
    connect(&release_, &QTimer::timeout, this, [this] { release(); });
}

void RepaintThrottle::changing() {
    if (!sinceRepaint_.isValid() || sinceRepaint_.elapsed() >= intervalMs_) {
        // The first change after a quiet interval is shown at once.
        if (!release_.isActive()) {
            sinceRepaint_.start();
            return;
        }
    }
    if (widget_->updatesEnabled()) {
        widget_->setUpdatesEnabled(false);
    }
    if (!release_.isActive()) {
        release_.start(static_cast<int>(std::max<qint64>(0, intervalMs_ - sinceRepaint_.elapsed())));
    }
}

void RepaintThrottle::release() {
    // Switching updates back on repaints the widget with the content it holds now.
    widget_->setUpdatesEnabled(true);
    sinceRepaint_.start();
}
