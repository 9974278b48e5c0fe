#include "ui/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A shaft disc with a rotor mark: the drive and its output shaft.
    painter.setPen(QPen(QColor(40, 60, 90), s / 16));
    painter.setBrush(QColor(70, 120, 180));
    painter.drawEllipse(QRectF(s * 0.08, s * 0.08, s * 0.84, s * 0.84));
    painter.setBrush(QColor(230, 235, 240));
    painter.drawEllipse(QRectF(s * 0.36, s * 0.36, s * 0.28, s * 0.28));
    painter.setPen(QPen(QColor(230, 80, 40), s / 10, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(s * 0.5, s * 0.5), QPointF(s * 0.5, s * 0.14));
    return pixmap;
}

}  // namespace

QIcon TorvaneIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addPixmap(DrawIcon(size));
    return icon;
}
