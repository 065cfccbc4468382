#ifndef SCENE_FRAMETRACE_H
#define SCENE_FRAMETRACE_H

#include <string>

#include "scene/vec3.h"

// The trace of the frames the scene draws, for benchmarks and tests that watch the game from
// outside: with SKALDORA_TRACE=1 in the environment, one line per drawn frame on standard error.
// Numbers are written with a decimal point whatever the locale says (the toolkit takes the
// locale of the environment, which may use commas).
//
// A frame's line, fields separated by single spaces:
//   skaldora-trace frame <n> us <t> x <x> y <y> z <z> speed <v> step <s> drawn <x> <z> [more]
// n counts the frames drawn, t is the monotonic clock in microseconds (other processes read the
// same clock), x y z and v are the boarder's state as the race rules see it (metres, m/s), s the
// motion steps taken since the scene was made, and "drawn" where the frame drew the boarder.
// Layers drawn into the frame may add fields at the end (e.g. "clock <ms>").

// What the fixed fields of a frame's line say.
struct TracedFrame {
    long long frame = 0;
    long long us = 0;
    Vec3 position{0.0f, 0.0f, 0.0f};
    float speed = 0.0f;
    long long steps = 0;
    float drawnX = 0.0f;
    float drawnZ = 0.0f;
};

// True when SKALDORA_TRACE is 1 (read once).
bool traceWanted();

// The line of a frame without its end of line.
std::string traceLine(const TracedFrame& frame);

// Appends " <name> <value>" to a trace line: a whole number, or a real number with the given
// count of decimals, always with a decimal point.
void appendTraceField(std::string& line, const char* name, long long value);
void appendTraceField(std::string& line, const char* name, double value, int decimals);
// Appends " <name> <x> <z>", both with four decimals (a point of the slope).
void appendTracePoint(std::string& line, const char* name, float x, float z);

// Writes a whole line (an end of line is added) to standard error at once.
void writeTraceLine(const std::string& line);

#endif  // SCENE_FRAMETRACE_H
