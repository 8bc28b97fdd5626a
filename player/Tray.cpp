// Hiding to the tray icon and coming back.
#include "player/Unit1.h"

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
    TrayIcon->show();
}

void TForm1::RemoveTrayIcon()
{
    if (TrayIcon)
        TrayIcon->hide();
}

void TForm1::GoToTrayButtonClick()
{
    // Without a tray there would be no way back to a hidden window: minimise instead.
    if (!(TrayAvailable ? TrayAvailable() : QSystemTrayIcon::isSystemTrayAvailable())) {
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
    show();
    RemoveTrayIcon();
}
