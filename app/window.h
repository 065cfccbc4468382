#ifndef APP_WINDOW_H
#define APP_WINDOW_H

#include <QElapsedTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/raceevents.h"

class GLWidget;
class QLabel;
class QLCDNumber;
class QProgressBar;
class QPushButton;
class RepaintThrottle;

// The game window: the scene at the left; at the right the buttons, the goal text, the race clock,
// the gate-failure count, the total result and the endurance bar. Its timers drive the race rules:
// the clock (1 ms), the start, finish and gate checks (100 ms) and the endurance (1000 ms).
class Window : public QWidget {
    Q_OBJECT

public:
    // Builds the whole window and starts its three timers. A top-level widget.
    Window();
    ~Window() override;

    // Adds a listener to the race's events (see RaceEvent). The window does not own it; it must
    // outlive the window or be removed first.
    void addRaceListener(RaceListener* listener);
    void removeRaceListener(RaceListener* listener);

    int elapsedMs = 0;        // milliseconds of the current run, as last read by showTime
    bool running = false;     // a run is under way
    QElapsedTimer raceTime;   // started when a run starts; invalid before the first run
    GLWidget* glWidget;       // the scene, a child of the window
    QPushButton* exitButton;
    QPushButton* wireSolidButton;
    QPushButton* newGameButton;
    QLCDNumber* gateFailuresLCD;
    QLCDNumber* timerLCD;
    QProgressBar* enduranceBar;
    QLCDNumber* totalResultLCD;
    QLabel* goalLabel;
    QLabel* statusLabel;
    int shownMs = 0;          // milliseconds last given to timerLCD (on it within 16 ms)
    int enduranceMax = 100;
    int enduranceMin = 0;
    int endurance = 100;

protected slots:
    void showTime();             // the clock, while a run is under way
    void setProgressBarValue();  // endurance falls by 3 each second of a run
    void checkStart();           // the start zone starts a run
    void checkFinish();          // the finish zone ends it and shows the total
    void checkGateFailures();    // gate passes, the failure count, game over
    void resetAll();             // "New Game"

private:
    // Sizes the window for the screen it opens on: its preferred size, bounded by the screen's
    // available area, never below the layout's minimum.
    void fitScreen();
    // Runs the gate pass check and tells the listeners of each gate it judged.
    void checkGatesAndTell();
    void tell(const RaceEvent& event);

    std::vector<RaceListener*> raceListeners_;
    // The clock is given a new time every millisecond; it is shown (and repainted) at most about
    // 60 times a second. Every text of timerLCD goes through it.
    std::unique_ptr<RepaintThrottle> clockRepaint_;
    bool gameOverTold_ = false;  // the listeners heard of this game's end
};

#endif  // APP_WINDOW_H
