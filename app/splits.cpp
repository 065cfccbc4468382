#include "app/splits.h"

#include <cassert>
#include <cstdio>

#include "scene/frametrace.h"

SplitStanding splitStanding(const Split& split) {
    assert(split.hasBest());
    const long long d = split.differenceMs();
    return d < 0 ? SplitStanding::Ahead : d > 0 ? SplitStanding::Behind : SplitStanding::Level;
}

std::string differenceText(long long differenceMs) {
    const char* sign = differenceMs < 0 ? "\u2212" : differenceMs > 0 ? "+" : "\u00b1";
    const unsigned long long magnitude = differenceMs < 0
                                             ? 0ULL - static_cast<unsigned long long>(differenceMs)
                                             : static_cast<unsigned long long>(differenceMs);
    char digits[48];
    std::snprintf(digits, sizeof digits, "%llu.%03llu", magnitude / 1000, magnitude % 1000);
    return sign + std::string(digits);
}

std::string splitText(const Split& split) {
    assert(split.hasBest());
    if (split.kind == Split::Finish) {
        return "Finish " + differenceText(split.differenceMs());
    }
    std::string text =
        "Gate " + std::to_string(split.gate + 1) + ' ' + differenceText(split.differenceMs());
    if (split.wrongSide) {
        text += " wrong side";
    }
    return text;
}

std::string splitTraceLine(const Split& split) {
    std::string line = "skaldora-trace split";
    appendTraceField(line, "gate", static_cast<long long>(split.gate));
    appendTraceField(line, "ms", split.ms);
    if (split.hasBest()) {
        appendTraceField(line, "best", split.bestMs);
    } else {
        line += " best -";
    }
    appendTraceField(line, "wrong", split.wrongSide ? 1LL : 0LL);
    return line;
}

void SplitBoard::show(const Split& split, long long nowMs) {
    shown_ = split;
    since_ = nowMs;
}

std::optional<Split> SplitBoard::shown(long long nowMs) const {
    if (!shown_ || nowMs - since_ >= showMs || nowMs < since_) {
        return std::nullopt;
    }
    return shown_;
}
