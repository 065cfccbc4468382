// When the player has asked for quiet: --mute on the command line, SKALDORA_MUTE in the
// environment.
#include "devices/soundoptions.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SoundOptions, MuteComesFromTheCommandLineOrTheEnvironment) {
    const struct {
        std::vector<const char*> arguments;  // after the program's name
        const char* variable;                // SKALDORA_MUTE, null when not set
        bool muted;
    } cases[] = {
        {{}, nullptr, false},
        {{"--mute"}, nullptr, true},
        {{"-platform", "offscreen", "--mute", "-style", "Fusion"}, nullptr, true},
        {{"--muted"}, nullptr, false},
        {{"-mute"}, nullptr, false},
        {{"mute"}, nullptr, false},
        {{}, "1", true},
        {{}, "yes", true},
        {{}, "true", true},
        {{}, "on", true},
        {{}, " ", true},
        {{}, "00", true},
        {{}, "nope", true},
        {{}, "0", false},
        {{}, "", false},
        {{}, "false", false},
        {{}, "no", false},
        {{}, "off", false},
        {{}, "FALSE", false},
        {{}, "Off", false},
        {{"--mute"}, "false", true},
        {{"--mute"}, "0", true},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"skaldora"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(soundMuted(static_cast<int>(argv.size()), argv.data(), c.variable), c.muted)
            << "row " << &c - cases;
    }
    // The program's own name is no option, whatever it is.
    const char* named[] = {"--mute"};
    EXPECT_FALSE(soundMuted(1, named, nullptr));
}
