#pragma once
// TForm1: the main window. It owns the playlist, the media component, the
// one-second timer and the shared player state. Its code is split by concern:
//   Unit1.cpp      construction, layout, menus, start-up and end
//   Playlist.cpp   rez.dat, the folder and sort commands, the list click, the entries
//   Sequencer.cpp  Play, the one-second tick, and the play order's answers applied
//   Transport.cpp  previous / play / pause / stop / next, shuffle and repeat
//   SeekBar.cpp    the seek bar
//   Volume.cpp     volume slider and mute
//   Tray.cpp       hiding to the tray icon
#include "player/PlayOrder.h"
#include "player/PlayerState.h"

#include <QMainWindow>
#include <QString>
#include <random>

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TListBox;
class TMediaPlayer;
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
    TMediaPlayer *MediaPlayer1 = nullptr;
    TTrackBar *TrackBar2 = nullptr;       // seek bar
    QTimer *Timer1 = nullptr;

    // Menus.
    QMenu *File1 = nullptr, *N5 = nullptr, *N1 = nullptr, *ListboxPopup = nullptr;
    QAction *N3 = nullptr, *N4 = nullptr;
    QAction *N8 = nullptr, *N6 = nullptr, *N9 = nullptr, *N7 = nullptr, *N10 = nullptr;
    QAction *N12 = nullptr, *N11 = nullptr, *N13 = nullptr, *N14 = nullptr;
    QAction *ZOLMPlayer1 = nullptr, *N2 = nullptr;
    QAction *ID3Tag1 = nullptr, *N15 = nullptr;

    // The tray icon (created when first needed).
    QSystemTrayIcon *TrayIcon = nullptr;
    // Whether the desktop has a tray; null asks the desktop. Tests answer for it.
    bool (*TrayAvailable)() = nullptr;

    // Methods.
    void PlayList(const QByteArray &folder);
    void Play();
    // A folder chosen outside the folder command (named on the command line,
    // dropped on the window, handed over by a second start), given as its path
    // without the final "/": what the folder command does once its chooser has
    // returned that folder. One that rez.dat could not hold is refused with a box
    // shown once the event loop runs, and nothing changes.
    void OpenFolder(const QByteArray &path);
    // Whether the window could take input from the user now: no secondary window has
    // disabled it and no message box or folder chooser holds the application. Commands
    // from outside (media keys, a second start) are refused whenever it could not.
    bool TakesInput() const;

    // Handlers. The transport's (SpeedButton1Click … N10Click) and N4Click are
    // also the commands that the tag window and the desktop's media controls run.
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
    // The sound output went away while playing and did not come back.
    void SoundOutputGone();

    // Commands of the seek bar and the volume slider, as the user's hand makes them.
    // A jump to `ms` (within the bar's range): the thumb dragged there and
    // released; the bar's handler runs once, also when the thumb stood there.
    // While paused it stays paused: the device, the bar and the clock stand at `ms`.
    void SeekTo(int ms);
    // The volume slider moved to the step nearest `level` (0 silent … 1 loudest)
    // and released; as any move of it, this also ends muting.
    void SetVolumeLevel(double level);

    // What the window shows, for those who must not reach into its controls.
    int SelectedIndex() const;  // the list's selection, -1 for none
    int EntryCount() const;
    QString EntryText(int index) const;
    QByteArray EntryBytes(int index) const;
    // The name of the entry Play last started, as bytes and as the caption shows it. Two
    // names may show alike; the tag window tells the started one by these.
    QByteArray StartedNameBytes() const { return startedNameBytes_; }
    QString StartedNameText() const { return startedNameText_; }
    int TrackLength() const;    // ms: the seek bar's range, the track's length once one has played
    double VolumeLevel() const; // the slider's level, 0 silent … 1 loudest, muted or not
    bool Muted() const;

    // The random generator for shuffle picks (reseeded when shuffle is switched on).
    std::mt19937 Random;

signals:
    // Playback moved: a track started, paused, resumed, stopped, ended or was sought.
    // Lets other ways in (desktop media controls) follow the player without polling.
    void PlaybackChanged();
    // The list's entries or its selection changed.
    void PlaylistChanged();
    // The volume slider moved or the sound was muted or unmuted.
    void VolumeChanged();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void CreateControls();
    void CreateMenus();
    void SetVolumeWord(std::uint32_t word);
    void FollowPlayOrder(PlayOrderRule rule);
    void PlayOpened(); // the rest of Play, once the file has opened or failed to
    void ShowTrayIcon();
    void RemoveTrayIcon();
    void SetElapsedText(const QString &text);
    void RememberFolder(const QByteArray &folder);
    bool listSorted_ = false;
    QByteArray startedNameBytes_;
    QString startedNameText_;
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

// Milliseconds as "m:ss".
QString FormatTrackTime(std::uint32_t ms);
