#include "app/commandline.h"

#include <initializer_list>
#include <iterator>

#ifndef SKALDORA_VERSION
#define SKALDORA_VERSION "unknown"
#endif

namespace {

// The toolkit's options that take a value, as the toolkit reads them (one dash; it accepts two).
const char* const toolkitWithValue[] = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
    "-geometry", "-qwindowicon", "-icon", "-qwindowtitle", "-title", "-session", "-style",
    "-stylesheet", "-display", "-name", "-visual", "-qmljsdebugger",
};
// The toolkit's options that stand alone.
const char* const toolkitFlags[] = {
    "-reverse", "-testability", "-widgetcount", "-nograb", "-dograb", "-sync",
};

bool oneOf(const std::string& word, const char* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (word == names[i]) {
            return true;
        }
    }
    return false;
}

// A frame rate in 20..240 written as a plain decimal number; -1 for anything else.
int frameRateOf(const std::string& text) {
    if (text.empty() || text.size() > 3) {
        return -1;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value >= CommandLine::minFrameRate && value <= CommandLine::maxFrameRate ? value : -1;
}

CommandLine refused(const std::string& why) {
    CommandLine line;
    line.action = CommandLine::Refuse;
    line.error = "skaldora: " + why + "; see skaldora --help";
    return line;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    std::string firstError;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr || argv[i][0] != '-') {
            continue;  // a plain word: the toolkit ignores it, and so does the game
        }
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            line.action = CommandLine::ShowHelp;
            return line;
        }
        if (arg == "--version") {
            line.action = CommandLine::ShowVersion;
            return line;
        }
        if (!firstError.empty()) {
            continue;  // help or version further on still answer
        }

        // The game's options, with their value after '=' or in the next argument.
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const bool inlineValue = equals != std::string::npos;
        const std::string attached = inlineValue ? arg.substr(equals + 1) : std::string();
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = attached;
                return true;
            }
            if (i + 1 < argc && argv[i + 1] != nullptr) {
                out = argv[++i];
                return true;
            }
            return false;
        };
        if (name == "--mute" || name == "--no-ghost") {
            if (inlineValue) {
                firstError = "option " + name + " takes no value";
            } else if (name == "--mute") {
                line.mute = true;
            } else {
                line.noGhost = true;
            }
            continue;
        }
        if (name == "--frame-rate") {
            std::string text;
            if (!value(text)) {
                firstError = "option --frame-rate needs a number of frames per second";
            } else if ((line.frameRate = frameRateOf(text)) < 0) {
                line.frameRate = 0;
                firstError = "--frame-rate '" + text + "' is not a whole number from " +
                             std::to_string(CommandLine::minFrameRate) + " to " +
                             std::to_string(CommandLine::maxFrameRate);
            }
            continue;
        }
        if (name == "--ghost") {
            if (!value(line.ghostFile) || line.ghostFile.empty()) {
                firstError = "option --ghost needs the name of a run file";
            }
            continue;
        }

        // The toolkit's options, left for the toolkit with their values.
        const std::string single = name.compare(0, 2, "--") == 0 ? name.substr(1) : name;
        if (oneOf(single, toolkitWithValue, std::size(toolkitWithValue))) {
            if (!inlineValue) {
                ++i;
            }
            continue;
        }
        if (!inlineValue && oneOf(single, toolkitFlags, std::size(toolkitFlags))) {
            continue;
        }
        firstError = "unknown option '" + arg + "'";
    }
    return firstError.empty() ? line : refused(firstError);
}

std::string usageText() {
    return "Usage: skaldora [OPTION]...\n"
           "A 3D snowboard slalom: steer the boarder from the start arch past ten red and blue\n"
           "gates to the finish, against the clock.\n"
           "\n"
           "Options:\n"
           "  -h, --help          print this help and exit\n"
           "      --version       print the version and exit\n"
           "      --mute          play without sound\n"
           "      --frame-rate N  draw N frames a second, 20 to 240 (20: one frame per motion\n"
           "                      step); the default is the screen's refresh rate\n"
           "      --ghost FILE    race against the run kept in FILE (a friend's best run)\n"
           "                      instead of your own best run\n"
           "      --no-ghost      show no ghost\n"
           "The toolkit's own options (-platform, -display, -geometry, -style, ...) work too.\n"
           "\n"
           "Environment:\n"
           "  SKALDORA_MUTE   set to anything but 0, false, no, off or empty: play without sound\n"
           "  SKALDORA_TRACE  set to 1: a line about every frame drawn, on standard error\n"
           "  NEVRA_ISA       baseline, v3 or v4: the image library's code path (default: the\n"
           "                  widest the processor runs)\n"
           "  NEVRA_THREADS   the number of threads the image library may use\n"
           "  XDG_CONFIG_HOME where the personal best is kept (default ~/.config)\n"
           "  XDG_DATA_HOME   where the best run is kept (default ~/.local/share)\n"
           "  DISPLAY         the X display to open the window on\n"
           "\n"
           "Files:\n"
           "  boarder.iv, start.iv, finish.iv, tree.iv, snow16.bmp, panorama20480256.bmp\n"
           "      the models and pictures, read from the working directory (the launcher\n"
           "      starts the game in its data folder; from a checkout, use scripts/play)\n"
           "  sounds/*.wav\n"
           "      the sound cues, beside the data files\n"
           "  $XDG_CONFIG_HOME/skaldora/skaldora.ini\n"
           "      the personal best: the best total and the best clean run\n"
           "  $XDG_DATA_HOME/skaldora/best.run\n"
           "      the best run, raced as the ghost\n"
           "\n"
           "Keys: Up/Down faster/slower, Left/Right turn, F1 next camera; click into the scene\n"
           "first. The manual page, skaldora(6), has the rest.\n";
}

std::string missingDisplayProblem(int argc, const char* const* argv, const char* platform,
                                  const char* display, const char* waylandDisplay) {
    auto set = [](const char* value) { return value != nullptr && value[0] != '\0'; };
    const bool xcbChosen = set(platform) && std::string(platform) == "xcb";
    if ((set(platform) && !xcbChosen) || set(display) || (!xcbChosen && set(waylandDisplay))) {
        return std::string();
    }
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i] != nullptr ? argv[i] : "";
        for (const char* option : {"platform", "display"}) {
            const std::string one = std::string("-") + option;
            if (word == one || word == "-" + one || word.rfind(one + "=", 0) == 0 ||
                word.rfind("-" + one + "=", 0) == 0) {
                return std::string();
            }
        }
    }
    return "skaldora: no display to open the window on (DISPLAY is not set); start the game in a "
           "desktop session, or under xvfb-run";
}

std::string versionText() { return std::string("skaldora ") + SKALDORA_VERSION + "\n"; }
