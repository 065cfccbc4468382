#include "scene/inventormodel.h"

#include <GL/gl.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <Inventor/errors/SoReadError.h>

#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "files/datafile.h"
#include "scene/inventorcheck.h"
#include "scene/inventortext.h"

namespace {

// Notes whether Coin reported a read error while it lives, passing each report on to the handler
// that was installed before (which prints it on standard error).
class ReadErrorWatch {
public:
    ReadErrorWatch()
        : previous_(SoReadError::getHandlerCallback()),
          previousData_(SoReadError::getHandlerData()) {
        SoReadError::setHandlerCallback(&ReadErrorWatch::report, this);
    }
    ~ReadErrorWatch() { SoReadError::setHandlerCallback(previous_, previousData_); }
    ReadErrorWatch(const ReadErrorWatch&) = delete;
    ReadErrorWatch& operator=(const ReadErrorWatch&) = delete;

    bool reported() const { return reported_; }

private:
    static void report(const SoError* error, void* data) {
        auto* watch = static_cast<ReadErrorWatch*>(data);
        watch->reported_ = true;
        if (watch->previous_ != nullptr) {
            watch->previous_(error, watch->previousData_);
        }
    }

    SoErrorCB* previous_;
    void* previousData_;
    bool reported_ = false;
};

// Coin's reader on text that passed the scan. Coin throws when it cannot allocate what a file asks
// for (std::bad_alloc on a huge inline image): that is a refused model, not the end of the game.
// What Coin had made before it threw is lost; a reader that threw is not trusted again with the
// scene. Returns the scene, not referenced, or null with the reason in problem when it threw.
SoSeparator* coinRead(SoInput& input, const std::string& text, bool& coinReported,
                      std::string& problem) {
    SoSeparator* scene = nullptr;
    ReadErrorWatch watch;
    try {
        input.setBuffer(text.data(), text.size());
        scene = SoDB::readAll(&input);
    } catch (const std::bad_alloc&) {
        problem = "Coin ran out of memory reading it";
    } catch (const std::exception& error) {
        problem = std::string("Coin failed reading it (") + error.what() + ")";
    } catch (...) {
        problem = "Coin failed reading it";
    }
    input.closeFile();
    coinReported = watch.reported();
    return problem.empty() ? scene : nullptr;
}

}  // namespace

SoSeparator* readInventorText(SoInput& input, const std::string& text, std::string& problem) {
    problem = scanInventorText(text);
    return problem.empty() ? readUnscannedInventorText(input, text, problem) : nullptr;
}

SoSeparator* readUnscannedInventorText(SoInput& input, const std::string& text,
                                       std::string& problem) {
    SoDB::init();
    problem.clear();
    bool coinReported = false;
    SoSeparator* scene = coinRead(input, text, coinReported, problem);
    if (scene == nullptr) {
        return nullptr;
    }
    scene->ref();
    // Coin may hand back part of a scene after complaining about the rest: that is no model.
    problem = coinReported ? "Coin reported errors while reading it" : checkInventorScene(scene);
    if (!problem.empty()) {
        releaseRefusedScene(scene);
        return nullptr;
    }
    scene->unrefNoDelete();
    return scene;
}

SoSeparator* readInventorModel(SoInput& input, const char* fileName, const char* kind) {
    SoDB::init();
    SoSeparator* scene = nullptr;
    std::string problem;
    // The file is read here, not by Coin: a FIFO or a device in its place must not block, and
    // the text is scanned before Coin's reader, which a hostile file can crash, sees it.
    std::string text;
    const DataFileStatus status = readDataFile(fileName, kMaxModelBytes, text);
    if (status == DataFileStatus::Read) {
        scene = readInventorText(input, text, problem);
    } else {
        if (status == DataFileStatus::Missing || status == DataFileStatus::NotRegular) {
            std::cout << ".iv " << kind << " file not found: " << fileName << std::endl;
        }
        if (status != DataFileStatus::Missing) {
            problem = dataFileProblem(status, fileName, kMaxModelBytes);
        }
    }
    if (scene == nullptr) {
        std::cout << "Problem reading .iv " << kind << " file: " << fileName << std::endl;
        if (!problem.empty()) {
            std::cerr << "Model " << fileName << " refused: " << problem << std::endl;
        }
    }
    return scene;
}

void loadInventorModel(const char* fileName, const char* kind, SoNode* firstChild,
                       SoSeparator*& sceneRoot, SbViewportRegion*& viewport,
                       SoGLRenderAction*& renderAction, SoSeparator*& modelGroup,
                       SoSeparator*& model, SoInput*& modelInput) {
    SoDB::init();
    sceneRoot = new SoSeparator;
    sceneRoot->ref();
    viewport = new SbViewportRegion(700, 700);
    renderAction = new SoGLRenderAction(*viewport);
    modelGroup = new SoSeparator;
    modelInput = new SoInput;
    model = readInventorModel(*modelInput, fileName, kind);
    if (firstChild != nullptr) {
        modelGroup->addChild(firstChild);
    }
    if (model != nullptr) {
        modelGroup->addChild(model);
    }
    sceneRoot->addChild(modelGroup);
}

void renderInventorScene(SoGLRenderAction& action, SoNode* root) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    SbViewportRegion region;
    region.setViewportPixels(viewport[0], viewport[1], viewport[2], viewport[3]);
    action.setViewportRegion(region);
    action.apply(root);
}

void releaseInventorScene(SoSeparator*& sceneRoot, SbViewportRegion*& viewport,
                          SoGLRenderAction*& renderAction, SoInput*& modelInput) {
    if (sceneRoot != nullptr) {
        sceneRoot->unref();
        sceneRoot = nullptr;
    }
    delete renderAction;
    renderAction = nullptr;
    delete viewport;
    viewport = nullptr;
    delete modelInput;
    modelInput = nullptr;
}
