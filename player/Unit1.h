#pragma once
// TForm1: the main window. It owns the player session (player/Session.h), whose
// commands its handlers call, and draws what the session reports. Its code is split by concern:
//   Unit1.cpp      construction, layout, menus, start-up and end
//   Playlist.cpp   the folder and sort commands, the list click, the list drawn
//   Sequencer.cpp  Play, the one-second tick, the labels and the seek bar drawn
//   Transport.cpp  previous / play / pause / stop / next, shuffle and repeat
//   SeekBar.cpp    the seek bar
//   Volume.cpp     volume slider and mute
//   Tray.cpp       hiding to the tray icon
#include "player/PlayerState.h"

#include <QMainWindow>
#include <QString>

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TListBox;
class TMediaPlayer;
class TPlayerSession;
class TShape;
class TSpeedButton;
class TTrackBar;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Controls, in creation order.
    TShape *Shape1 = nullptr;
    TSpeedButton *SpeedButton1 = nullptr; // previous
    TSpeedButton *SpeedButton2 = nullptr; // stop
    TSpeedButton *SpeedButton3 = nullptr; // next
    TSpeedButton *SpeedButton4 = nullptr; // open folder
    QLabel *Label1 = nullptr;             // current track
    QLabel *Label2 = nullptr;             // elapsed time
    TSpeedButton *SpeedButton5 = nullptr; // play
    TSpeedButton *SpeedButton6 = nullptr; // pause
    TSpeedButton *MuteButton = nullptr;
    TSpeedButton *shuffle = nullptr;
    TSpeedButton *RepeatButton = nullptr;
    TSpeedButton *GoToTrayButton = nullptr;
    TListBox *ListBox1 = nullptr;
    TTrackBar *TrackBar1 = nullptr;       // volume
    TMediaPlayer *MediaPlayer1 = nullptr; // the session's
    TTrackBar *TrackBar2 = nullptr;       // seek bar
    QTimer *Timer1 = nullptr;             // the session's clock

    // Menus.
    QMenu *File1 = nullptr, *N5 = nullptr, *N1 = nullptr, *ListboxPopup = nullptr;
    QAction *N3 = nullptr, *N4 = nullptr;
    QAction *N8 = nullptr, *N6 = nullptr, *N9 = nullptr, *N7 = nullptr, *N10 = nullptr;
    QAction *N12 = nullptr, *N11 = nullptr, *N13 = nullptr, *N14 = nullptr;
    QAction *ZOLMPlayer1 = nullptr, *N2 = nullptr;
    QAction *ID3Tag1 = nullptr, *N15 = nullptr;

    // The tray icon (created when first needed).
    QSystemTrayIcon *TrayIcon = nullptr;

    // The player behind the window: every command goes there, and the window draws
    // what it reports.
    TPlayerSession *Session() const { return session_; }
    void PlayList(const QByteArray &folder);
    void Play();

    // Handlers: each calls the session (or a secondary window) and leaves the drawing
    // to Redraw.
    void FormCreate();
    void FormDestroy();
    void ListBox1Click();
    void SpeedButton4Click();
    void N3Click();
    void N4Click();
    void N15Click();
    void Timer1Timer();
    void SpeedButton1Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void shuffleClick();
    void RepeatButtonClick();
    void N8Click();
    void N6Click();
    void N9Click();
    void N7Click();
    void N10Click();
    void N11Click();
    void N13Click();
    void TrackBar2Change();
    void TrackBar1Change();
    void MuteButtonClick();
    void N14Click();
    void GoToTrayButtonClick();
    // The tray icon's mouse events (the left press brings the window back).
    void TrayIconMessage(int mouseEvent);
    // Shows the window wherever it went (to the tray, minimised), restored and in front.
    void BringBack();
    void N2Click();
    void ID3Tag1Click();
    void ZOLMPlayer1Click();

    // Draws the session's state: labels, caption, switches, sliders and the list.
    void Redraw();
    void PauseReleased();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void CreateControls();
    void CreateMenus();
    void ShowTrayIcon();
    void RemoveTrayIcon();
    void DrawList();
    TPlayerSession *session_ = nullptr;
    // True only while the window moves its sliders itself.
    bool drawing_ = false;
    // The session's entries as the list shows them (their version).
    int shownEntries_ = -1;
    // The menu's own check marks: each handler sets its mark itself.
    bool markN11_ = false, markN13_ = false, markN14_ = false;
    bool destroyed_ = false;
    // Minimised, as far as Qt was told, since the window was last active (Wayland
    // reports the minimise and clears it at once).
    bool minimisedSinceActive_ = false;
    // The application's name while no tray icon is up.
    QString savedApplicationName_;
};

// The one main window of the process.
extern TForm1 *Form1;
