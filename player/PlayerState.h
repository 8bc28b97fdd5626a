#pragma once
// What the tray icon is made from: one per process, filled once at start-up.
#include <QIcon>
#include <QString>
#include <cstdint>

struct TTrayIconRecord {
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    QString szTip;
};
extern TTrayIconRecord TrayIconRecord;

// Back to the start values (tests build several main windows in one process).
void ResetPlayerState();
