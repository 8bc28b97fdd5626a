#pragma once
// Names and texts are kept as bytes (file names on Linux need not be UTF-8;
// old Windows disks carry windows-1251). These turn them into display text.
#include <QByteArray>
#include <QString>

// The bytes as UTF-8 when they are valid UTF-8, otherwise as windows-1251.
QString DisplayText(const QByteArray &bytes);
QString DisplayText(const char *data, qsizetype size);

// The first maxChars characters of bytes: a valid UTF-8 sequence counts as one
// character and is never split; any other byte counts as one.
QByteArray CutToChars(const QByteArray &bytes, qsizetype maxChars);

// Number of characters by the rule of CutToChars.
qsizetype CharCount(const QByteArray &bytes);
