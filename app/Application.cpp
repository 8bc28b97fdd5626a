#include "app/Application.h"

#include "app/Dialogs.h"
#include "app/Errors.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

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
