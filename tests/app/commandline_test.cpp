#include "app/commandline.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

CommandLine parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"skaldora"};
    argv.insert(argv.end(), args);
    return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(CommandLine, HelpAndVersionAnswerWhateverElseIsGiven) {
    struct Case {
        std::initializer_list<const char*> args;
        CommandLine::Action action;
    } const cases[] = {
        {{"--help"}, CommandLine::ShowHelp},
        {{"-h"}, CommandLine::ShowHelp},
        {{"--version"}, CommandLine::ShowVersion},
        {{"--bogus", "--help"}, CommandLine::ShowHelp},
        {{"--frame-rate", "7", "--version"}, CommandLine::ShowVersion},
        {{"--version", "--help"}, CommandLine::ShowVersion},
        {{"-platform", "xcb", "-h"}, CommandLine::ShowHelp},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse(c.args).action, c.action) << *c.args.begin();
    }
}

TEST(CommandLine, ReadsTheGamesOwnOptions) {
    EXPECT_EQ(parse({}).action, CommandLine::Play);
    EXPECT_EQ(parse({}).frameRate, 0);

    const CommandLine all = parse({"--mute", "--frame-rate", "144", "--ghost", "friend.run"});
    EXPECT_EQ(all.action, CommandLine::Play);
    EXPECT_TRUE(all.mute);
    EXPECT_EQ(all.frameRate, 144);
    EXPECT_EQ(all.ghostFile, "friend.run");
    EXPECT_FALSE(all.noGhost);

    const CommandLine joined = parse({"--frame-rate=20", "--ghost=a=b.run", "--no-ghost"});
    EXPECT_EQ(joined.action, CommandLine::Play);
    EXPECT_EQ(joined.frameRate, 20);
    EXPECT_EQ(joined.ghostFile, "a=b.run");
    EXPECT_TRUE(joined.noGhost);

    EXPECT_EQ(parse({"--frame-rate", "240"}).frameRate, 240);
}

TEST(CommandLine, LeavesTheToolkitsOptionsAndPlainWordsAlone) {
    const CommandLine line = parse({"-platform", "offscreen", "--display", ":3", "-geometry",
                                    "800x600+0+0", "-reverse", "-style=Fusion", "level1",
                                    "-qmljsdebugger=port:1234"});
    EXPECT_EQ(line.action, CommandLine::Play) << line.error;
    // The value of a toolkit option is not read as an option of the game's.
    EXPECT_EQ(parse({"-title", "--bogus"}).action, CommandLine::Play);
}

TEST(CommandLine, RefusesWhatItDoesNotKnowInOneLinePointingAtHelp) {
    struct Case {
        std::initializer_list<const char*> args;
        const char* named;  // what the line must name
    } const cases[] = {
        {{"--bogus"}, "'--bogus'"},
        {{"-x"}, "'-x'"},
        {{"--mute", "--helpme"}, "'--helpme'"},
        {{"--reverse=1"}, "'--reverse=1'"},
        {{"--mute=yes"}, "--mute"},
        {{"--frame-rate"}, "--frame-rate"},
        {{"--frame-rate", "19"}, "'19'"},
        {{"--frame-rate", "241"}, "'241'"},
        {{"--frame-rate", "60fps"}, "'60fps'"},
        {{"--frame-rate", "-60"}, "'-60'"},
        {{"--frame-rate", "0060"}, "'0060'"},
        {{"--frame-rate="}, "''"},
        {{"--ghost"}, "--ghost"},
        {{"--ghost="}, "--ghost"},
    };
    for (const Case& c : cases) {
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Refuse) << *c.args.begin();
        EXPECT_NE(line.error.find(c.named), std::string::npos) << line.error;
        EXPECT_EQ(line.error.rfind("skaldora: ", 0), 0u) << line.error;
        EXPECT_NE(line.error.find("--help"), std::string::npos) << line.error;
        EXPECT_EQ(line.error.find('\n'), std::string::npos) << line.error;
    }
    // The first fault is the one named.
    EXPECT_NE(parse({"--one", "--two"}).error.find("'--one'"), std::string::npos);
}

TEST(CommandLine, TheVersionAndTheHelpNameTheGame) {
    EXPECT_EQ(versionText().rfind("skaldora ", 0), 0u);
    EXPECT_GT(versionText().size(), std::string("skaldora \n").size());
    EXPECT_EQ(versionText().back(), '\n');
    const std::string help = usageText();
    for (const char* word : {"--help", "--version", "--mute", "--frame-rate", "--ghost",
                             "--no-ghost", "SKALDORA_MUTE", "SKALDORA_TRACE", "NEVRA_ISA",
                             "XDG_CONFIG_HOME", "skaldora.ini"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

// Without a display the toolkit would abort the game; the game says so first, unless a platform
// or a display was chosen, which is the toolkit's to judge.
TEST(CommandLine, NoDisplayIsToldBeforeTheToolkitStarts) {
    const struct {
        std::vector<const char*> arguments;
        const char *platform, *display, *wayland;
        bool told;
    } cases[] = {
        {{}, nullptr, nullptr, nullptr, true},
        {{}, "", "", "", true},
        {{}, "xcb", nullptr, nullptr, true},
        {{}, "xcb", nullptr, "wayland-0", true},  // xcb chosen: Wayland is no help
        {{"--mute"}, nullptr, nullptr, nullptr, true},
        {{}, nullptr, ":0", nullptr, false},
        {{}, "xcb", ":0", nullptr, false},
        {{}, nullptr, nullptr, "wayland-0", false},
        {{}, "offscreen", nullptr, nullptr, false},
        {{}, "wayland", nullptr, nullptr, false},
        {{"-platform", "offscreen"}, nullptr, nullptr, nullptr, false},
        {{"--platform=minimal"}, nullptr, nullptr, nullptr, false},
        {{"-display", ":3"}, nullptr, nullptr, nullptr, false},
        {{"--display", ":3"}, "xcb", nullptr, nullptr, false},
        {{"-displayed"}, nullptr, nullptr, nullptr, true},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"skaldora"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const std::string line = missingDisplayProblem(static_cast<int>(argv.size()), argv.data(),
                                                       c.platform, c.display, c.wayland);
        EXPECT_EQ(!line.empty(), c.told) << "row " << &c - cases;
        if (c.told) {
            EXPECT_EQ(line.rfind("skaldora: no display", 0), 0u) << line;
            EXPECT_EQ(line.find('\n'), std::string::npos);
        }
    }
}
