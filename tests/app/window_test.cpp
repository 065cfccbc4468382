#include <gtest/gtest.h>

#include <QLCDNumber>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/window.h"
#include "scene/glwidget.h"

TEST(Window, StartsWithItsTitleAndBlankDisplays) {
    Window window;
    EXPECT_EQ(window.windowTitle(), "Skaldora");
    EXPECT_EQ(window.exitButton->text(), "Exit");
    EXPECT_EQ(window.enduranceBar->value(), 100);
    EXPECT_EQ(window.statusLabel->text(), QString(35, ' '));
    EXPECT_EQ(window.glWidget->sizeHint(), QSize(700, 700));
}
