#include "scene/inventormodel.h"

#include <GL/gl.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <iostream>

SoSeparator* readInventorModel(SoInput& input, const char* fileName, const char* kind) {
    SoDB::init();
    SoSeparator* scene = nullptr;
    if (input.openFile(fileName, false)) {
        scene = SoDB::readAll(&input);
        input.closeFile();
    } else {
        std::cout << ".iv " << kind << " file not found: " << fileName << std::endl;
    }
    if (scene == nullptr) {
        std::cout << "Problem reading .iv " << kind << " file: " << fileName << std::endl;
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
