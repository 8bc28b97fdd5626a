#pragma once
// Names and texts are kept as bytes (file names on Linux need not be UTF-8;
// old Windows disks carry windows-1251). These turn them into display text.
#include <QByteArray>
#include <QList>
#include <QString>

// The bytes as UTF-8 when they are valid UTF-8, otherwise as windows-1251 or windows-1252,
// whichever the text reads as (windows-1251 when in doubt). A text that is UTF-8 but for a
// sequence cut at its end (and has a letter beyond ASCII before it) reads as UTF-8, each cut
// byte shown as a symbol of its own (U+2880..U+28FF). Distinct bytes read in one way give
// distinct text: DisplayTextSources finds them again.
QString DisplayText(const QByteArray &bytes);
QString DisplayText(const char *data, qsizetype size);

// The text with each control character (U+0000..U+001F, U+007F) as its visible symbol
// (U+2400..U+241F, U+2421), so a name holding a line break shows on one line.
QString WithVisibleControls(QString text);

// Every byte string that DisplayText shows as text (at most one for each of the three
// codes), the UTF-8 form first. Empty when no bytes show as text.
QList<QByteArray> DisplayTextSources(const QString &text);

// The first maxChars characters of bytes: a valid UTF-8 sequence counts as one
// character and is never split; any other byte counts as one.
QByteArray CutToChars(const QByteArray &bytes, qsizetype maxChars);

// Number of characters by the rule of CutToChars.
qsizetype CharCount(const QByteArray &bytes);

// An ASCII capital as its small letter; any other byte or code unit as it is
// (a byte beyond ASCII is never a letter here, whatever the encoding).
template <typename Char>
constexpr Char FoldAscii(Char c)
{
    return c >= Char('A') && c <= Char('Z') ? Char(c + ('a' - 'A')) : c;
}
