#pragma once
// Opens the player's file and waits for the opening to end, as a caller with
// nothing else to do would; raises EMCIDeviceError with the player's error text
// when it fails. The program itself opens with BeginOpen and goes on.
#include "media/MPlayer.h"

#include <QCoreApplication>
#include <QEventLoop>

inline void OpenNow(TMediaPlayer &mp)
{
    bool done = false;
    mp.BeginOpen([&done] { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!mp.IsOpen())
        throw EMCIDeviceError(mp.ErrorText());
}
