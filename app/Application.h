#pragma once
// The application object. Any exception that escapes an event handler ends
// that handler and is shown in the error box; the program then goes on.
#include <QApplication>
#include <exception>
#include <utility>

class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

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
