#pragma once
// What screen readers learn about the main window: every control's name (the
// buttons show only pictures), the latching switches as toggle buttons with
// their pressed state, and a press action that clicks as the mouse does.
class TForm1;

// Names the main window's controls and makes the speed buttons speak for
// themselves. Call once the controls exist.
void DescribeForScreenReaders(TForm1 *form);

// The name of the playlist as screen readers announce it.
inline constexpr const char *kPlaylistAccessibleName = "Плейлист";
