#include "app/race.h"

namespace race {

namespace {

// The components of a time text; valid when none is negative (they cannot exceed their range).
struct Clock {
    long long minutes;
    long long seconds;
    long long millis;
    bool valid() const { return minutes >= 0 && seconds >= 0 && millis >= 0; }
};

Clock clockOf(long long t) {
    // C++ division truncates toward zero and the remainder takes the sign of t.
    return Clock{(t / 60000) % 60, (t / 1000) % 60, t % 1000};
}

QString format(const Clock& c) {
    return QStringLiteral("%1:%2.%3")
        .arg(c.minutes, 2, 10, QLatin1Char('0'))
        .arg(c.seconds, 2, 10, QLatin1Char('0'))
        .arg(c.millis, 3, 10, QLatin1Char('0'));
}

}  // namespace

bool inStartZone(float x, float z) {
    return x > 170 && z < 0 && z > -73;
}

bool inFinishZone(float x, float z) {
    return x > 950 && z < 183 && z > 109;
}

QString timeText(long long t) {
    const Clock c = clockOf(t);
    return c.valid() ? format(c) : QStringLiteral("ERROR");
}

QString clockText(long long t) {
    const Clock c = clockOf(t);
    if (!c.valid()) {
        return QStringLiteral("ERROR");
    }
    QString text = format(c);
    if (c.seconds % 2 == 0) {
        text[2] = QLatin1Char(' ');
    }
    return text;
}

long long totalMs(int gateFailures, int shownMs) {
    return static_cast<long long>(gateFailures) * penaltyMs + shownMs;
}

}  // namespace race
