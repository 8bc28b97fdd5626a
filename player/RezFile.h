#pragma once
// rez.dat: the remembered folder, one line in the working directory.
#include <QByteArray>

inline constexpr const char *kRezFileName = "rez.dat";
inline constexpr int kRezMaxChars = 255;

// The first line of a text file: reading stops at LF, at CR LF, at Ctrl-Z or
// at the end; a CR not followed by LF is dropped; the first maxChars characters
// are kept (a UTF-8 character is never split). Only as much of the file as that
// needs is read. Raises EInOutError when the file can't be opened or read.
QByteArray ReadFirstLine(const char *path, int maxChars = kRezMaxChars);

// Whether ReadFirstLine gives the text back as written: no line feed, carriage
// return or Ctrl-Z in it. A folder that fails this could be listed but not remembered.
bool FitsRezLine(const QByteArray &text);

// Creates rez.dat empty when no file of that name exists. Raises EInOutError.
void EnsureRezFile(const char *path = kRezFileName);
// Creates or truncates rez.dat and writes the text without a line terminator. Raises EInOutError.
void WriteRezFile(const QByteArray &text, const char *path = kRezFileName);
