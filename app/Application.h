#pragma once
// The application object. Any exception that escapes an event handler ends
// that handler and is shown in the error box; the program then goes on.
#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Installs Qt's Russian translations (Debian's qt6-translations-l10n), so Qt's own
// dialogs speak Russian; the application object does it as it is made.
void LoadQtTranslations(QCoreApplication *app);
