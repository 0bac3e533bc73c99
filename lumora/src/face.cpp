// Lumorel's design-time face: the shared tile with a loudspeaker on it.
#include <QPainter>
#include <QPainterPath>

#include "lumorel.h"

namespace lumora {

namespace {

// The face's 24 x 24 picture: a loudspeaker with two sound waves.
QPixmap speaker() {
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

QPixmap facePicture() {
    return speaker();
}

} // namespace lumora
