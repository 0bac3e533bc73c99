#include "icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velmora {

namespace {

QPixmap drawSpeaker(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // Magnet and cone.
    QPainterPath body;
    body.moveTo(3, 12);
    body.lineTo(9, 12);
    body.lineTo(17, 5);
    body.lineTo(17, 27);
    body.lineTo(9, 20);
    body.lineTo(3, 20);
    body.closeSubpath();
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.5));
    p.setBrush(QColor(0x50, 0x60, 0x80));
    p.drawPath(body);

    // Sound waves.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x00, 0x60, 0xc0), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(12, 10, 12, 12), -50 * 16, 100 * 16);
    p.drawArc(QRectF(9, 5, 22, 22), -50 * 16, 100 * 16);
    return pm;
}

} // namespace

QIcon speakerIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(drawSpeaker(size));
    return icon;
}

} // namespace velmora
