#include <gtest/gtest.h>

#include <QApplication>
#include <QBoxLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/window.h"
#include "scene/glwidget.h"
#include "support/cout_capture.h"

namespace {

const char* const goalText =
    "GOAL: \nmove your boarder across the slope smoothly.\nBe as fast as possible but pay "
    "attention "
    "to the gates!\nThe red ones have to be passed right hand\nthe blue ones left hand.\nEvery "
    "missed gate result in 5 seconds penalty time.\nTake care of your endurance, it becomes less "
    "with ongoing time.\n\nCONTROL:\nmove your boarder with the UP/ DOWN/ RIGHT/ LEFT keys.\nWith "
    "F1 it is possible to control the camera.\n\nGOOD LUCK!";

// What an LCD shows, as a picture: QLCDNumber keeps no copy of its text.
QImage lcdPicture(QLCDNumber* lcd) {
    return lcd->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A display like the window's, of its size, showing text.
QImage referencePicture(const QLCDNumber* like, const QString& text) {
    QLCDNumber lcd(like->digitCount());
    lcd.setSegmentStyle(like->segmentStyle());
    lcd.setPalette(like->palette());
    lcd.resize(like->size());
    lcd.display(text);
    lcd.show();
    return lcdPicture(&lcd);
}

QString labelText(QLayoutItem* item) {
    auto* label = item != nullptr ? qobject_cast<QLabel*>(item->widget()) : nullptr;
    return label != nullptr ? label->text() : QString("(not a label)");
}

}  // namespace

TEST(Window, StartsWithItsTitleTextsAndBlankDisplays) {
    Window window;
    EXPECT_EQ(window.windowTitle(), "Skaldora");
    EXPECT_EQ(window.wireSolidButton->text(), "Wire/Solid Mode");
    EXPECT_EQ(window.exitButton->text(), "Exit");
    EXPECT_EQ(window.newGameButton->text(), "New Game");
    EXPECT_EQ(window.goalLabel->text(), goalText);
    EXPECT_EQ(window.goalLabel->frameStyle(), QFrame::Panel | QFrame::Sunken);
    EXPECT_EQ(window.statusLabel->text(), QString(35, ' '));
    EXPECT_EQ(window.elapsedMs, 0);
    EXPECT_FALSE(window.running);
    EXPECT_FALSE(window.raceTime.isValid());
    EXPECT_EQ(window.endurance, 100);
    EXPECT_EQ(window.enduranceMin, 0);
    EXPECT_EQ(window.enduranceMax, 100);
}

TEST(Window, DisplaysAreFilledRedSegmentLCDs) {
    Window window;
    // The displays as constructed: no race slot may run before the pictures are taken.
    for (QTimer* timer : window.findChildren<QTimer*>()) {
        timer->stop();
    }
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const struct {
        QLCDNumber* lcd;
        int digits;
        const char* text;
    } displays[] = {
        {window.timerLCD, 9, "00:00.000"},
        {window.gateFailuresLCD, 2, "00"},
        {window.totalResultLCD, 9, "00:00.000"},
    };
    for (const auto& d : displays) {
        EXPECT_EQ(d.lcd->digitCount(), d.digits) << d.text;
        EXPECT_EQ(d.lcd->segmentStyle(), QLCDNumber::Filled) << d.text;
        EXPECT_EQ(d.lcd->palette().color(QPalette::Light), QColor(Qt::red)) << d.text;
        const QImage shown = lcdPicture(d.lcd);
        EXPECT_EQ(shown, referencePicture(d.lcd, d.text)) << d.text;
        EXPECT_NE(shown, referencePicture(d.lcd, "88")) << d.text;
    }
}

TEST(Window, FocusPolicies) {
    Window window;
    EXPECT_EQ(window.glWidget->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(window.timerLCD->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(window.gateFailuresLCD->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(window.totalResultLCD->focusPolicy(), Qt::NoFocus);
}

TEST(Window, EnduranceBarIsFullVerticalWithoutText) {
    Window window;
    QProgressBar* bar = window.enduranceBar;
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(bar->orientation(), Qt::Vertical);
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_NE(bar->style(), QApplication::style());  // a style of its own
}

TEST(Window, LaysOutSceneAtLeftAndPanelAtRight) {
    Window window;
    auto* main = qobject_cast<QHBoxLayout*>(window.layout());
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(main->count(), 2);
    EXPECT_EQ(main->itemAt(0)->widget(), window.glWidget);
    auto* panel = qobject_cast<QVBoxLayout*>(main->itemAt(1)->layout());
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel->count(), 2);
    auto* controls = qobject_cast<QVBoxLayout*>(panel->itemAt(0)->layout());
    auto* endurance = qobject_cast<QHBoxLayout*>(panel->itemAt(1)->layout());
    ASSERT_NE(controls, nullptr);
    ASSERT_NE(endurance, nullptr);

    ASSERT_EQ(controls->count(), 10);
    EXPECT_EQ(controls->itemAt(0)->widget(), window.wireSolidButton);
    EXPECT_EQ(controls->itemAt(1)->widget(), window.exitButton);
    EXPECT_EQ(controls->itemAt(2)->widget(), window.newGameButton);
    EXPECT_EQ(controls->itemAt(3)->widget(), window.goalLabel);
    EXPECT_EQ(labelText(controls->itemAt(4)), "Timer");
    EXPECT_EQ(controls->itemAt(5)->widget(), window.timerLCD);
    EXPECT_EQ(labelText(controls->itemAt(6)), "Gate Failures");
    EXPECT_EQ(controls->itemAt(7)->widget(), window.gateFailuresLCD);
    EXPECT_EQ(labelText(controls->itemAt(8)), "Total Result");
    EXPECT_EQ(controls->itemAt(9)->widget(), window.totalResultLCD);

    ASSERT_EQ(endurance->count(), 3);
    EXPECT_EQ(labelText(endurance->itemAt(0)), "Endurance");
    EXPECT_EQ(endurance->itemAt(1)->widget(), window.enduranceBar);
    EXPECT_EQ(endurance->itemAt(2)->widget(), window.statusLabel);

    for (QBoxLayout* box :
         {static_cast<QBoxLayout*>(main), static_cast<QBoxLayout*>(panel),
          static_cast<QBoxLayout*>(controls), static_cast<QBoxLayout*>(endurance)}) {
        for (int k = 0; k < box->count(); ++k) {
            EXPECT_EQ(box->stretch(k), 0);
            EXPECT_EQ(box->itemAt(k)->alignment(), Qt::Alignment());
        }
    }
}

TEST(Window, RunsItsThreeRepeatingTimers) {
    Window window;
    const QList<QTimer*> timers = window.findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(timers.size(), 3);
    const int intervals[] = {1, 100, 1000};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(timers[k]->interval(), intervals[k]);
        EXPECT_TRUE(timers[k]->isActive());
        EXPECT_FALSE(timers[k]->isSingleShot());
    }
}

TEST(Window, MetaObjectHasSixProtectedSlotsInOrder) {
    const QMetaObject& meta = Window::staticMetaObject;
    EXPECT_STREQ(meta.className(), "Window");
    EXPECT_EQ(meta.superClass(), &QWidget::staticMetaObject);
    EXPECT_EQ(meta.methodOffset(), QWidget::staticMetaObject.methodCount());
    EXPECT_EQ(meta.propertyCount(), meta.propertyOffset());
    EXPECT_EQ(meta.enumeratorCount(), meta.enumeratorOffset());
    EXPECT_EQ(meta.classInfoCount(), meta.classInfoOffset());
    const char* const slotNames[] = {"showTime()",    "setProgressBarValue()", "checkStart()",
                                     "checkFinish()", "checkGateFailures()",   "resetAll()"};
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), 6);
    for (int k = 0; k < 6; ++k) {
        const QMetaMethod method = meta.method(meta.methodOffset() + k);
        EXPECT_EQ(method.methodSignature(), slotNames[k]);
        EXPECT_EQ(method.methodType(), QMetaMethod::Slot);
        EXPECT_EQ(method.access(), QMetaMethod::Protected);
    }
    Window window;
    EXPECT_EQ(window.qt_metacast("Window"), &window);
    EXPECT_EQ(window.qt_metacast("QWidget"), static_cast<QWidget*>(&window));
    EXPECT_EQ(window.qt_metacast("GLWidget"), nullptr);
}

TEST(Window, WireSolidButtonTogglesTheScene) {
    Window window;
    CoutCapture out;
    window.wireSolidButton->click();
    EXPECT_EQ(window.glWidget->wireMode, 1);
    window.wireSolidButton->click();
    EXPECT_EQ(window.glWidget->wireMode, 0);
    EXPECT_EQ(out.text(), "Wire Mode:\nSolid Mode:\n");
}

TEST(Window, ExitClosesTheWindow) {
    Window window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.exitButton->click();
    EXPECT_FALSE(window.isVisible());
}

TEST(Window, ClickingTakesTheKeyboardFocus) {
    Window window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // The window's own focus child: without a window manager the window may never become active.
    QTest::mouseClick(window.glWidget, Qt::LeftButton);
    EXPECT_EQ(window.focusWidget(), window.glWidget);
    QTest::mouseClick(window.timerLCD, Qt::LeftButton);
    EXPECT_EQ(window.focusWidget(), window.timerLCD);
    QTest::mouseClick(window.gateFailuresLCD, Qt::LeftButton);
    EXPECT_EQ(window.focusWidget(), window.timerLCD);  // a display without focus
}
