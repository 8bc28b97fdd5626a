#pragma once
// Readable colours whatever the theme. The windows pair each system colour
// with the text colour that belongs to it; where a colour of a pair is fixed,
// the other is kept where it reads on it, and otherwise moved to the nearest
// colour that does.
#include <QColor>
#include <QImage>
#include <QPalette>
#include <QVector>

namespace colours {

// Thresholds: text against what it is drawn on, pictures against their button.
inline constexpr double kText = 4.5;
inline constexpr double kPicture = 3.0;

double Luminance(const QColor &c); // relative luminance, 0 black … 1 white
double Contrast(const QColor &a, const QColor &b); // 1 … 21

// `wanted` where it reaches `ratio` on `background`; otherwise the nearest
// mix of it with black or with white that does (the same hue, darker or lighter).
QColor Readable(const QColor &wanted, const QColor &background, double ratio = kText);

// The sixteen standard colours of the pictures.
const QVector<QRgb> &Standard16();
// `wanted` where it reaches `ratio` on `background`; otherwise the nearest of
// the sixteen that does.
QColor ReadableOf16(const QColor &wanted, const QColor &background, double ratio = kPicture);

// A picture as it must be drawn on `face`: every colour on its outline (an
// opaque pixel beside a transparent one or the picture's edge) that would not
// stand out from the face is replaced, everywhere in the picture, by the
// nearest of the sixteen that does.
QImage ReadablePicture(const QImage &picture, const QColor &face);

// The palette with `text` made readable on `background` in every colour group;
// `text` is first taken from `pairedWith` (the role that belongs to the background).
void PairText(QPalette &palette, QPalette::ColorRole background, QPalette::ColorRole text,
              QPalette::ColorRole pairedWith);

} // namespace colours
