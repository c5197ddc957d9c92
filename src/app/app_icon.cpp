#include "app/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pellandor {

QImage renderAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Tile: a rounded square, light teal at the top to deep teal below.
    QLinearGradient tile(0, 2, 0, 62);
    tile.setColorAt(0, QColor(0x2C, 0xA8, 0xBC));
    tile.setColorAt(1, QColor(0x0F, 0x66, 0x78));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);

    // handset, drawn level and turned a quarter: ear cup top left, mouth cup
    // bottom right, the grip bowing away from the cups.
    p.translate(32, 33);
    p.rotate(-45);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(-25, -13, 14, 17), 6.5, 6.5);
    p.drawRoundedRect(QRectF(11, -13, 14, 17), 6.5, 6.5);
    QPainterPath grip;
    grip.moveTo(-18, -3);
    grip.quadTo(0, 17, 18, -3);
    QPen pen(Qt::white, 9, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(grip);
    p.end();
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(renderAppIcon(size)));
    return icon;
}

}  // namespace pellandor
