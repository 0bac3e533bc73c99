// Lumorel's design-time face: a raised 31 x 31 pixel tile (465 twips) with a
// loudspeaker on it. The host shows it only in a designer; at run time the
// control's window stays hidden.
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include "lumorel.h"

namespace lumora {

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

// The face's 24 x 24 picture: a loudspeaker with two sound waves.
QPixmap speaker()
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath cone;
    cone.addPolygon(QPolygonF({{3, 9}, {8, 9}, {14, 3}, {14, 21}, {8, 15}, {3, 15}}));
    cone.closeSubpath();
    p.fillPath(cone, QColor(0x40, 0x40, 0x48));
    p.setPen(QPen(QColor(0x10, 0x50, 0xb0), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(11, 7, 8, 10), -50 * 16, 100 * 16);
    p.drawArc(QRectF(11, 3, 12, 18), -50 * 16, 100 * 16);
    return pm;
}

} // namespace

void buildFace(QWidget* window)
{
    const QPalette& system = window->palette();
    auto* shape = place<QFrame>(window, "Shape1", 0, 0, 465, 465);
    shape->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette border = shape->palette();
    border.setColor(QPalette::WindowText, system.color(QPalette::Dark));   // the button-shadow colour
    shape->setPalette(border);
    // The highlight lines along the top, from (450, 0) to (0, 0), and the
    // left edge, from (0, 450) to (0, -45): a raised tile.
    line(window, "Line2", QRect(0, 0, twipsToPixels(450) + 1, 1), system.color(QPalette::Light));
    line(window, "Line1", QRect(0, twipsToPixels(-45), 1, twipsToPixels(495) + 1), system.color(QPalette::Light));
    place<QLabel>(window, "Image1", 45, 45, 360, 360)->setPixmap(speaker());
}

} // namespace lumora
