#pragma once
// TPlayerSession: the player without its window. It owns the media component, the
// folder's entries and the current one, the play modes, the clock's counters and the
// volume, and carries out the commands; every way in (the main window, the desktop's
// media controls, a second start, the tag window) calls it, and the main window only
// draws what it reports. One per process, made by the main window.
#include "player/NameList.h"
#include "player/PlayOrder.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <random>

class TMediaPlayer;

class TPlayerSession : public QObject {
    Q_OBJECT
public:
    explicit TPlayerSession(QObject *parent = nullptr);
    ~TPlayerSession() override;

    // Start-up: rez.dat made when missing, its folder listed, the first entry named
    // and the volume set, nothing playing.
    void Start();

    // ------------------------------------------------------------ the entries
    // The folder of the entries, as bytes: empty or ending in "/".
    QByteArray Folder() const { return folder_; }
    // Lists the folder's audio names; the first becomes current (none for an empty list).
    void List(const QByteArray &folder);
    // The folder command: the chooser, then the folder remembered and listed.
    void ChooseFolder();
    // A folder given without the chooser, as its path without the final "/". One that
    // rez.dat could not hold is refused with a box once the event loop runs.
    void OpenFolder(const QByteArray &path);
    // Orders the entries by name, once per listing, keeping the current position number.
    void SortByName();
    const TNameList &Entries() const { return entries_; }
    // Counts the changes of the entries themselves (a listing, a sort), not of the current one.
    int EntriesVersion() const { return entriesVersion_; }
    int Count() const { return int(entries_.Count()); }
    QString EntryText(int index) const { return entries_.Text(index); }
    QByteArray EntryBytes(int index) const { return entries_.Bytes(index); }
    QByteArray EntryPath(int index) const { return folder_ + EntryBytes(index); }
    // The current entry, -1 for none; Select changes it and plays nothing.
    int Current() const { return current_; }
    void Select(int index);
    // The user picked an entry: it becomes current and plays.
    void Choose(int index);

    // ------------------------------------------------------------ transport
    void Play();
    void Pause(); // pauses while playing, resumes while paused
    void Stop();
    void Next();
    void Previous();
    // One second of the clock: the counters follow what was heard; at the end, the play order.
    void Tick();
    // A jump to ms, as a move of the seek bar: it plays from there.
    void Jump(int ms);
    // A jump as the seek bar's thumb released there; a paused player stays paused.
    void SeekTo(int ms);
    // The sound output went away while playing and did not come back.
    void OutputGone();

    // ------------------------------------------------------------ modes and volume
    void ToggleShuffle();
    void CycleRepeat();
    void ToggleMute();
    // The volume slider at this position (0 loudest … kVolumeSteps silent).
    void SetVolumePosition(int position);
    // The slider moved to the step nearest level (0 silent … 1 loudest); ends muting too.
    void SetVolumeLevel(double level);

    static constexpr int kVolumeSteps = 20;

    // ------------------------------------------------------------ what it reports
    TMediaPlayer *Media() const { return media_; }
    bool Paused() const { return paused_; } // the pause switch latched
    bool Shuffle() const { return shuffle_; }
    int RepeatMode() const { return repeatMode_; } // 0 off, 1 the song, 2 the list
    bool Muted() const { return muted_; }
    int VolumePosition() const { return volumePosition_; }
    double VolumeLevel() const { return double(kVolumeSteps - volumePosition_) / kVolumeSteps; }
    std::uint32_t VolumeWord() const { return volumeWord_; } // low 16 bits left, high right
    int ElapsedMinutes() const { return elapsedMinutes_; }
    int ElapsedSeconds() const { return elapsedSeconds_; }
    QString ElapsedText() const { return elapsedText_; }
    QString TrackText() const { return trackText_; } // the current track line
    QString Title() const; // the window's caption
    // The seek bar: where it stands, its range and whether its thumb shows.
    int ShownPosition() const { return shownPosition_; }
    int TrackLength() const { return trackLength_; }
    bool PositionShown() const { return positionShown_; }
    bool Playing() const; // the device plays
    QTimer *Clock() { return &clock_; }
    // Whether commands from the user or from outside are taken now: the main window is
    // not disabled by a secondary window and no box or folder chooser holds the application.
    static bool TakesInput();

    // The generator for shuffle picks (reseeded when shuffle is switched on).
    std::mt19937 Random;

    // For the tag window.
    QByteArray RememberedFolderNow() const;
    QString CaptionName() const { return captionName_; }
    QString StartedNameText() const { return startedNameText_; }
    QByteArray StartedNameBytes() const { return startedNameBytes_; }

signals:
    // Playback moved: a track started, paused, resumed, stopped, ended or was sought.
    void PlaybackChanged();
    // The entries or the current one changed.
    void PlaylistChanged();
    // The volume or muting changed.
    void VolumeChanged();
    // Anything the window shows changed.
    void Shown();
    // The pause switch goes up (play, stop, resume), also when it was merely pressed.
    void PauseReleased();

private:
    void PlayOpened();
    void ReleasePause();
    void Follow(PlayOrderRule rule);
    void Remember(const QByteArray &folder);
    void SetShownPosition(int ms);
    void SetElapsed(int minutes, int seconds);
    void SendVolume(std::uint32_t word);
    static std::uint32_t WordFor(int position);

    TMediaPlayer *media_;
    QTimer clock_;
    QByteArray folder_;
    TNameList entries_;
    int current_ = -1;
    int entriesVersion_ = 0;
    bool sorted_ = false;
    bool paused_ = false, shuffle_ = false, muted_ = false;
    int repeatMode_ = 0;
    int volumePosition_ = 0;
    std::uint32_t volumeWord_ = 0;
    int elapsedMinutes_ = 0, elapsedSeconds_ = 0;
    QString elapsedText_ = QStringLiteral("0:00");
    QString trackText_, captionName_, startedNameText_;
    QByteArray startedNameBytes_;
    int shownPosition_ = 0, trackLength_ = 10;
    bool positionShown_ = false;
};

// Milliseconds as "m:ss".
QString FormatTrackTime(std::uint32_t ms);
