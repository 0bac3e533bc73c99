// Pellagon's design-time face: the shared tile with a speech balloon on it.
#include <QPainter>
#include <QPainterPath>

#include "pellagon.h"

namespace pellago {

namespace {

// The face's 24 x 24 picture: a speech balloon with two lines of text.
QPixmap balloon() {
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

QPixmap facePicture() {
    return balloon();
}

} // namespace pellago
