#pragma once
// The three secondary windows (the About box, the tag window, the help
// window): made after the main window, each opener told to the main window's
// menus, and deleted in the reverse order.
class TPlayerSession;
// The tag window reaches the player through the session given here.
void CreateSecondaryWindows(TPlayerSession &session);
void DeleteSecondaryWindows();
