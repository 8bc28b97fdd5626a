#include "runtime/Colours.h"

#include <QSet>
#include <algorithm>
#include <cmath>

namespace colours {

namespace {
double Channel(int v)
{
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QColor Mix(const QColor &a, const QColor &b, double t)
{
    return QColor(int(std::lround(a.red() + (b.red() - a.red()) * t)),
                  int(std::lround(a.green() + (b.green() - a.green()) * t)),
                  int(std::lround(a.blue() + (b.blue() - a.blue()) * t)));
}

double Distance(const QColor &a, const QColor &b)
{
    const double dr = a.red() - b.red(), dg = a.green() - b.green(), db = a.blue() - b.blue();
    return dr * dr + dg * dg + db * db;
}
} // namespace

double Luminance(const QColor &c)
{
    return 0.2126 * Channel(c.red()) + 0.7152 * Channel(c.green()) + 0.0722 * Channel(c.blue());
}

double Contrast(const QColor &a, const QColor &b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Readable(const QColor &wanted, const QColor &background, double ratio)
{
    if (Contrast(wanted, background) >= ratio)
        return wanted;
    // The smallest step toward black or toward white that reads; the nearer of the two.
    constexpr int kSteps = 128;
    for (int i = 1; i <= kSteps; ++i) {
        const double t = double(i) / kSteps;
        const QColor darker = Mix(wanted, Qt::black, t), lighter = Mix(wanted, Qt::white, t);
        const bool d = Contrast(darker, background) >= ratio, l = Contrast(lighter, background) >= ratio;
        if (d && l)
            return Contrast(darker, background) >= Contrast(lighter, background) ? darker : lighter;
        if (d)
            return darker;
        if (l)
            return lighter;
    }
    return Contrast(Qt::black, background) >= Contrast(Qt::white, background) ? QColor(Qt::black) : QColor(Qt::white);
}

const QVector<QRgb> &Standard16()
{
    static const QVector<QRgb> colours{
        qRgb(0, 0, 0),     qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0), qRgb(0, 0, 128),   qRgb(128, 0, 128),
        qRgb(0, 128, 128), qRgb(192, 192, 192), qRgb(128, 128, 128), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(255, 255, 0),
        qRgb(0, 0, 255),   qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return colours;
}

QColor ReadableOf16(const QColor &wanted, const QColor &background, double ratio)
{
    if (Contrast(wanted, background) >= ratio)
        return wanted;
    // Each colour's lighter and darker kin among the sixteen, so a colour keeps its hue as
    // it moves away from the background: navy to blue to aqua on a dark face, black to grey.
    static const QVector<QVector<QRgb>> kin{
        {qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(192, 192, 192), qRgb(255, 255, 255)},
        {qRgb(128, 0, 0), qRgb(255, 0, 0), qRgb(255, 0, 255), qRgb(255, 255, 255)},
        {qRgb(0, 128, 0), qRgb(0, 255, 0), qRgb(255, 255, 255)},
        {qRgb(128, 128, 0), qRgb(255, 255, 0), qRgb(255, 255, 255)},
        {qRgb(0, 0, 128), qRgb(0, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)},
        {qRgb(128, 0, 128), qRgb(255, 0, 255), qRgb(255, 255, 255)},
        {qRgb(0, 128, 128), qRgb(0, 255, 255), qRgb(255, 255, 255)},
    };
    const bool lighter = Luminance(background) < 0.18;
    for (const QVector<QRgb> &chain : kin) {
        const int at = int(chain.indexOf(wanted.rgb()));
        if (at < 0)
            continue;
        for (int i = at; i >= 0 && i < chain.size(); i += lighter ? 1 : -1)
            if (Contrast(QColor::fromRgb(chain[i]), background) >= ratio)
                return QColor::fromRgb(chain[i]);
        if (lighter)
            break;
        // Toward dark the chain ends at the colour itself: black is the last of its kin.
        if (Contrast(Qt::black, background) >= ratio)
            return QColor(Qt::black);
    }
    QColor best;
    double bestDistance = 0;
    for (QRgb rgb : Standard16()) {
        const QColor c = QColor::fromRgb(rgb);
        if (Contrast(c, background) < ratio)
            continue;
        const double d = Distance(c, wanted);
        if (!best.isValid() || d < bestDistance)
            best = c, bestDistance = d;
    }
    // Black or white always reaches 3 : 1; the better of them for a higher ratio no colour reaches.
    if (!best.isValid())
        best = Contrast(Qt::black, background) >= Contrast(Qt::white, background) ? QColor(Qt::black)
                                                                                 : QColor(Qt::white);
    return best;
}

QImage ReadablePicture(const QImage &picture, const QColor &face)
{
    QImage img = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    const auto opaque = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && qAlpha(img.pixel(x, y)) == 255;
    };
    QSet<QRgb> outline;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (opaque(x, y) && (!opaque(x - 1, y) || !opaque(x + 1, y) || !opaque(x, y - 1) || !opaque(x, y + 1)))
                outline.insert(img.pixel(x, y));
    QHash<QRgb, QRgb> replace;
    for (QRgb c : outline) {
        const QColor now = QColor::fromRgb(c);
        const QColor readable = ReadableOf16(now, face);
        if (readable != now)
            replace.insert(c, readable.rgb());
    }
    if (replace.isEmpty())
        return picture;
    for (int y = 0; y < h; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) == 255)
                line[x] = replace.value(line[x], line[x]);
    }
    return img;
}

void PairText(QPalette &palette, QPalette::ColorRole background, QPalette::ColorRole text,
              QPalette::ColorRole pairedWith)
{
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor bg = palette.color(g, background);
        QColor fg = palette.color(g, pairedWith);
        // Disabled text is meant to recede; the enabled groups must read.
        if (g != QPalette::Disabled)
            fg = Readable(fg, bg);
        palette.setColor(g, text, fg);
    }
}

} // namespace colours
