#include "app/lamps.h"

#include <QPainter>
#include <QRadialGradient>

namespace orvel {
namespace {

QColor lampColor(Lamp lamp) {
    switch (lamp) {
    case Lamp::Yellow: return QColor(255, 255, 0);
    case Lamp::Green: return QColor(0, 192, 0);
    case Lamp::Red: return QColor(255, 0, 0);
    case Lamp::Grey: return QColor(160, 160, 160);
    }
    return Qt::black;
}

void paintLamp(QPainter &p, const QRectF &box, const QColor &color) {
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(box.center() - QPointF(box.width() / 6, box.height() / 6),
                         box.width() / 1.6);
    glow.setColorAt(0, color.lighter(170));
    glow.setColorAt(1, color.darker(130));
    p.setBrush(glow);
    p.setPen(QPen(color.darker(250), 1));
    p.drawEllipse(box.adjusted(1, 1, -1, -1));
}

}  // namespace

QPixmap lampPixmap(Lamp lamp) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintLamp(p, QRectF(0, 0, 16, 16), lampColor(lamp));
    return pixmap;
}

QPixmap windowIconPixmap(int size) {
    // A chip with a lamp: the device being programmed. Drawn on a 32 by 32 grid and scaled
    // as a drawing, so every size the desktop asks for stays sharp.
    constexpr qreal grid = 32;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / grid, size / grid);
    p.setPen(QPen(QColor(0, 0, 128), 1));
    for (int i = 0; i < 4; ++i) {
        const int x = 8 + i * 5;
        p.drawLine(x, 2, x, 6);
        p.drawLine(x, 26, x, 30);
    }
    p.setBrush(QColor(0, 0, 128));
    p.drawRoundedRect(QRectF(4, 6, 24, 20), 3, 3);
    paintLamp(p, QRectF(10, 10, 12, 12), lampColor(Lamp::Green));
    return pixmap;
}

QIcon windowIcon() {
    constexpr int titleBarSize = 32;
    return QIcon(windowIconPixmap(titleBarSize));
}

}  // namespace orvel
