#pragma once
// Centring a window on the screen as it is shown. A window's size is known once it
// has laid itself out on showing, and the window manager's frame only once the window
// is on the screen; so it is centred by an estimate of the frame from its showEvent,
// then again by the real frame when it is first exposed.
class QWidget;

// Call from the window's showEvent, after the base class's.
void CentreOnScreenAsShown(QWidget *window);

// Centres the window so at its first showing only (the main window: later it
// stays wherever the user put it).
void CentreOnScreenWhenFirstShown(QWidget *window);
