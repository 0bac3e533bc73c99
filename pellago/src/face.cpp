// Pellagon's design-time face: a raised 31 x 31 pixel tile (465 twips) with a
// speech balloon on it. The host shows it only in a designer; at run time the
// control's window stays hidden.
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include "pellagon.h"
#include "windowing/handles.h"

namespace pellago {

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

// The face's 24 x 24 picture: a speech balloon with two lines of text.
QPixmap balloon()
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(1.5, 2.5, 21, 13), 4, 4);
    QPainterPath tail;
    tail.addPolygon(QPolygonF({{6, 14}, {5, 21.5}, {11, 14}}));
    shape = shape.united(tail);
    p.setPen(QPen(QColor(0x30, 0x30, 0x40), 1.2));
    p.setBrush(QColor(0xff, 0xff, 0xe8));
    p.drawPath(shape);
    p.setPen(QPen(QColor(0x10, 0x50, 0xb0), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 7), QPointF(18.5, 7));
    p.drawLine(QPointF(5.5, 11), QPointF(14.5, 11));
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
    place<QLabel>(window, "Image1", 45, 45, 360, 360)->setPixmap(balloon());
}

} // namespace pellago
