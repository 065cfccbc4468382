// The repaint throttle: a widget changed a thousand times a second is repainted at most once an
// interval, and the last change reaches the screen.
#include "app/repaintthrottle.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

namespace {

// A widget that remembers the value it last painted.
class Counter : public QWidget {
public:
    void setValue(int v) {
        value = v;
        update();
    }
    int value = 0;
    int painted = -1;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        painted = value;
        ++paints;
    }
};

// A shown widget and its throttle, 16 ms apart.
class RepaintThrottleTest : public testing::Test {
protected:
    void SetUp() override {
        widget.resize(100, 30);
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
        QTest::qWait(50);
    }

    Counter widget;
    RepaintThrottle throttle{&widget, 16};
};

}  // namespace

TEST_F(RepaintThrottleTest, RepaintsAtMostOnceAnIntervalAndShowsTheLastChange) {
    const int before = widget.paints;
    QElapsedTimer wall;
    wall.start();
    int changes = 0;
    while (wall.elapsed() < 320) {
        throttle.changing();
        widget.setValue(++changes);
        QTest::qWait(1);
    }
    const qint64 ms = wall.elapsed();
    const int paints = widget.paints - before;
    EXPECT_GT(changes, paints * 3);  // far fewer paints than changes
    EXPECT_LE(paints, ms / 16 + 2);
    EXPECT_GE(paints, 3);  // but it keeps showing the time going on
    // The last change reaches the screen once the changes stop. How soon is no matter for a test:
    // a busy machine may hold the event loop up for longer than an interval.
    EXPECT_TRUE(QTest::qWaitFor([&] { return widget.painted == changes; }, 2000))
        << widget.painted << " painted of " << changes;
    EXPECT_TRUE(widget.updatesEnabled());
}

TEST_F(RepaintThrottleTest, AChangeAfterAQuietIntervalIsShownAtOnce) {
    for (int v : {1, 2, 3}) {
        QTest::qWait(40);
        throttle.changing();
        widget.setValue(v);
        widget.repaint();  // painted now, not held back
        EXPECT_EQ(widget.painted, v);
    }
}
