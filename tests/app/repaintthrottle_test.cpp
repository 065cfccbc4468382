// The repaint throttle: a text changed a thousand times a second reaches its display at most once
// an interval, the last change always reaches it, and a result shown at once is never replaced by
// an older text held back.
#include "app/repaintthrottle.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <vector>

namespace {

// A throttle 16 ms apart and the texts it has shown, in order.
class RepaintThrottleTest : public testing::Test {
protected:
    std::vector<QString> shown;
    RepaintThrottle throttle{[this](const QString& text) { shown.push_back(text); }, 16};
};

}  // namespace

TEST_F(RepaintThrottleTest, ShowsAtMostOnceAnIntervalAndTheLastChangeArrives) {
    QElapsedTimer wall;
    wall.start();
    int changes = 0;
    while (wall.elapsed() < 320) {
        throttle.change(QString::number(++changes));
        QTest::qWait(1);
    }
    const qint64 ms = wall.elapsed();
    const int shows = static_cast<int>(shown.size());
    EXPECT_GT(changes, shows * 3);  // far fewer shows than changes
    EXPECT_LE(shows, ms / 16 + 2);
    EXPECT_GE(shows, 3);  // but it keeps showing the time going on
    // Each text shown is newer than the one before.
    for (size_t i = 1; i < shown.size(); ++i) {
        EXPECT_GT(shown[i].toInt(), shown[i - 1].toInt());
    }
    // The last change arrives once the changes stop. How soon is no matter for a test: a busy
    // machine may hold the event loop up for longer than an interval.
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.back() == QString::number(changes); }, 2000))
        << shown.back().toStdString() << " shown of " << changes;
    EXPECT_FALSE(throttle.holding());
    const size_t after = shown.size();
    QTest::qWait(40);
    EXPECT_EQ(shown.size(), after);  // nothing more comes of its own
}

TEST_F(RepaintThrottleTest, AChangeAfterAQuietIntervalIsShownAtOnce) {
    for (const char* text : {"a", "b", "c"}) {
        QTest::qWait(40);
        throttle.change(QString::fromLatin1(text));
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), text);
    }
}

TEST_F(RepaintThrottleTest, ShowNowAndFlushShowAtOnceAndNoHeldTextComesAfter) {
    throttle.change("1");
    throttle.change("2");  // within the interval: held
    ASSERT_TRUE(throttle.holding());
    EXPECT_EQ(shown, std::vector<QString>{"1"});
    throttle.flush();
    EXPECT_EQ(shown, (std::vector<QString>{"1", "2"}));
    throttle.flush();  // nothing held: nothing shown again
    EXPECT_EQ(shown.size(), 2u);

    throttle.change("3");  // held
    throttle.showNow("result");
    EXPECT_EQ(shown.back(), "result");
    QTest::qWait(60);  // the held "3" must not replace it when its interval is over
    EXPECT_EQ(shown.back(), "result");
    EXPECT_FALSE(throttle.holding());
}
