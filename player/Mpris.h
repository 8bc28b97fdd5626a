#pragma once
// MPRIS 2 on the session bus, so the desktop's media keys and media controls
// (and phone remotes) drive the player. Every method runs the session's command that
// the matching menu item runs, so the transport's rules hold whichever way a command
// comes in; while the main window takes no input (a secondary window has
// disabled it, a message box or the folder chooser is open), every command is
// refused with an error, as the menu shortcuts are dead: every method, Raise
// included (CanRaise then reads false, and MPRIS lets such a Raise fail). A write
// of Volume then changes nothing; Qt answers property writes itself, with success,
// so the refusal shows as Volume announced again as it stands.
#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

class TForm1;
class TPlayerSession;

class Mpris : public QObject {
    Q_OBJECT
public:
    static constexpr const char *kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char *kServiceName = "org.mpris.MediaPlayer2.zolmplayer";

    // Puts the player on the session bus, owned by the window. Without a bus, or
    // when the bus refuses, returns nullptr and says nothing: the player runs as
    // it would without us. A second player takes "<name>.instance<pid>".
    static Mpris *Start(TForm1 *form);
    ~Mpris() override;

    QString ServiceName() const { return service_; }

    // What the properties read now, as the bus would marshal them.
    QVariantMap RootProperties() const;
    QVariantMap PlayerProperties() const;
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    qlonglong Position() const; // microseconds
    double Volume() const;
    void SetVolume(double volume);

    // The commands. Each is carried out after the call has returned (a command can
    // open a message box, which would otherwise hold the caller's reply), on the
    // window's thread, through the command the menu item runs.
    void Raise();
    void Quit();
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong offsetUs);
    void SetPosition(const QString &trackId, qlonglong positionUs);
    // Answers the call with an error when the window takes no input now.
    bool Refused(const QDBusMessage &call);

signals:
    // The track jumped: the position in microseconds.
    void Seeked(qlonglong position);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Mpris(TForm1 *form, const QDBusConnection &bus);
    bool Register();
    template <typename F> void Later(F &&command);
    QString TrackId() const;
    bool Enabled() const;
    bool SeekableNow() const;
    // Compares what the properties read with what was last announced and sends
    // PropertiesChanged for what differs.
    void Announce(bool playbackMoved);
    void AnnounceSoon();
    void SendChanged(const QString &interface, const QVariantMap &before, const QVariantMap &now);

    TForm1 *form_;
    TPlayerSession *session_;
    QDBusConnection bus_;
    QString service_;
    bool objectRegistered_ = false;
    QVariantMap lastRoot_;
    QVariantMap lastPlayer_;
    bool announcePending_ = false;
};
