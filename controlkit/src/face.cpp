#include "controlkit/face.h"

#include <QFrame>
#include <QLabel>
#include <utility>

#include "windowing/handles.h"

namespace controlkit {

namespace {

using windowing::twipsToPixels;

// A child at a rectangle given in twips; `more` follows the parent to its constructor.
template <class W, class... More>
W *place(QWidget *parent, const char *name, int left, int top, int width, int height,
         More... more) {
    auto *w = new W(parent, more...);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(
        twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
    return w;
}

// A one-pixel line in a colour, drawn as a filled strip.
void line(QWidget *parent, const char *name, QRect pixels, const QColor &colour) {
    auto *l = new QFrame(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(pixels);
    QPalette p = l->palette();
    p.setColor(QPalette::Window, colour);
    l->setPalette(p);
    l->setAutoFillBackground(true);
}

// The face's picture, drawn at its first paint: a control that is never shown
// (the panel's, at run time) never draws it.
class FaceImage : public QLabel {
  public:
    FaceImage(QWidget *parent, PictureFunction picture) : QLabel(parent), picture_(picture) {}

  protected:
    void paintEvent(QPaintEvent *event) override {
        if (picture_)
            setPixmap(std::exchange(picture_, nullptr)());
        QLabel::paintEvent(event);
    }

  private:
    PictureFunction picture_;
};

} // namespace

void buildFace(QWidget *window, PictureFunction picture) {
    const QPalette &system = window->palette();
    auto *shape = place<QFrame>(window, "Shape1", 0, 0, FaceTwips, FaceTwips);
    shape->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette border = shape->palette();
    border.setColor(QPalette::WindowText, system.color(QPalette::Dark)); // the button-shadow colour
    shape->setPalette(border);
    // The highlight lines along the top, from (450, 0) to (0, 0), and the
    // left edge, from (0, 450) to (0, -45): a raised tile.
    line(window, "Line2", QRect(0, 0, twipsToPixels(450) + 1, 1), system.color(QPalette::Light));
    line(window,
         "Line1",
         QRect(0, twipsToPixels(-45), 1, twipsToPixels(495) + 1),
         system.color(QPalette::Light));
    place<FaceImage>(window, "Image1", 45, 45, 360, 360, picture);
    window->resize(twipsToPixels(FaceTwips), twipsToPixels(FaceTwips));
}

} // namespace controlkit
