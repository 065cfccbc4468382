#ifndef APP_REPAINTTHROTTLE_H
#define APP_REPAINTTHROTTLE_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

// Spaces the changes of a display whose text changes far more often than a screen shows (the race
// clock, given a new time every millisecond), so that it is repainted at most once an interval.
//
// How: the newest text is held, and handed to the display (through the function given) at most
// once an interval; the last text held reaches it at most one interval late, by a timer should no
// further change come. The display itself is never touched otherwise: its updates stay on, so
// every paint of it, whatever asks for it (its own change, the window repainting the panel
// around it), paints it whole with the text it was last given.
//
// Single-threaded. Not copyable (a QObject).
class RepaintThrottle : public QObject {
public:
    using Show = std::function<void(const QString&)>;

    // show hands a text to the display; it is called only from the throttle's methods and its
    // timer, never after the throttle is gone. intervalMs: the least time between two calls.
    RepaintThrottle(Show show, int intervalMs);

    // A new text for the display. Shown at once when nothing was shown for an interval; held
    // otherwise, in place of any text held before, and shown when the interval is over.
    void change(const QString& text);
    // Shows text at once (a result that must be seen as soon as it is known), dropping any text
    // held, which would otherwise replace it when its interval is over.
    void showNow(const QString& text);
    // Shows the text held, if any, at once.
    void flush();
    // A text is held, not yet shown.
    bool holding() const { return holding_; }

private:
    void show(const QString& text);

    Show show_;
    int intervalMs_;
    QTimer flush_;
    QElapsedTimer sinceShown_;  // invalid until the first text is shown
    QString held_;
    bool holding_ = false;
};

#endif  // APP_REPAINTTHROTTLE_H
