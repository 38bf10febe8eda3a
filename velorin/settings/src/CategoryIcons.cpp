#include "settings/CategoryIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace velorin {

namespace {

// Everything is drawn on a 64-unit grid and scaled.
constexpr qreal kGrid = 64.0;

QColor TileColour(OutputCategory c) {
    switch (c) {
    case OutputCategory::PSP:
    case OutputCategory::iPod:
    case OutputCategory::iPhone:
    case OutputCategory::ThreeGP:
    case OutputCategory::Zune:
    case OutputCategory::PDA:
        return QColor(0x2f, 0x7d, 0xc0);  // devices
    case OutputCategory::Music:
        return QColor(0xe0, 0x7b, 0x22);
    case OutputCategory::VOB:
        return QColor(0x7a, 0x4f, 0xb5);
    default:
        return QColor(0x2a, 0x9d, 0x78);  // plain formats
    }
}

void DrawDeviceBody(QPainter &p, const QRectF &body, qreal radius) {
    p.setPen(QPen(QColor(20, 28, 36), 1.5));
    p.setBrush(QColor(245, 247, 250));
    p.drawRoundedRect(body, radius, radius);
}

void DrawScreen(QPainter &p, const QRectF &screen) {
    QLinearGradient g(screen.topLeft(), screen.bottomRight());
    g.setColorAt(0, QColor(120, 190, 240));
    g.setColorAt(1, QColor(30, 80, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRect(screen);
}

void DrawFilmStrip(QPainter &p, const QString &label) {
    const QRectF strip(12, 14, 40, 36);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(25, 32, 38));
    p.drawRoundedRect(strip, 3, 3);
    p.setBrush(QColor(245, 247, 250));
    for (int i = 0; i < 5; ++i) {
        p.drawRect(QRectF(15 + i * 7.6, 16.5, 4, 3.5));
        p.drawRect(QRectF(15 + i * 7.6, 44, 4, 3.5));
    }
    p.setBrush(QColor(235, 240, 245));
    p.drawRect(QRectF(14, 22, 36, 20));
    QFont font(QStringLiteral("Sans"));
    font.setPixelSize(label.size() > 3 ? 9 : 11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(20, 60, 50));
    p.drawText(QRectF(14, 22, 36, 20), Qt::AlignCenter, label);
}

void DrawGlyph(QPainter &p, OutputCategory c) {
    switch (c) {
    case OutputCategory::PSP: {
        DrawDeviceBody(p, QRectF(8, 20, 48, 24), 11);
        DrawScreen(p, QRectF(20, 24, 24, 16));
        p.setBrush(QColor(60, 70, 80));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(14, 32), 2.6, 2.6);
        for (QPointF d : {QPointF(50, 28.5), QPointF(50, 35.5), QPointF(46.5, 32), QPointF(53.5, 32)})
            p.drawEllipse(d, 1.6, 1.6);
        break;
    }
    case OutputCategory::iPod: {
        DrawDeviceBody(p, QRectF(20, 8, 24, 48), 5);
        DrawScreen(p, QRectF(24, 12, 16, 14));
        p.setPen(QPen(QColor(90, 100, 110), 1.2));
        p.setBrush(QColor(225, 229, 234));
        p.drawEllipse(QPointF(32, 42), 8.5, 8.5);
        p.setBrush(QColor(245, 247, 250));
        p.drawEllipse(QPointF(32, 42), 3, 3);
        break;
    }
    case OutputCategory::iPhone: {
        DrawDeviceBody(p, QRectF(19, 6, 26, 52), 6);
        DrawScreen(p, QRectF(22, 13, 20, 36));
        p.setPen(QPen(QColor(90, 100, 110), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(32, 53.5), 2.3, 2.3);
        p.drawLine(QPointF(29, 9.5), QPointF(35, 9.5));
        break;
    }
    case OutputCategory::ThreeGP: {
        p.setPen(QPen(QColor(20, 28, 36), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(40, 12), QPointF(40, 5));
        DrawDeviceBody(p, QRectF(22, 12, 22, 46), 5);
        DrawScreen(p, QRectF(25, 16, 16, 13));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 70, 80));
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 3; ++k) p.drawRoundedRect(QRectF(26 + k * 5, 33 + r * 5.5, 3.6, 3.2), 1, 1);
        break;
    }
    case OutputCategory::Zune: {
        DrawDeviceBody(p, QRectF(18, 7, 28, 50), 7);
        DrawScreen(p, QRectF(21, 11, 22, 27));
        p.setPen(QPen(QColor(90, 100, 110), 1.2));
        p.setBrush(QColor(225, 229, 234));
        p.drawRoundedRect(QRectF(26, 42, 12, 11), 4, 4);
        break;
    }
    case OutputCategory::PDA: {
        DrawDeviceBody(p, QRectF(14, 8, 32, 48), 4);
        DrawScreen(p, QRectF(18, 12, 24, 30));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 70, 80));
        for (int k = 0; k < 4; ++k) p.drawEllipse(QPointF(20 + k * 6.7, 49), 2, 2);
        p.setPen(QPen(QColor(20, 28, 36), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(51, 14), QPointF(51, 52));
        break;
    }
    case OutputCategory::Music: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 250, 250));
        p.drawEllipse(QPointF(22, 46), 7, 5.5);
        p.drawEllipse(QPointF(44, 41), 7, 5.5);
        p.drawRect(QRectF(26.5, 16, 3.5, 30));
        p.drawRect(QRectF(48.5, 11, 3.5, 30));
        QPainterPath beam;
        beam.moveTo(26.5, 16);
        beam.lineTo(52, 11);
        beam.lineTo(52, 18);
        beam.lineTo(26.5, 23);
        beam.closeSubpath();
        p.drawPath(beam);
        break;
    }
    case OutputCategory::VOB: {
        QRadialGradient g(QPointF(28, 28), 26);
        g.setColorAt(0, QColor(250, 250, 255));
        g.setColorAt(0.6, QColor(200, 210, 235));
        g.setColorAt(1, QColor(230, 200, 240));
        p.setPen(QPen(QColor(40, 30, 60), 1.2));
        p.setBrush(g);
        p.drawEllipse(QPointF(32, 32), 23, 23);
        p.setBrush(TileColour(c));
        p.drawEllipse(QPointF(32, 32), 6, 6);
        p.setBrush(QColor(250, 250, 250));
        p.drawEllipse(QPointF(32, 32), 2.2, 2.2);
        break;
    }
    case OutputCategory::WMV: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 250, 250));
        p.drawEllipse(QPointF(32, 32), 20, 20);
        QPainterPath play;
        play.moveTo(26, 21);
        play.lineTo(44, 32);
        play.lineTo(26, 43);
        play.closeSubpath();
        p.setBrush(TileColour(c));
        p.drawPath(play);
        break;
    }
    case OutputCategory::SWF: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 250, 250));
        p.drawRoundedRect(QRectF(14, 14, 36, 36), 6, 6);
        QFont font(QStringLiteral("Serif"));
        font.setPixelSize(30);
        font.setBold(true);
        font.setItalic(true);
        p.setFont(font);
        p.setPen(QColor(180, 40, 40));
        p.drawText(QRectF(14, 12, 36, 38), Qt::AlignCenter, QStringLiteral("f"));
        break;
    }
    case OutputCategory::MOV: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(25, 32, 38));
        p.drawRect(QRectF(12, 28, 40, 24));
        QPainterPath clapper;
        clapper.moveTo(12, 26);
        clapper.lineTo(50, 16);
        clapper.lineTo(52, 22);
        clapper.lineTo(13.5, 32);
        clapper.closeSubpath();
        p.drawPath(clapper);
        p.setBrush(QColor(250, 250, 250));
        for (int k = 0; k < 4; ++k) {
            QPainterPath stripe;
            const qreal x = 17 + k * 9;
            stripe.moveTo(x, 24.6 - k * 2.3);
            stripe.lineTo(x + 4.5, 23.4 - k * 2.3);
            stripe.lineTo(x + 1.5, 29.6 - k * 2.3);
            stripe.lineTo(x - 3, 30.8 - k * 2.3);
            stripe.closeSubpath();
            p.drawPath(stripe);
        }
        QFont font(QStringLiteral("Sans"));
        font.setPixelSize(10);
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(250, 250, 250));
        p.drawText(QRectF(12, 32, 40, 18), Qt::AlignCenter, QStringLiteral("MOV"));
        break;
    }
    case OutputCategory::AVI:
        DrawFilmStrip(p, QStringLiteral("AVI"));
        break;
    case OutputCategory::MPEG4:
        DrawFilmStrip(p, QStringLiteral("MP4"));
        break;
    case OutputCategory::MPEG2:
        DrawFilmStrip(p, QStringLiteral("MPG"));
        break;
    }
}

}  // namespace

QPixmap CategoryPixmap(OutputCategory category, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / kGrid, size / kGrid);
    const QColor base = TileColour(category);
    QLinearGradient tile(0, 0, 0, kGrid);
    tile.setColorAt(0, base.lighter(135));
    tile.setColorAt(1, base.darker(115));
    p.setPen(QPen(base.darker(150), 1.5));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, kGrid - 4, kGrid - 4), 12, 12);
    DrawGlyph(p, category);
    return pixmap;
}

QIcon CategoryIcon(OutputCategory category) {
    QIcon icon;
    for (int size : {32, 48, 64}) {
        const QPixmap pixmap = CategoryPixmap(category, size);
        icon.addPixmap(pixmap, QIcon::Normal);
        icon.addPixmap(pixmap, QIcon::Disabled);
        icon.addPixmap(pixmap, QIcon::Active);
    }
    return icon;
}

}  // namespace velorin
