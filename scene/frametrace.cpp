#include "scene/frametrace.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// std::to_chars never looks at the locale: the point stays a point under any LC_NUMERIC.
void appendNumber(std::string& line, double value, int decimals) {
    char text[64];
    const auto written =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    line.append(text, written.ec == std::errc() ? written.ptr : text);
}

void appendNumber(std::string& line, long long value) {
    char text[24];
    const auto written = std::to_chars(text, text + sizeof text, value);
    line.append(text, written.ptr);
}

void appendName(std::string& line, const char* name) {
    line += ' ';
    line += name;
    line += ' ';
}

}  // namespace

bool traceWanted() {
    static const bool wanted = [] {
        const char* value = std::getenv("SKALDORA_TRACE");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return wanted;
}

std::string traceLine(const TracedFrame& frame) {
    std::string line = "skaldora-trace";
    appendTraceField(line, "frame", frame.frame);
    appendTraceField(line, "us", frame.us);
    appendTraceField(line, "x", frame.position.x, 4);
    appendTraceField(line, "y", frame.position.y, 4);
    appendTraceField(line, "z", frame.position.z, 4);
    appendTraceField(line, "speed", frame.speed, 1);
    appendTraceField(line, "step", frame.steps);
    appendTracePoint(line, "drawn", frame.drawnX, frame.drawnZ);
    return line;
}

void appendTraceField(std::string& line, const char* name, long long value) {
    appendName(line, name);
    appendNumber(line, value);
}

void appendTraceField(std::string& line, const char* name, double value, int decimals) {
    appendName(line, name);
    appendNumber(line, value, decimals);
}

void appendTracePoint(std::string& line, const char* name, float x, float z) {
    appendName(line, name);
    appendNumber(line, x, 4);
    line += ' ';
    appendNumber(line, z, 4);
}

void writeTraceLine(const std::string& line) {
    const std::string whole = line + '\n';
    std::fwrite(whole.data(), 1, whole.size(), stderr);
    std::fflush(stderr);
}
