#include "app/window.h"

#include <QBoxLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <algorithm>

#include "app/race.h"
#include "app/repaintthrottle.h"
#include "scene/glwidget.h"
#include "world/gates.h"

namespace {

const char* const goalText =
    "GOAL: \nmove your boarder across the slope smoothly.\nBe as fast as possible but pay "
    "attention "
    "to the gates!\nThe red ones have to be passed right hand\nthe blue ones left hand.\nEvery "
    "missed gate result in 5 seconds penalty time.\nTake care of your endurance, it becomes less "
    "with ongoing time.\n\nCONTROL:\nmove your boarder with the UP/ DOWN/ RIGHT/ LEFT keys.\nWith "
    "F1 it is possible to control the camera.\n\nGOOD LUCK!";

// The smallest the scene may become; its preferred size stays 700 x 700.
const QSize sceneMinimum(320, 240);

}  // namespace

Window::Window() : QWidget(nullptr) {
    glWidget = new GLWidget();
    glWidget->setFocusPolicy(Qt::ClickFocus);
    // The scene prefers 700 x 700 but may shrink, so that the window fits a small screen with
    // the whole panel in view.
    glWidget->setMinimumSize(sceneMinimum);

    wireSolidButton = new QPushButton(tr("Wire/Solid Mode"));
    exitButton = new QPushButton(tr("Exit"));
    newGameButton = new QPushButton(tr("New Game"));
    // A click on a button leaves the keyboard focus where it was, so the arrows keep steering
    // after "New Game" or "Wire/Solid Mode"; Tab still reaches the buttons.
    for (QPushButton* button : {wireSolidButton, exitButton, newGameButton}) {
        button->setFocusPolicy(Qt::TabFocus);
    }

    goalLabel = new QLabel(goalText);
    goalLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    statusLabel = new QLabel(tr("                                   "));

    timerLCD = new QLCDNumber(9);
    timerLCD->setFocusPolicy(Qt::ClickFocus);
    timerLCD->setSegmentStyle(QLCDNumber::Filled);
    timerLCD->display(QStringLiteral("00:00.000"));
    QPalette palette = timerLCD->palette();
    palette.setColor(QPalette::Light, Qt::red);
    timerLCD->setPalette(palette);
    clockRepaint_ = std::make_unique<RepaintThrottle>(
        [lcd = timerLCD](const QString& text) { lcd->display(text); }, 16);

    gateFailuresLCD = new QLCDNumber(2);
    gateFailuresLCD->setSegmentStyle(QLCDNumber::Filled);
    gateFailuresLCD->display(QStringLiteral("00"));
    gateFailuresLCD->setPalette(palette);

    totalResultLCD = new QLCDNumber(9);
    totalResultLCD->setSegmentStyle(QLCDNumber::Filled);
    totalResultLCD->display(QStringLiteral("00:00.000"));
    totalResultLCD->setPalette(palette);

    enduranceBar = new QProgressBar();
    enduranceBar->setOrientation(Qt::Vertical);
    // The bar gets a style of its own; it is the bar's child so that it goes with the bar.
    QStyle* barStyle = QStyleFactory::create(QStringLiteral("Fusion"));
    if (barStyle != nullptr) {
        barStyle->setParent(enduranceBar);
        enduranceBar->setStyle(barStyle);
    }
    enduranceMin = 0;
    enduranceMax = 100;
    endurance = 100;
    enduranceBar->setRange(enduranceMin, enduranceMax);
    enduranceBar->setValue(enduranceMax);
    enduranceBar->setTextVisible(false);

    auto* controlsLayout = new QVBoxLayout;
    controlsLayout->addWidget(wireSolidButton);
    controlsLayout->addWidget(exitButton);
    controlsLayout->addWidget(newGameButton);
    controlsLayout->addWidget(goalLabel);
    controlsLayout->addWidget(new QLabel(tr("Timer")));
    controlsLayout->addWidget(timerLCD);
    controlsLayout->addWidget(new QLabel(tr("Gate Failures")));
    controlsLayout->addWidget(gateFailuresLCD);
    controlsLayout->addWidget(new QLabel(tr("Total Result")));
    controlsLayout->addWidget(totalResultLCD);

    auto* enduranceLayout = new QHBoxLayout;
    enduranceLayout->addWidget(new QLabel(tr("Endurance")));
    enduranceLayout->addWidget(enduranceBar);
    enduranceLayout->addWidget(statusLabel);

    auto* panelLayout = new QVBoxLayout;
    panelLayout->addLayout(controlsLayout);
    panelLayout->addLayout(enduranceLayout);

    auto* mainLayout = new QHBoxLayout;
    mainLayout->addWidget(glWidget);
    mainLayout->addLayout(panelLayout);
    setLayout(mainLayout);

    setWindowTitle(tr("Skaldora"));
    fitScreen();

    connect(wireSolidButton, &QPushButton::clicked, glWidget, &GLWidget::toggleWireMode);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(newGameButton, &QPushButton::clicked, this, &Window::resetAll);

    elapsedMs = 0;
    running = false;

    auto* clockTimer = new QTimer(this);
    connect(clockTimer, &QTimer::timeout, this, &Window::showTime);
    clockTimer->start(1);

    auto* checkTimer = new QTimer(this);
    connect(checkTimer, &QTimer::timeout, this, &Window::checkStart);
    connect(checkTimer, &QTimer::timeout, this, &Window::checkFinish);
    connect(checkTimer, &QTimer::timeout, this, &Window::checkGateFailures);
    checkTimer->start(100);

    auto* enduranceTimer = new QTimer(this);
    connect(enduranceTimer, &QTimer::timeout, this, &Window::setProgressBarValue);
    enduranceTimer->start(1000);
}

