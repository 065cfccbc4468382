#include "devices/padmapping.h"

#include <algorithm>
#include <vector>

namespace {

// Buttons are numbered from 0 and axes from here on, so that a button and an axis of one
// controller are never the same control.
constexpr int firstAxisControl = 100;

}  // namespace

void PadMapping::button(int pad, Button b, bool down, std::int64_t nowMs) {
    PadAction action;
    switch (b) {
        case Button::A: action = PadAction::Faster; break;
        case Button::B: action = PadAction::Slower; break;
        case Button::Y: action = PadAction::NextCamera; break;
        case Button::Start: action = PadAction::NewGame; break;
        case Button::Back: action = PadAction::WireMode; break;
        case Button::DpadLeft: action = PadAction::Left; break;
        case Button::DpadRight: action = PadAction::Right; break;
        default: return;
    }
    const Control control{pad, static_cast<int>(b)};
    if (down) {
        hold(control, action, false, nowMs);
    } else {
        letGo(control);
    }
}

void PadMapping::axis(int pad, Axis a, int value, std::int64_t nowMs) {
    // The actions of the axis's negative and positive directions; a trigger has only the latter.
    PadAction negative = PadAction::Left;
    PadAction positive;
    bool twoWays = true;
    switch (a) {
        case Axis::LeftX: negative = PadAction::Left; positive = PadAction::Right; break;
        case Axis::RightX: negative = PadAction::FlyLeft; positive = PadAction::FlyRight; break;
        case Axis::RightY: negative = PadAction::FlyForward; positive = PadAction::FlyBack; break;
        case Axis::LeftTrigger: positive = PadAction::Slower; twoWays = false; break;
        case Axis::RightTrigger: positive = PadAction::Faster; twoWays = false; break;
        default: return;
    }
    value = std::clamp(value, -axisMax - 1, axisMax);
    if (!twoWays) {
        value = std::max(value, 0);
    }
    const Control control{pad, firstAxisControl + static_cast<int>(a)};
    const auto held = holders_.find(control);
    if (held != holders_.end()) {
        const int sign = held->second == positive ? 1 : -1;
        if (value * sign > deadZone - deadZone / 4) {
            return;  // still pushed the same way
        }
        letGo(control);
    }
    if (value > deadZone) {
        hold(control, positive, true, nowMs);
    } else if (twoWays && value < -deadZone) {
        hold(control, negative, true, nowMs);
    }
}

void PadMapping::tick(std::int64_t nowMs) {
    for (int i = 0; i < padActionCount; ++i) {
        ActionState& s = actions_[i];
        const int every = repeatOf(static_cast<PadAction>(i));
        if (s.holders == 0 || every == 0 || nowMs < s.nextMs) {
            continue;
        }
        const std::int64_t due = s.nextMs;
        act(static_cast<PadAction>(i), nowMs);
        // On time, or less than an interval late: keep the rhythm. Later: go on from now.
        if (nowMs - due < every) {
            s.nextMs = due + every;
        }
    }
}

void PadMapping::unplug(int pad) {
    std::vector<Control> gone;
    for (const auto& [control, action] : holders_) {
        if (control.first == pad) {
            gone.push_back(control);
        }
    }
    for (const Control& control : gone) {
        letGo(control);
    }
}

void PadMapping::hold(Control control, PadAction action, bool fromAxis, std::int64_t nowMs) {
    if (!holders_.emplace(control, action).second) {
        return;  // a repeated report of a control already down
    }
    ActionState& s = actions_[static_cast<int>(action)];
    if (++s.holders > 1) {
        return;  // another control holds it already: one stream of repeats
    }
    const int every = repeatOf(action);
    if (fromAxis && every > 0 && s.fired && nowMs - s.lastMs < every) {
        s.nextMs = s.lastMs + every;  // a stick flicking back does not act faster than held
        return;
    }
    act(action, nowMs);
}

void PadMapping::letGo(Control control) {
    const auto held = holders_.find(control);
    if (held == holders_.end()) {
        return;
    }
    const PadAction action = held->second;
    holders_.erase(held);
    ActionState& s = actions_[static_cast<int>(action)];
    if (--s.holders == 0 && s.pressed) {
        s.pressed = false;
        sink_->padAction(action, PadSink::Release);
    }
}

void PadMapping::act(PadAction action, std::int64_t nowMs) {
    ActionState& s = actions_[static_cast<int>(action)];
    const PadSink::Phase phase = s.pressed ? PadSink::Repeat : PadSink::Press;
    s.pressed = true;
    s.fired = true;
    s.lastMs = nowMs;
    s.nextMs = nowMs + repeatOf(action);
    sink_->padAction(action, phase);
}

int PadMapping::repeatOf(PadAction action) const {
    switch (action) {
        case PadAction::Left:
        case PadAction::Right:
        case PadAction::Faster:
        case PadAction::Slower: return repeatMs;
        case PadAction::FlyForward:
        case PadAction::FlyBack:
        case PadAction::FlyRight:
        case PadAction::FlyLeft: return flyRepeatMs;
        default: return 0;
    }
}
