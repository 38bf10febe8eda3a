#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velorin {
namespace {

void Draw(QPainter &p, IconKind kind, double s, const QColor &ink) {
    QPen pen(ink, s / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double m = s * 0.2;  // margin
    switch (kind) {
    case IconKind::Add:
        p.setBrush(QColor(76, 160, 70));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(1, 1, s - 2, s - 2));
        p.setPen(QPen(Qt::white, s / 7.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s / 2, m + 1), QPointF(s / 2, s - m - 1));
        p.drawLine(QPointF(m + 1, s / 2), QPointF(s - m - 1, s / 2));
        break;
    case IconKind::Remove:
        p.setBrush(QColor(200, 70, 60));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(1, 1, s - 2, s - 2));
        p.setPen(QPen(Qt::white, s / 7.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(m + 1, s / 2), QPointF(s - m - 1, s / 2));
        break;
    case IconKind::Clear: {
        // A waste bin.
        p.setPen(QPen(ink, s / 12.0));
        p.setBrush(QColor(150, 160, 175));
        QPainterPath bin;
        bin.moveTo(s * 0.25, s * 0.3);
        bin.lineTo(s * 0.75, s * 0.3);
        bin.lineTo(s * 0.68, s * 0.92);
        bin.lineTo(s * 0.32, s * 0.92);
        bin.closeSubpath();
        p.drawPath(bin);
        p.drawLine(QPointF(s * 0.18, s * 0.22), QPointF(s * 0.82, s * 0.22));
        p.drawLine(QPointF(s * 0.42, s * 0.12), QPointF(s * 0.58, s * 0.12));
        p.drawLine(QPointF(s * 0.43, s * 0.42), QPointF(s * 0.45, s * 0.82));
        p.drawLine(QPointF(s * 0.57, s * 0.42), QPointF(s * 0.55, s * 0.82));
        break;
    }
    case IconKind::Up:
    case IconKind::Down: {
        QPainterPath arrow;
        const bool up = kind == IconKind::Up;
        const double tip = up ? m : s - m, base = up ? s * 0.55 : s * 0.45;
        arrow.moveTo(s / 2, tip);
        arrow.lineTo(s - m, base);
        arrow.lineTo(s * 0.62, base);
        arrow.lineTo(s * 0.62, up ? s - m : m);
        arrow.lineTo(s * 0.38, up ? s - m : m);
        arrow.lineTo(s * 0.38, base);
        arrow.lineTo(m, base);
        arrow.closeSubpath();
        p.setBrush(QColor(60, 120, 190));
        p.setPen(QPen(QColor(40, 80, 130), s / 16.0));
        p.drawPath(arrow);
        break;
    }
    case IconKind::Play: {
        QPainterPath tri;
        tri.moveTo(s * 0.3, s * 0.18);
        tri.lineTo(s * 0.82, s * 0.5);
        tri.lineTo(s * 0.3, s * 0.82);
        tri.closeSubpath();
        p.setBrush(QColor(70, 150, 60));
        p.setPen(Qt::NoPen);
        p.drawPath(tri);
        break;
    }
    case IconKind::Stop:
        p.setBrush(QColor(190, 70, 60));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(s * 0.24, s * 0.24, s * 0.52, s * 0.52), s * 0.06, s * 0.06);
        break;
    case IconKind::Camera:
        p.setBrush(QColor(90, 100, 115));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(s * 0.1, s * 0.3, s * 0.8, s * 0.55), s * 0.1, s * 0.1);
        p.drawRect(QRectF(s * 0.35, s * 0.2, s * 0.3, s * 0.14));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(s * 0.5, s * 0.575), s * 0.17, s * 0.17);
        p.setBrush(QColor(60, 120, 190));
        p.drawEllipse(QPointF(s * 0.5, s * 0.575), s * 0.1, s * 0.1);
        break;
    case IconKind::Help:
    case IconKind::About: {
        p.setBrush(kind == IconKind::Help ? QColor(60, 120, 190) : QColor(110, 120, 135));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(1, 1, s - 2, s - 2));
        QFont font;
        font.setPixelSize(static_cast<int>(s * 0.7));
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, kind == IconKind::Help ? "?" : "i");
        break;
    }
    case IconKind::Web:
        p.setPen(QPen(QColor(40, 110, 170), s / 12.0));
        p.setBrush(QColor(220, 236, 250));
        p.drawEllipse(QRectF(1.5, 1.5, s - 3, s - 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(s * 0.3, 1.5, s * 0.4, s - 3));
        p.drawLine(QPointF(1.5, s / 2), QPointF(s - 1.5, s / 2));
        p.drawLine(QPointF(s * 0.12, s * 0.28), QPointF(s * 0.88, s * 0.28));
        p.drawLine(QPointF(s * 0.12, s * 0.72), QPointF(s * 0.88, s * 0.72));
        break;
    case IconKind::Minimise:
        p.setPen(QPen(ink, s / 8.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.25, s * 0.7), QPointF(s * 0.75, s * 0.7));
        break;
    case IconKind::Close:
        p.setPen(QPen(ink, s / 8.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.28, s * 0.28), QPointF(s * 0.72, s * 0.72));
        p.drawLine(QPointF(s * 0.72, s * 0.28), QPointF(s * 0.28, s * 0.72));
        break;
    }
}

}  // namespace

QIcon DrawnIcon(IconKind kind, int size) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(size * scale, size * scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        const bool light = kind == IconKind::Minimise || kind == IconKind::Close;
        Draw(p, kind, size, light ? QColor(240, 244, 250) : QColor(50, 58, 70));
        p.end();
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace velorin