Window::~Window() = default;

void Window::fitScreen() {
    // The window opens at its preferred size where the screen has room for it, otherwise as large
    // as the screen's available area less a title bar (the frame is not known before it is shown).
    QScreen* shownOn = screen();
    if (shownOn == nullptr) {
        return;
    }
    QSize room = shownOn->availableGeometry().size();
    room.rheight() -= style()->pixelMetric(QStyle::PM_TitleBarHeight);
    resize(sizeHint().boundedTo(room).expandedTo(minimumSizeHint()));
}

void Window::addRaceListener(RaceListener* listener) {
    if (listener != nullptr) {
        raceListeners_.push_back(listener);
    }
}

void Window::removeRaceListener(RaceListener* listener) {
    raceListeners_.erase(std::remove(raceListeners_.begin(), raceListeners_.end(), listener),
                         raceListeners_.end());
}

void Window::tell(const RaceEvent& event) {
    // A copy: a listener may remove itself while it hears the event.
    const std::vector<RaceListener*> listeners = raceListeners_;
    for (RaceListener* listener : listeners) {
        listener->raceEvent(event);
    }
}

void Window::checkGatesAndTell() {
    std::vector<GateJudgement> judged;
    checkGates(glWidget->gates, glWidget->boarder, judged);
    for (const GateJudgement& j : judged) {
        RaceEvent event{RaceEvent::GateJudged};
        event.gate = j.gate;
        event.wrongSide = j.failure;
        tell(event);
    }
}

void Window::showTime() {
    if (!running) {
        return;
    }
    elapsedMs = static_cast<int>(raceTime.elapsed());
    clockRepaint_->change(race::clockText(elapsedMs));
    shownMs = elapsedMs;
}

void Window::setProgressBarValue() {
    if (!running) {
        return;
    }
    endurance -= 3;
    // Below the bar's minimum the bar ignores the value and keeps showing the last one.
    enduranceBar->setValue(endurance);
}

void Window::checkStart() {
    if (running) {
        return;
    }
    const Vec3 p = glWidget->boarder.getPosition();
    if (race::inStartZone(p.x, p.z)) {
        running = true;
        raceTime.start();
        tell(RaceEvent{RaceEvent::ClockStarted});
    }
}

void Window::checkFinish() {
    if (!running) {
        return;
    }
    const Vec3 p = glWidget->boarder.getPosition();
    if (!race::inFinishZone(p.x, p.z)) {
        return;
    }
    running = false;
    // The clock shows its last time at once: it stays there as the run time.
    clockRepaint_->flush();
    checkGatesAndTell();
    // The total uses the time last shown on the clock.
    const long long total = race::totalMs(glWidget->boarder.gateFailures, shownMs);
    totalResultLCD->display(race::timeText(total));

    RaceEvent finished{RaceEvent::Finished};
    finished.runMs = shownMs;
    finished.gateFailures = glWidget->boarder.gateFailures;
    finished.totalMs = total;
    tell(finished);
}

void Window::checkGateFailures() {
    checkGatesAndTell();
    gateFailuresLCD->display(QString::number(glWidget->boarder.gateFailures));
    if (endurance <= 0) {
        statusLabel->setText(tr("      GAME OVER      "));
        running = false;
        totalResultLCD->display(QStringLiteral("99:99.999"));
        clockRepaint_->showNow(QStringLiteral("99:99.999"));
        gateFailuresLCD->display(QStringLiteral("99"));
        if (!gameOverTold_) {
            gameOverTold_ = true;
            tell(RaceEvent{RaceEvent::GameOver});
        }
    }
}

void Window::resetAll() {
    enduranceBar->setValue(enduranceMax);
    endurance = enduranceMax;

    running = false;
    elapsedMs = 0;
    clockRepaint_->showNow(QStringLiteral("00:00.000"));
    totalResultLCD->display(QStringLiteral("00:00.000"));

    // The previous boarder model may hold GL objects of the scene's context (a no-op before the
    // scene has been shown).
    glWidget->makeCurrent();
    glWidget->boarder.init();
    glWidget->doneCurrent();
    glWidget->camera.reset();

    statusLabel->setText(tr("                      "));
    gameOverTold_ = false;
}
