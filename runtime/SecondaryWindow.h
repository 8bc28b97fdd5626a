#pragma once
// The windows that disable the main window while they are open (the About box,
// the help window, the tag window) share one protocol: a command of the main
// window disables it and shows the window above it; the window builds its contents
// at its first showing; and every way out gives the main window back, so it never
// stays disabled with nothing open to enable it.
#include <QObject>
#include <functional>

class QWidget;

// Disables the main window, then shows the window above it (window managers
// keep it there: a click on the main window would otherwise bury the only
// window that takes input).
void OpenSecondaryWindow(QWidget *window);

// The secondary windows the main window opens from its menus. They are made
// in rooms the main window does not reach, so the program says at start how
// each is opened.
enum class SecondaryWindowKind { About, Tags, Help };
// open gets the window asking (the main window); null forgets the opener.
void SetSecondaryWindowOpener(SecondaryWindowKind kind, std::function<void(QWidget *from)> open);
// Opens that window as the program said; nothing when it said nothing.
void OpenSecondaryWindow(SecondaryWindowKind kind, QWidget *from);

// Made by the window at the end of its constructor, as its child.
class SecondaryWindow : public QObject {
public:
    // build makes the contents unless they are made; closeHandler is the
    // window's own handler for its close box and the system's close key.
    SecondaryWindow(QWidget *window, std::function<void()> build, std::function<void()> closeHandler);
    // Destroyed while open, the window gives the main window back too.
    ~SecondaryWindow() override;
    // From the window's setVisible(true), before the base class's.
    void Showing();
    // Enables the main window, then hides the window: how every way out ends.
    void Close();
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window_;
    std::function<void()> build_, closeHandler_;
    bool open_ = false;
};
