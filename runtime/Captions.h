#pragma once
// Window captions as the user reads them.
#include <QString>

class QWidget;

// The application title: the caption of plain message boxes and the error box,
// and of the main window's taskbar entry. It is kept here, not in Qt's
// application display name, which X11 would append to every window's title.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// Sets a window's title, and the text of its taskbar entry, to exactly these
// characters. Qt would read "[*]" as the unsaved-changes mark and drop it;
// file names may hold it.
void SetCaption(QWidget *window, const QString &caption);
// The caption as set by SetCaption (or a plain setWindowTitle).
QString Caption(const QWidget *window);
