#include "controlkit/face.h"

#include <QFrame>
#include <QLabel>

#include "windowing/handles.h"

namespace controlkit {

namespace {

using windowing::twipsToPixels;

// A child at a rectangle given in twips.
template <class W> W* place(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
    return w;
}

// A one-pixel line in a colour, drawn as a filled strip.
void line(QWidget* parent, const char* name, QRect pixels, const QColor& colour)
{
    auto* l = new QFrame(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(pixels);
    QPalette p = l->palette();
    p.setColor(QPalette::Window, colour);
    l->setPalette(p);
    l->setAutoFillBackground(true);
}

} // namespace

void buildFace(QWidget* window, const QPixmap& picture)
{
    const QPalette& system = window->palette();
    auto* shape = place<QFrame>(window, "Shape1", 0, 0, FaceTwips, FaceTwips);
    shape->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette border = shape->palette();
    border.setColor(QPalette::WindowText, system.color(QPalette::Dark));   // the button-shadow colour
    shape->setPalette(border);
    // The highlight lines along the top, from (450, 0) to (0, 0), and the
    // left edge, from (0, 450) to (0, -45): a raised tile.
    line(window, "Line2", QRect(0, 0, twipsToPixels(450) + 1, 1), system.color(QPalette::Light));
    line(window, "Line1", QRect(0, twipsToPixels(-45), 1, twipsToPixels(495) + 1), system.color(QPalette::Light));
    place<QLabel>(window, "Image1", 45, 45, 360, 360)->setPixmap(picture);
    window->resize(twipsToPixels(FaceTwips), twipsToPixels(FaceTwips));
}

} // namespace controlkit
