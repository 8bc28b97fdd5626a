#include "player/Glyphs.h"

#include <QIconEngine>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

namespace glyphs {
namespace {

// The sixteen standard colours; nothing else is ever painted.
const QColor kBlack(0, 0, 0), kNavy(0, 0, 128), kGreen(0, 128, 0), kMaroon(128, 0, 0), kOlive(128, 128, 0),
    kTeal(0, 128, 128), kGray(128, 128, 128), kSilver(192, 192, 192), kRed(255, 0, 0), kLime(0, 255, 0),
    kYellow(255, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255);

QVector<QRgb> Palette16()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
            qRgba(0, 0, 0, 0)};
}

// Draws with hard edges, then reduces to the 16-colour palette (plus transparency).
template <typename Draw>
QPixmap Make(int w, int h, Draw draw)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        draw(p);
    }
    return QPixmap::fromImage(img.convertToFormat(QImage::Format_Indexed8, Palette16(), Qt::ThresholdDither));
}

void Triangle(QPainter &p, QPoint a, QPoint b, QPoint c, const QColor &fill)
{
    p.setPen(kBlack);
    p.setBrush(fill);
    p.drawPolygon(QPolygon({a, b, c}));
}

} // namespace

QPixmap Previous()
{
    return Make(23, 15, [](QPainter &p) {
        p.fillRect(5, 3, 2, 9, kBlack);
        Triangle(p, {16, 3}, {16, 11}, {8, 7}, kNavy);
    });
}

QPixmap Play()
{
    return Make(23, 15, [](QPainter &p) { Triangle(p, {8, 2}, {8, 12}, {16, 7}, kGreen); });
}

QPixmap Pause()
{
    return Make(23, 15, [](QPainter &p) {
        p.setPen(kBlack);
        p.setBrush(kNavy);
        p.drawRect(7, 3, 2, 8);
        p.drawRect(13, 3, 2, 8);
    });
}

QPixmap Stop()
{
    return Make(23, 15, [](QPainter &p) {
        p.setPen(kBlack);
        p.setBrush(kMaroon);
        p.drawRect(7, 3, 8, 8);
    });
}

QPixmap Next()
{
    return Make(23, 15, [](QPainter &p) {
        Triangle(p, {6, 3}, {6, 11}, {14, 7}, kNavy);
        p.fillRect(16, 3, 2, 9, kBlack);
    });
}

QPixmap Shuffle()
{
    return Make(23, 22, [](QPainter &p) {
        p.setPen(QPen(kTeal, 2));
        p.drawLine(3, 6, 8, 6);
        p.drawLine(8, 6, 14, 15);
        p.drawLine(14, 15, 17, 15);
        p.drawLine(3, 15, 8, 15);
        p.drawLine(8, 15, 14, 6);
        p.drawLine(14, 6, 17, 6);
        Triangle(p, {17, 3}, {17, 9}, {20, 6}, kTeal);
        Triangle(p, {17, 12}, {17, 18}, {20, 15}, kTeal);
    });
}

QPixmap Repeat()
{
    // A closed loop running clockwise, its arrow head on the top side. The head
    // sits in the left 11 columns, so the half picture (repeat the song) shows it
    // too; at 5 columns by 9 rows, outlined, it reads as a head at any scale.
    return Make(23, 22, [](QPainter &p) {
        p.setPen(QPen(kNavy, 2));
        p.drawLine(3, 7, 3, 16);   // left side of the loop
        p.drawLine(3, 16, 19, 16); // bottom
        p.drawLine(19, 7, 19, 16); // right side
        p.drawLine(12, 7, 19, 7);  // top, after the head
        p.drawLine(3, 7, 5, 7);    // top, into the head
        p.setPen(kBlack);
        p.setBrush(kBlue);
        p.drawPolygon(QPolygon({QPoint(5, 2), QPoint(9, 6), QPoint(9, 7), QPoint(5, 11)}));
    });
}

