#pragma once
// One player per session: a second start with a folder hands the folder to the
// player already running and ends, so the media keys keep steering the one the
// user sees. The running player answers on its MPRIS bus name, at
// /org/zolmplayer/Instance, interface org.zolmplayer.Instance, method
// OpenFolder(ay): the folder's absolute path as bytes (names need not be UTF-8).
#include <QByteArray>
#include <QString>

class TForm1;

namespace instance {

inline constexpr const char *kObjectPath = "/org/zolmplayer/Instance";
inline constexpr const char *kInterface = "org.zolmplayer.Instance";
// The running player has a window open over its main window: a secondary
// window, a message box or the folder chooser.
inline constexpr const char *kBusyError = "org.zolmplayer.Instance.Error.Busy";

enum class HandOver {
    NoPlayer, // no session bus, or no player on it that takes folders: start as usual
    Taken,    // the running player took the folder: end this start
    Refused,  // a player runs but can't take it now: end this start, saying why
};

// Asks the player that runs in this session to take the folder.
HandOver HandFolderToRunningPlayer(const QByteArray &folder);

// Takes folders handed over by later starts, on the session bus connection the
// MPRIS interface uses. Nothing without a bus.
void ServeFolderRequests(TForm1 *form);

// What the running player does with a handed-over folder: an empty text when it
// takes it (carried out once the call has returned), else the error to answer with.
QString TakeHandedOverFolder(TForm1 *form, const QByteArray &folder);

} // namespace instance
