// Hiding to the tray icon and coming back.
#include "player/Unit1.h"

#include "runtime/Desktop.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>

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
    // Without a tray there would be no way back to a hidden window: minimise instead,
    // where the desktop has a way back from that. A Wayland compositor that cannot
    // bring a window forward has no window list either (Weston): there the window
    // stays, as minimised it would be out of reach.
    if (!(TrayAvailable ? TrayAvailable() : QSystemTrayIcon::isSystemTrayAvailable())) {
        if (!OnWayland() || CompositorActivatesWindows())
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
    // Wayland has no request that undoes a minimise: the window is mapped afresh.
    if (OnWayland() && minimisedSinceActive_ && isVisible())
        hide();
    minimisedSinceActive_ = false;
    show();
    RemoveTrayIcon();
    raise();
    activateWindow();
}

