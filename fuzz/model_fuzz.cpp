// libFuzzer target for the whole model path: each input is a model file's text, read as the game
// reads it (readInventorText: the text scan, Coin's reader, the scene check) and, when admitted,
// drawn with Coin into a GL context twice (the second frame draws from the caches the first
// built), as the game draws its first frames. Needs an X display with GLX (Xvfb and Mesa's
// software GL will do): the drawing is what crashed and froze in the damage reports, so it is
// fuzzed too. Run it with a time and memory limit per input (-timeout, -rss_limit_mb,
// -malloc_limit_mb); scripts/fuzz does.
//
// With MODEL_FUZZ_TIMES set, the time to read and check each input and to draw each frame goes to
// standard error, for measuring the largest models admitted.
//
// The model is viewed whole (a camera from Coin's viewAll) in a 700 x 700 off-screen buffer, the
// size of the game's first window, so it covers as many pixels as it can.
#include <GL/gl.h>
#include <GL/glx.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <X11/Xlib.h>

#include <chrono>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "scene/inventorcheck.h"
#include "scene/inventormodel.h"

namespace {

constexpr int kSize = 700;

const bool showTimes = std::getenv("MODEL_FUZZ_TIMES") != nullptr;

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The processor time of the whole process (Mesa's drawing threads included), in milliseconds:
// on a loaded machine a steadier measure than the time on the clock.
double processMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Coin's complaints about hostile inputs would fill the log; the reader notes them all the same.
void quiet(const SoError*, void*) {}

// A GL context current on an off-screen buffer for the life of the process.
void makeContext() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "model_fuzz: no X display (run it under xvfb-run)\n");
        std::exit(1);
    }
    const int attributes[] = {GLX_DRAWABLE_TYPE,
                              GLX_PBUFFER_BIT,
                              GLX_RENDER_TYPE,
                              GLX_RGBA_BIT,
                              GLX_RED_SIZE,
                              8,
                              GLX_GREEN_SIZE,
                              8,
                              GLX_BLUE_SIZE,
                              8,
                              GLX_DEPTH_SIZE,
                              24,
                              None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (configs == nullptr || count == 0) {
        std::fprintf(stderr, "model_fuzz: no GLX configuration with a depth buffer\n");
        std::exit(1);
    }
    const int size[] = {GLX_PBUFFER_WIDTH, kSize, GLX_PBUFFER_HEIGHT, kSize, None};
    const GLXPbuffer buffer = glXCreatePbuffer(display, configs[0], size);
    const GLXContext context =
        glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
    XFree(configs);
    if (context == nullptr || !glXMakeContextCurrent(display, buffer, buffer, context)) {
        std::fprintf(stderr, "model_fuzz: cannot make a GL context current\n");
        std::exit(1);
    }
}

void draw(SoSeparator* model) {
    SoSeparator* root = new SoSeparator;
    root->ref();
    SoPerspectiveCamera* camera = new SoPerspectiveCamera;
    root->addChild(camera);
    root->addChild(model);
    const SbViewportRegion viewport(kSize, kSize);
    camera->viewAll(model, viewport);
    SoGLRenderAction action(viewport);
    for (int frame = 0; frame < 2; ++frame) {
        const auto start = std::chrono::steady_clock::now();
        const double processStart = processMilliseconds();
        glViewport(0, 0, kSize, kSize);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        action.apply(root);
        glFinish();
        if (showTimes)
            std::fprintf(stderr, "model_fuzz: frame %d drawn in %.0f ms (%.0f ms of processor)\n",
                         frame + 1, millisecondsSince(start), processMilliseconds() - processStart);
    }
    root->unref();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SoDB::init();
    SoReadError::setHandlerCallback(quiet, nullptr);
    SoDebugError::setHandlerCallback(quiet, nullptr);
    makeContext();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > static_cast<size_t>(kMaxModelBytes)) {
        return 0;  // the game reads no larger file
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    SoInput input;
    std::string problem;
    const auto start = std::chrono::steady_clock::now();
    SoSeparator* model = readInventorText(input, text, problem);
    if (showTimes)
        std::fprintf(stderr, "model_fuzz: read and checked in %.0f ms: %s\n",
                     millisecondsSince(start), model != nullptr ? "admitted" : problem.c_str());
    if (model != nullptr) {
        model->ref();
        draw(model);
        model->unref();
    }
    return 0;
}
