#pragma once
// The program's fonts. Each asks for the face the windows were drawn with;
// where that face is missing, fontconfig's own pick can be far off (a symbol
// font for "Impact"), so each names close free faces after it.
#include <QFont>
#include <QString>
#include <QStringList>

inline QFont NamedFont(const QString &family, int pixels, bool bold = false)
{
    QStringList families{family};
    QFont::StyleHint hint = QFont::SansSerif;
    if (family == QLatin1String("Impact")) {
        families << QStringLiteral("Nimbus Sans Narrow") << QStringLiteral("DejaVu Sans Condensed")
                 << QStringLiteral("Liberation Sans Narrow") << QStringLiteral("Liberation Sans");
    } else if (family == QLatin1String("Times New Roman")) {
        families << QStringLiteral("Liberation Serif") << QStringLiteral("DejaVu Serif");
        hint = QFont::Serif;
    } else if (family == QLatin1String("Lucida Console") || family == QLatin1String("Courier New")) {
        families << QStringLiteral("Liberation Mono") << QStringLiteral("DejaVu Sans Mono");
        hint = QFont::Monospace;
    } else {
        families << QStringLiteral("Liberation Sans") << QStringLiteral("DejaVu Sans");
    }
    QFont font(family);
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}
