#include "app/commandline.h"

#include <gtest/gtest.h>

#include <initializer_list>
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
