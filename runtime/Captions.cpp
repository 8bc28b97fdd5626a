#include "runtime/Captions.h"

#include <QWidget>

namespace {
QString g_applicationTitle = QStringLiteral("ZOLM Player");
const QString kModifiedMark = QStringLiteral("[*]");
const QString kEscapedMark = QStringLiteral("[*][*]");
} // namespace

QString ApplicationTitle()
{
    return g_applicationTitle;
}

void SetApplicationTitle(const QString &title)
{
    g_applicationTitle = title;
}

void SetCaption(QWidget *window, const QString &caption)
{
    // Qt shows "[*][*]" as "[*]", so doubling each mark leaves the characters as they are.
    QString escaped = caption;
    escaped.replace(kModifiedMark, kEscapedMark);
    window->setWindowTitle(escaped);
    // What the taskbar shows for the window, also where it goes by the icon name.
    window->setWindowIconText(escaped);
}

QString Caption(const QWidget *window)
{
    return window->windowTitle().replace(kEscapedMark, kModifiedMark);
}
