#include "runtime/SecondaryWindow.h"

#include "runtime/Desktop.h"
#include "runtime/Errors.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

void OpenSecondaryWindow(QWidget *window)
{
    QWidget *main = MainWindow();
    if (main)
        main->setEnabled(false);
    window->winId();
    if (QWindow *handle = window->windowHandle())
        handle->setTransientParent(main ? main->windowHandle() : nullptr);
    window->show();
}

namespace {
std::function<void(QWidget *)> g_openers[3];
}

void SetSecondaryWindowOpener(SecondaryWindowKind kind, std::function<void(QWidget *from)> open)
{
    g_openers[int(kind)] = std::move(open);
}

void OpenSecondaryWindow(SecondaryWindowKind kind, QWidget *from)
{
    if (const auto &open = g_openers[int(kind)])
        open(from);
}

SecondaryWindow::SecondaryWindow(QWidget *window, std::function<void()> build, std::function<void()> closeHandler)
    : QObject(window), window_(window), build_(std::move(build)), closeHandler_(std::move(closeHandler))
{
    FrameAsDialog(window);
    window->installEventFilter(this);
}

SecondaryWindow::~SecondaryWindow()
{
    if (open_ && MainWindow())
        MainWindow()->setEnabled(true);
}

void SecondaryWindow::Showing()
{
    build_();
    FrameAsDialog(window_);
    open_ = true;
}

void SecondaryWindow::Close()
{
    open_ = false;
    if (MainWindow())
        MainWindow()->setEnabled(true);
    window_->hide();
}

bool SecondaryWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The close box, the system's close key: the window's own handler, and the
    // default close stays undone (the window is hidden, never closed for good).
    if (watched != window_ || event->type() != QEvent::Close)
        return false;
    event->ignore();
    RunHandler(closeHandler_);
    return true;
}
