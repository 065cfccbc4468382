#include "scene/frametrace.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Makes a German locale (decimal comma) in a folder of the test's own, from the system's locale
// sources, and switches LC_NUMERIC to it; puts back the numbers and LOCPATH it found when it goes.
// A bare system has no German locale installed, but glibc's localedef and the sources (Debian's
// "locales") make one.
class CommaLocale {
public:
    CommaLocale() {
        if (const char* numbers = std::setlocale(LC_NUMERIC, nullptr)) {
            numbers_ = numbers;
        }
        if (const char* locpath = std::getenv("LOCPATH")) {
            locpath_ = locpath;
            hadLocpath_ = true;
        }
        if (!dir_.isValid()) {
            return;
        }
        const std::string folder = dir_.path().toStdString();
        const std::string make = "localedef -i de_DE -f UTF-8 '" + folder +
                                 "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) {
            return;
        }
        setenv("LOCPATH", folder.c_str(), 1);
        active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, numbers_.c_str());
        if (hadLocpath_) {
            setenv("LOCPATH", locpath_.c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
    }
    bool active() const { return active_; }

private:
    std::string numbers_ = "C";
    std::string locpath_;
    bool hadLocpath_ = false;
    QTemporaryDir dir_;
    bool active_ = false;
};

}  // namespace

TEST(FrameTrace, AFramesLineHoldsItsFieldsInOrder) {
    TracedFrame frame;
    frame.frame = 12;
    frame.us = 1234567890123;
    frame.position = Vec3(100.5f, 4460.78f, -3.25f);
    frame.speed = 60.0f;
    frame.steps = 345;
    frame.drawnX = 101.25f;
    frame.drawnZ = -3.0f;
    EXPECT_EQ(traceLine(frame),
              "skaldora-trace frame 12 us 1234567890123 x 100.5000 y 4460.7798 z -3.2500 "
              "speed 60.0 step 345 drawn 101.2500 -3.0000");
}

TEST(FrameTrace, FieldsAddedAtTheEnd) {
    std::string line = "skaldora-trace frame 1";
    appendTraceField(line, "clock", 61234LL);
    appendTracePoint(line, "ghost", 300.125f, -12.5f);
    appendTraceField(line, "ratio", 0.5, 3);
    EXPECT_EQ(line, "skaldora-trace frame 1 clock 61234 ghost 300.1250 -12.5000 ratio 0.500");
}

TEST(FrameTrace, NumbersKeepTheirPointUnderACommaLocale) {
    const CommaLocale german;
    if (!german.active()) {
        GTEST_SKIP() << "no German locale could be made (localedef, Debian's locales)";
    }
    char printed[32];
    std::snprintf(printed, sizeof printed, "%.1f", 2.5);
    ASSERT_STREQ(printed, "2,5");  // the locale is in force

    TracedFrame frame;
    frame.position = Vec3(1.5f, 2.25f, -0.5f);
    frame.speed = 10.0f;
    frame.drawnX = 1.5f;
    frame.drawnZ = -0.5f;
    const std::string line = traceLine(frame);
    EXPECT_EQ(line.find(','), std::string::npos) << line;
    EXPECT_NE(line.find("x 1.5000 y 2.2500 z -0.5000 speed 10.0"), std::string::npos) << line;
}
