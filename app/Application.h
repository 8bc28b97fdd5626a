#pragma once
// The application object. Any exception that escapes an event handler ends
// that handler and is shown in the error box; the program then goes on.
#include <QApplication>
#include <QString>
#include <exception>
#include <utility>

class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Installs Qt's Russian translations (Debian's qt6-translations-l10n), so Qt's own
// dialogs speak Russian; the application object does it as it is made.
void LoadQtTranslations(QCoreApplication *app);

// The application title: the caption of plain message boxes and the error box,
// and of the main window's taskbar entry. It is kept here, not in Qt's
// application display name, which X11 would append to every window's title.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// Sets a window's title, and the text of its taskbar entry, to exactly these
// characters. Qt would read "[*]" as the unsaved-changes mark and drop it;
// file names may hold it.
void SetCaption(QWidget *window, const QString &caption);
// The caption as set by SetCaption (or a plain setWindowTitle).
QString Caption(const QWidget *window);

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
