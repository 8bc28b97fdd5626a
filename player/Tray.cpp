// Hiding to the tray icon and coming back.
#include "player/Unit1.h"

#include "runtime/Desktop.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QWindow>

namespace {
// The mouse events the tray reports, by the numbers the icon's messages carry.
constexpr int kLeftButtonDown = 513;
constexpr int kLeftDoubleClick = 515;
constexpr int kRightButtonDown = 516;
constexpr int kMiddleButtonDown = 519;
} // namespace

void TForm1::ShowTrayIcon()
{
    if (savedApplicationName_.isEmpty())
        savedApplicationName_ = QCoreApplication::applicationName();
    if (!TrayIcon) {
        TrayIcon = new QSystemTrayIcon(TrayIconRecord.hIcon, this);
        TrayIcon->setToolTip(TrayIconRecord.szTip);
        connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
            case QSystemTrayIcon::Trigger: TrayIconMessage(kLeftButtonDown); break;
            case QSystemTrayIcon::DoubleClick: TrayIconMessage(kLeftDoubleClick); break;
            case QSystemTrayIcon::MiddleClick: TrayIconMessage(kMiddleButtonDown); break;
            default: TrayIconMessage(kRightButtonDown); break;
            }
        });
    }
    // A StatusNotifierItem's title is the application's name: the program's own
    // while the icon is up, so the panel names it as its tooltip does.
    QCoreApplication::setApplicationName(TrayIconRecord.szTip);
    TrayIcon->show();
}

void TForm1::RemoveTrayIcon()
{
    if (TrayIcon)
        TrayIcon->hide();
    if (!savedApplicationName_.isEmpty())
        QCoreApplication::setApplicationName(savedApplicationName_);
}

void TForm1::GoToTrayButtonClick()
{
    // Restored by the window manager, the window may still be marked minimised (X11):
    // asked again for that state, Qt would ask the window manager for nothing, and
    // clearing it on the way back would map the hidden window once more than show()
    // does, while the window manager is still letting it go. Cleared here, while the
    // window is on the screen, it changes nothing there.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    // Without a tray there would be no way back to a hidden window: minimise instead,
    // where the desktop has a way back from that. A Wayland compositor that cannot
    // bring a window forward has no window list either (Weston, its XWayland windows
    // too): there the window stays, as minimised it would be out of reach.
    if (!TrayAvailable()) {
        if (MinimisedWindowsComeBack())
            showMinimized();
        return;
    }
    hide();
    ShowTrayIcon();
}

void TForm1::TrayIconMessage(int mouseEvent)
{
    if (mouseEvent != kLeftButtonDown)
        return;
    BringBack();
}

void TForm1::BringBack()
{
    // Shown while still marked minimised, the window would be mapped iconic
    // (X11): the icon gone and the window with it.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    // Wayland has no request that undoes a minimise, and an X11 window manager may
    // iconify a window without a way back (Weston's) or without Qt knowing: the
    // window is mapped afresh, which every window manager shows.
    const bool iconic = isMinimized() || (windowHandle() && !windowHandle()->isExposed());
    if (isVisible() && (OnWayland() ? minimisedSinceActive_ : iconic))
        hide();
    minimisedSinceActive_ = false;
    show();
    RemoveTrayIcon();
    raise();
    activateWindow();
}

