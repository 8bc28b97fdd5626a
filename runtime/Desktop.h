#pragma once
// How the desktop's window system treats the program's windows. On X11 the
// program places its windows and the window manager frames them as their flags
// ask. On Wayland a client places no window, and Qt draws the title bars itself.
class QWidget;

bool OnWayland();

// Whether the Wayland compositor lets a client ask for its window to be brought
// forward (xdg-activation). The desktops that do (GNOME, Plasma, the wlroots
// ones) also list their windows, so a minimised window can be found again;
// Weston, which has no window list, does not.
bool CompositorActivatesWindows();
// Whether the desktop has a way back from a minimise: X11 window managers list
// their windows; under a Wayland compositor, natively or through XWayland, only
// the compositors that activate windows do.
bool MinimisedWindowsComeBack();

// Whether the desktop shows tray icons. Qt asks once per process, so whoever must
// answer otherwise (a test with no tray, or one that can't switch it off) sets a
// query in the desktop's place; null asks the desktop again.
using TrayQuery = bool (*)();
void SetTrayQuery(TrayQuery query);
bool TrayAvailable();

// Whether the Wayland compositor draws the windows' title bars when asked (xdg-decoration:
// KWin, sway); where it does not (GNOME, Weston) Qt draws them.
bool CompositorDecoratesWindows();

// Whether the windows are KWin's (Plasma says so in XDG_CURRENT_DESKTOP; elsewhere KWin's
// own Wayland globals tell), which numbers windows that share a caption.
bool KWinNumbersCaptions();

// The main window: the boxes are its dialogs on Wayland, the secondary windows disable it.
// A box or window that holds it disabled comes back in front whenever it is activated.
void SetMainWindow(QWidget *window);
QWidget *MainWindow();

// The main window's frame: where Qt would draw its title bar on Wayland (with a
// maximise button the window must not have), it draws its own with minimise and close.
void FrameMainWindow(QWidget *window);

// Makes a window that disables the main window a dialog of it (window managers
// keep it over the main window, and bring it back with it), framed with close
// only. On X11 the window's flags see to the frame. On Wayland Qt's title bars
// offer minimise and maximise whatever the flags say, and a minimised box would
// leave the user before a main window that takes no input: there such a window
// draws its own title bar. Call before the window is first created, and again
// before each showing (contents built late move below the title bar then).
void FrameAsDialog(QWidget *window);
