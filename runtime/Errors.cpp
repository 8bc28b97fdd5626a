#include "runtime/Errors.h"

#include "runtime/Dialogs.h"
#include "runtime/TextCodec.h"

#include <QDir>
#include <cerrno>
#include <cstring>

Exception::Exception(const QString &message) : std::runtime_error(message.toStdString()) {}

EInOutError::EInOutError(const QString &message) : Exception(message) {}

QString EInOutError::TextFor(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT: return QStringLiteral("File not found");
    case ENOTDIR: return QStringLiteral("Path not found");
    case EMFILE:
    case ENFILE: return QStringLiteral("Too many open files");
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY: return QStringLiteral("File access denied");
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return QStringLiteral("Disk full");
    case EIO: return QStringLiteral("Read or write error");
    default: return QStringLiteral("I/O error %1").arg(errnoValue);
    }
}

void EInOutError::Raise(int errnoValue)
{
    throw EInOutError(TextFor(errnoValue));
}

EFOpenError::EFOpenError(const QString &message) : Exception(message) {}

void EFOpenError::Raise(const QByteArray &path, int errnoValue)
{
    QByteArray absolute = path;
    if (!absolute.startsWith('/'))
        absolute = QFile::encodeName(QDir::currentPath()) + '/' + path;
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                          .arg(DisplayText(absolute), QString::fromLocal8Bit(std::strerror(errnoValue))));
}

QString ErrorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowException(const std::exception &e)
{
    Dialogs().ShowError(ErrorBoxText(QString::fromUtf8(e.what())));
}