QPixmap Tray()
{
    return Make(23, 22, [](QPainter &p) {
        p.setPen(kBlack);
        p.setBrush(kSilver);
        p.drawRect(3, 3, 16, 12);
        p.fillRect(4, 4, 15, 3, kNavy);
        Triangle(p, {8, 16}, {14, 16}, {11, 20}, kRed);
    });
}

QPixmap Mute()
{
    // The loudspeaker fits in the left 11 columns; the waves are on the right.
    return Make(23, 25, [](QPainter &p) {
        p.setPen(kBlack);
        p.setBrush(kGray);
        p.drawRect(2, 9, 3, 6);
        p.setBrush(kBlack);
        p.drawPolygon(QPolygon({QPoint(5, 9), QPoint(10, 4), QPoint(10, 20), QPoint(5, 15)}));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kBlue, 1));
        p.drawArc(QRect(6, 8, 8, 8), -60 * 16, 120 * 16);
        p.drawArc(QRect(5, 5, 13, 14), -60 * 16, 120 * 16);
        p.drawArc(QRect(4, 2, 18, 20), -60 * 16, 120 * 16);
    });
}

QPixmap Folder()
{
    return Make(32, 32, [](QPainter &p) {
        p.setPen(kBlack);
        p.setBrush(kOlive);
        p.drawRect(3, 8, 10, 4);
        p.setBrush(kYellow);
        p.drawRect(3, 11, 25, 16);
        p.setPen(QPen(kNavy, 2));
        p.drawLine(18, 15, 18, 23);
        p.drawLine(18, 15, 22, 14);
        p.setBrush(kNavy);
        p.drawEllipse(15, 22, 3, 3);
    });
}

QImage ProgramIconImage(int size)
{
    // The design is drawn on 32 x 32; at other sizes each part is placed and sized in
    // whole pixels of its own (a teal disc, a white hub, a yellow Z), never scaled
    // from another size, so a tray's 22 or 24 pixels are as sharp as the 32.
    const int s = std::max(8, size);
    const auto at = [s](int v32) { return int(std::lround(v32 * s / 32.0)); };
    const int hub = std::max(3, at(9)) | 1;
    const int z = std::max(1, at(3));
    const int a = at(9), b = s - 1 - a;
    const int rim = std::max(1, s / 32); // the disc's margin, as on 32
    QImage img = Make(s, s, [&](QPainter &p) {
        p.setPen(kBlack);
        p.setBrush(kTeal);
        p.drawEllipse(QRect(rim, rim, s - 2 * rim - 1, s - 2 * rim - 1));
        p.setBrush(kWhite);
        p.drawEllipse(QRect((s - hub) / 2, (s - hub) / 2, hub, hub));
        p.setPen(QPen(kYellow, z, Qt::SolidLine, z == 1 ? Qt::SquareCap : Qt::FlatCap, Qt::MiterJoin));
        p.drawPolyline(QPolygon({QPoint(a, a), QPoint(b, a), QPoint(a, b), QPoint(b, b)}));
        (void)kLime;
    }).toImage();
    return img;
}

namespace {
// Draws the icon afresh at whatever size is asked for: tray panels ask for 16, 22 or 24
// pixels, scaled screens for 1.25 or 1.5 times that; a scaled copy of one size is soft.
class ProgramIconEngine : public QIconEngine {
public:
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QImage img = ProgramIconImage(int(std::min(rect.width(), rect.height()) * dpr));
        img.setDevicePixelRatio(dpr);
        painter->drawImage(rect.topLeft(), img);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return QPixmap::fromImage(ProgramIconImage(std::min(size.width(), size.height())));
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pm = pixmap(size * scale, mode, state);
        pm.setDevicePixelRatio(scale);
        return pm;
    }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }
    QIconEngine *clone() const override { return new ProgramIconEngine; }
    QString key() const override { return QStringLiteral("zolm-program-icon"); }
};
} // namespace

QIcon ProgramIcon()
{
    return QIcon(new ProgramIconEngine);
}

} // namespace glyphs
