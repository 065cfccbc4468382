#include "app/ghostdraw.h"

#include <GL/gl.h>
#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoSeparator.h>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "scene/boarder.h"
#include "scene/inventormodel.h"
#include "world/heightmap.h"

namespace {

constexpr float ghostOpacity = 0.4f;
constexpr float wireOpacity = 0.7f;  // thin lines on a dark ground need more to be seen

// The picture of a text, kept while the same text is drawn at the same size.
struct TextPicture {
    std::string text;
    SplitColour colour = SplitColour::White;
    int pixelSize = 0;
    QImage image;  // RGBA8888, not premultiplied, top row first
};

QImage renderText(const std::string& text, SplitColour colour, int pixelSize) {
    QFont font;
    font.setPixelSize(pixelSize);
    font.setBold(true);
    QPainterPath path;
    path.addText(0, 0, font, QString::fromStdString(text));
    const QRectF bounds = path.boundingRect();
    const int margin = std::max(2, pixelSize / 8);
    QImage image(static_cast<int>(bounds.width()) + 2 * margin,
                 static_cast<int>(bounds.height()) + 2 * margin, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(margin - bounds.left(), margin - bounds.top());
    const QColor fill = colour == SplitColour::Green ? QColor(40, 230, 60)
                        : colour == SplitColour::Red ? QColor(240, 40, 40)
                                                     : QColor(250, 250, 250);
    // The outline first and the letters over it, so that it only widens them.
    painter.strokePath(path, QPen(Qt::black, std::max(3.0, pixelSize / 6.0), Qt::SolidLine,
                                  Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(path, fill);
    painter.end();
    return image;
}

}  // namespace

GhostFigure::GhostFigure() {
    SoDB::init();  // before the first node is made (again: a no-op)
    wireRoot_ = new SoSeparator;
    wireRoot_->ref();
    lines_ = new SoDrawStyle;
    lines_->style = SoDrawStyle::LINES;
    lines_->setOverride(TRUE);  // over any style the model sets itself
    wireRoot_->addChild(lines_);
}

GhostFigure::~GhostFigure() {
    wireRoot_->unref();
}

void GhostFigure::draw(const Boarder& model, const BoarderPose& pose, bool wire) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glEnable(GL_BLEND);
    // A constant opacity: the model's own materials say nothing of transparency.
    glBlendColor(0.0f, 0.0f, 0.0f, wire ? wireOpacity : ghostOpacity);
    glBlendFunc(GL_CONSTANT_ALPHA, GL_ONE_MINUS_CONSTANT_ALPHA);
    glDepthMask(GL_FALSE);
    if (!wire || model.sceneRoot == nullptr || model.renderAction == nullptr) {
        model.drawAt(pose);
        glPopAttrib();
        return;
    }
    // The boarder's scene is made anew at every New Game: follow it.
    if (wireRoot_->getNumChildren() < 2) {
        wireRoot_->addChild(model.sceneRoot);
    } else if (wireRoot_->getChild(1) != model.sceneRoot) {
        wireRoot_->replaceChild(1, model.sceneRoot);
    }
    // Placed and turned as Boarder::drawAt places the model.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(pose.position.x, heightAt(pose.position.x, pose.position.z), pose.position.z);
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(model.rotation.z, 0.0f, 1.0f, 0.0f);
    glRotatef(pose.heading, 0.0f, 0.0f, 1.0f);
    renderInventorScene(*model.renderAction, wireRoot_);
    glPopMatrix();
    glPopAttrib();
}

void drawSplitText(const FrameInfo& frame, const std::string& text, SplitColour colour) {
    if (frame.pixelWidth <= 0 || frame.pixelHeight <= 0 || text.empty()) {
        return;
    }
    static TextPicture cached;
    const int pixelSize = std::max(24, frame.pixelHeight / 20);
    if (cached.text != text || cached.colour != colour || cached.pixelSize != pixelSize) {
        cached = TextPicture{text, colour, pixelSize, renderText(text, colour, pixelSize)};
    }
    const QImage& image = cached.image;
    if (image.isNull()) {
        return;
    }

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, frame.pixelWidth, 0.0, frame.pixelHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // The image's top row first: drawn downwards from its top-left corner. The raster position
    // must lie inside the view, so a text wider than the view starts at its left edge.
    const int left = std::max(0, (frame.pixelWidth - image.width()) / 2);
    const int top = std::max(1, frame.pixelHeight - frame.pixelHeight / 8);
    glRasterPos2i(left, top);
    glPixelZoom(1.0f, -1.0f);
    glDrawPixels(image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.constBits());
    glPixelZoom(1.0f, 1.0f);

    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}
