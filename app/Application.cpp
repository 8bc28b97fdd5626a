#include "app/Application.h"

#include "runtime/Dialogs.h"
#include "runtime/Errors.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

namespace {
QString g_applicationTitle = QStringLiteral("ZOLM Player");
const QString kModifiedMark = QStringLiteral("[*]");
const QString kEscapedMark = QStringLiteral("[*][*]");
} // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    // The program ends through its exit item, the main window's close box or
    // the system's close, never because a box closed while the main window
    // sits hidden in the tray.
    setQuitOnLastWindowClosed(false);
    LoadQtTranslations(this);
}

void LoadQtTranslations(QCoreApplication *app)
{
    // Every text the user sees is Russian, those of the dialogs Qt draws (the folder
    // chooser, the boxes' buttons) too, whatever the desktop's language.
    auto *texts = new QTranslator(app);
    if (texts->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app->installTranslator(texts);
    else
        delete texts;
}

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

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ShowException(e);
        return true;
    }
}

void ShowException(const std::exception &e)
{
    Dialogs().ShowError(ErrorBoxText(QString::fromUtf8(e.what())));
}
