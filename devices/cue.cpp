#include "devices/cue.h"

const char* cueFileName(Cue cue) {
    switch (cue) {
        case Cue::Start:
            return "start.wav";
        case Cue::GateRight:
            return "gate_right.wav";
        case Cue::GateWrong:
            return "gate_wrong.wav";
        case Cue::Finish:
            return "finish.wav";
        case Cue::GameOver:
            return "gameover.wav";
        case Cue::Carve:
            return "carve.wav";
    }
    return "";
}
