#ifndef APP_REPAINTTHROTTLE_H
#define APP_REPAINTTHROTTLE_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

// Keeps a widget whose content changes far more often than a screen shows (the race clock, given a
// new time every millisecond) from being repainted more than once an interval. The widget always
// holds its latest content, and a picture taken of it shows that; only the repaints on screen are
// spaced, the last change reaching the screen at most one interval late.
//
// How: while changes come closer together than the interval, the widget's updates are switched off
// (its repaint requests are dropped), and a timer switches them back on at the end of the interval,
// which repaints the widget with what it holds then. Single-threaded. Not copyable (a QObject).
class RepaintThrottle : public QObject {
public:
    // widget must outlive the throttle. The timer is the throttle's child, not the widget's.
    RepaintThrottle(QWidget* widget, int intervalMs);

    // Call just before each change of the widget's content.
    void changing();

private:
    void release();

    QWidget* widget_;
    int intervalMs_;
    QTimer release_;
    QElapsedTimer sinceRepaint_;  // invalid until the first change
};

#endif  // APP_REPAINTTHROTTLE_H
