#pragma once
// The program's own error classes. Every message is UTF-8; the application's
// error box shows what() of anything that escapes a handler.
#include <QByteArray>
#include <QString>
#include <stdexcept>
#include <utility>

// Any failure of the program, carrying a message only.
class Exception : public std::runtime_error {
public:
    explicit Exception(const QString &message);
    QString Message() const { return QString::fromUtf8(what()); }
};

// The run-time input/output error: reading or writing a small text file failed.
class EInOutError : public Exception {
public:
    explicit EInOutError(const QString &message);
    // The message for an errno value, worded as the user knows it ("File not found", "Disk full", ...).
    static QString TextFor(int errnoValue);
    [[noreturn]] static void Raise(int errnoValue);
};

// The run-time file-open error: "Cannot open file "<absolute path>". <system text>".
class EFOpenError : public Exception {
public:
    explicit EFOpenError(const QString &message);
    [[noreturn]] static void Raise(const QByteArray &path, int errnoValue);
};

// The error box's text: the message with "." appended when its last character sorts after ".".
QString ErrorBoxText(const QString &message);

// Shows the error box for an exception that ended a handler.
void ShowException(const std::exception &e);

// Runs a handler; an exception ends it and is shown in the error box. Qt's own
// frames are not built to be unwound through, so every handler that Qt calls
// goes through here.
template <typename F>
void RunHandler(F &&handler)
{
    try {
        std::forward<F>(handler)();
    } catch (const std::exception &e) {
        ShowException(e);
    }
}
