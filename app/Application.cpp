#include "app/Application.h"

#include "runtime/Errors.h"

#include <QLibraryInfo>
#include <QTranslator>

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

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ShowException(e);
        return true;
    }
}
