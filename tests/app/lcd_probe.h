#ifndef TESTS_APP_LCD_PROBE_H
#define TESTS_APP_LCD_PROBE_H

#include <gtest/gtest.h>

#include <QImage>
#include <QLCDNumber>
#include <QString>

// A QLCDNumber does not give back the text it shows, so the probe draws a twin of the display
// with the expected text and compares the two pictures.
inline testing::AssertionResult lcdShows(QLCDNumber* lcd, const QString& text) {
    // Grabbing lays the display out first, which gives it its size in the window.
    const QImage shown = lcd->grab().toImage();
    QWidget holder;  // a child is drawn at its own size; a hidden top-level is not
    QLCDNumber twin(lcd->digitCount(), &holder);
    twin.setSegmentStyle(lcd->segmentStyle());
    twin.setFrameStyle(lcd->frameStyle());
    twin.setSmallDecimalPoint(lcd->smallDecimalPoint());
    twin.setPalette(lcd->palette());
    twin.setGeometry(QRect(QPoint(0, 0), lcd->size()));
    twin.display(text);
    if (shown == twin.grab().toImage()) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "the display does not show \"" << text.toStdString() << "\"";
}

#endif  // TESTS_APP_LCD_PROBE_H
