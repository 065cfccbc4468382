#ifndef APP_COMMANDLINE_H
#define APP_COMMANDLINE_H

#include <string>

// The game's own command-line options, read before the toolkit sees the arguments, so that
// --help and --version answer without a display.
//
// The game's options are -h, --help, --version, --mute, --frame-rate N, --ghost FILE and
// --no-ghost (a value may also follow an '=': --frame-rate=60). The toolkit's own options
// (-platform NAME, -display NAME, -geometry WxH+X+Y, -style NAME, -reverse and the others Qt
// documents, with one dash or two) are passed over with their values and left in the arguments
// for the toolkit. Anything else that starts with a dash is an unknown option; a word that does
// not is ignored, as the toolkit ignores it. A plain value type.
struct CommandLine {
    enum Action {
        Play,         // start the game
        ShowHelp,     // print usageText() on standard output and end with 0
        ShowVersion,  // print versionText() on standard output and end with 0
        Refuse,       // print error on standard error and end with 2
    };

    static constexpr int minFrameRate = 20;   // only the motion steps' own frames
    static constexpr int maxFrameRate = 240;

    Action action = Play;
    bool mute = false;      // --mute
    int frameRate = 0;      // --frame-rate; 0 when not given (the screen's refresh rate)
    bool noGhost = false;   // --no-ghost
    std::string ghostFile;  // --ghost; empty when not given (the player's own best run)
    std::string error;      // Refuse: the one line to print, without its end of line
};

// Reads argv[1] to argv[argc - 1] (argv[0] is the program). The first of --help (or -h) and
// --version decides the action when given; otherwise an unknown option, a missing value or a
// frame rate outside 20..240 refuses, naming the argument and pointing at --help.
CommandLine parseCommandLine(int argc, const char* const* argv);

// Why the toolkit would find no display to open the window on, judged before it starts (it
// would abort the program): no platform chosen (QT_QPA_PLATFORM, whose value is platform, empty
// or null, or "xcb"; no -platform or -display among the arguments), and neither DISPLAY
// (display) nor, without a chosen platform, WAYLAND_DISPLAY (waylandDisplay) set. The one line
// to print, without its end of line; empty when there is a display, or when the choice is the
// toolkit's.
std::string missingDisplayProblem(int argc, const char* const* argv, const char* platform,
                                  const char* display, const char* waylandDisplay);

// The usage text: the options, the environment variables the game reads, and where it reads
// its data and keeps the player's records. Ends with an end of line.
std::string usageText();

// "skaldora" and the version the build carries, e.g. "skaldora 0.1.0", with an end of line.
std::string versionText();

#endif  // APP_COMMANDLINE_H
