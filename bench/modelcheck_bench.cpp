// What the checks of a model file add to reading it: for each of the game's four models, the
// median time of reading it as the game did before the checks (Coin opens and reads the file),
// next to the game's read now (the file read without blocking, its text scanned, Coin reading the
// text, the scene checked), Coin reading the same text from memory, and the scan and the scene
// check alone. The game reads the boarder's
// model at start-up and again at every new game, the three others at start-up.
//
//   build/bench/modelcheck_bench [runs] [data-folder]
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "scene/inventorcheck.h"
#include "scene/inventormodel.h"
#include "scene/inventortext.h"

namespace {

// Milliseconds of one call of work.
double timeMs(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Median milliseconds of each of works, called in turn runs times, so that a busy spell of the
// machine falls on all of them alike.
std::vector<double> interleavedMediansMs(int runs,
                                         const std::vector<std::function<void()>>& works) {
    std::vector<std::vector<double>> times(works.size());
    for (int i = 0; i < runs; ++i) {
        for (size_t w = 0; w < works.size(); ++w) {
            times[w].push_back(timeMs(works[w]));
        }
    }
    std::vector<double> medians;
    for (std::vector<double>& t : times) {
        std::nth_element(t.begin(), t.begin() + runs / 2, t.end());
        medians.push_back(t[runs / 2]);
    }
    return medians;
}

// Lets Coin read what input holds, then frees the scene.
void readAndFree(SoInput& input) {
    SoSeparator* scene = SoDB::readAll(&input);
    input.closeFile();
    if (scene != nullptr) {
        scene->ref();
        scene->unref();
    }
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const std::string folder = argc > 2 ? argv[2] : SKALDORA_DATA_DIR;
    SoDB::init();
    std::printf("median of %d runs, milliseconds\n", runs);
    std::printf("%-12s %9s %9s %9s %9s %9s %9s\n", "model", "bytes", "before", "now", "buffer",
                "scan", "check");
    double before = 0.0, now = 0.0;
    for (const char* kind : {"boarder", "start", "finish", "tree"}) {
        const std::string path = folder + "/" + kind + ".iv";
        const std::string text = fileText(path);
        auto plainRead = [&] {
            SoInput input;
            if (input.openFile(path.c_str(), false)) {
                readAndFree(input);
            }
        };
        auto checkedRead = [&] {
            SoInput input;
            SoSeparator* scene = readInventorModel(input, path.c_str(), kind);
            if (scene != nullptr) {
                scene->ref();
                scene->unref();
            } else {
                std::cerr << path << " was refused\n";
            }
        };
        auto bufferRead = [&] {
            SoInput input;
            input.setBuffer(text.data(), text.size());
            readAndFree(input);
        };
        auto scanOnly = [&] {
            if (!scanInventorText(text).empty())
                std::cerr << path << " fails the scan\n";
        };
        const std::vector<double> reads =
            interleavedMediansMs(runs, {plainRead, checkedRead, bufferRead, scanOnly});
        const double plain = reads[0], checked = reads[1], buffer = reads[2], scan = reads[3];
        SoInput input;
        input.setBuffer(text.data(), text.size());
        SoSeparator* scene = SoDB::readAll(&input);
        input.closeFile();
        if (scene == nullptr) {
            std::cerr << path << " cannot be read\n";
            return 1;
        }
        scene->ref();
        const double check = interleavedMediansMs(runs, {[&] {
                                                      if (!checkInventorScene(scene).empty())
                                                          std::cerr << path << " fails the check\n";
                                                  }})[0];
        scene->unref();
        std::printf("%-12s %9zu %9.2f %9.2f %9.2f %9.3f %9.3f\n", kind, text.size(), plain, checked,
                    buffer, scan, check);
        before += plain;
        now += checked;
    }
    std::printf("%-12s %9s %9.2f %9.2f   added %.2f ms (%.1f%%)\n", "all four", "", before, now,
                now - before, 100.0 * (now - before) / before);
    return 0;
}
