#pragma once
// The pictures of the main window's buttons and the program icon, drawn in the
// sixteen standard colours at the sizes the buttons expect.
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace glyphs {
QPixmap Previous(); // 23 x 15
QPixmap Play();     // 23 x 15
QPixmap Pause();    // 23 x 15
QPixmap Stop();     // 23 x 15
QPixmap Next();     // 23 x 15
QPixmap Shuffle();  // 23 x 22
QPixmap Repeat();   // 23 x 22: a closed loop; its left 11 columns an open arc with the arrow head
QPixmap Tray();     // 23 x 22
QPixmap Mute();     // 23 x 25: a loudspeaker with waves; its left 11 columns the loudspeaker alone
QPixmap Folder();   // 32 x 32
QIcon ProgramIcon(); // drawn at every size asked for; 32 x 32 by design
QImage ProgramIconImage(int size); // size x size, in the sixteen colours
} // namespace glyphs
