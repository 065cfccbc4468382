#include "app/padkeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>

#include "app/window.h"
#include "scene/glwidget.h"

namespace {

// The key each action stands for; 0 for the panel buttons.
int keyOf(PadAction action) {
    switch (action) {
        case PadAction::Left: return Qt::Key_Left;
        case PadAction::Right: return Qt::Key_Right;
        case PadAction::Faster: return Qt::Key_Up;
        case PadAction::Slower: return Qt::Key_Down;
        case PadAction::NextCamera: return Qt::Key_F1;
        case PadAction::FlyForward: return Qt::Key_R;
        case PadAction::FlyBack: return Qt::Key_F;
        case PadAction::FlyRight: return Qt::Key_T;
        case PadAction::FlyLeft: return Qt::Key_G;
        case PadAction::NewGame:
        case PadAction::WireMode: return 0;
    }
    return 0;
}

}  // namespace

void PadKeys::padAction(PadAction action, Phase phase) {
    if (action == PadAction::NewGame || action == PadAction::WireMode) {
        if (phase == Press) {
            (action == PadAction::NewGame ? window_.newGameButton : window_.wireSolidButton)
                ->click();
        }
        return;
    }
    QKeyEvent event(phase == Release ? QEvent::KeyRelease : QEvent::KeyPress, keyOf(action),
                    Qt::NoModifier, QString(), phase == Repeat);
    QCoreApplication::sendEvent(window_.glWidget, &event);
}
