// MPRIS 2: the org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player
// interfaces over the main window's own handlers.
#include "player/Mpris.h"

#include "media/MPlayer.h"
#include "player/Instance.h"
#include "player/Session.h"
#include "player/Unit1.h"
#include "runtime/Errors.h"

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDir>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>
#include <unistd.h>

namespace {

const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
// Our own namespace for track ids: /org/mpris is reserved by MPRIS itself.
const QString kTrackPrefix = QStringLiteral("/org/zolmplayer/track/");

bool PlayingOrPaused(TMPModes mode)
{
    return mode == TMPModes::mpPlaying || mode == TMPModes::mpPaused;
}

// Property names are those of the interfaces; the adaptors only forward.
class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit RootAdaptor(Mpris *mpris) : QDBusAbstractAdaptor(mpris), m_(mpris) {}
    bool CanQuit() const { return m_->RootProperties().value(QStringLiteral("CanQuit")).toBool(); }
    bool CanRaise() const { return m_->RootProperties().value(QStringLiteral("CanRaise")).toBool(); }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("ZOLM Player"); }
    QString DesktopEntry() const { return QStringLiteral("zolm-player"); }
    // The player plays the folder it was pointed at; it opens nothing by address.
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }
public slots:
    void Raise(const QDBusMessage &call) { if (!m_->Refused(call)) m_->Raise(); }
    void Quit(const QDBusMessage &call) { if (!m_->Refused(call)) m_->Quit(); }
private:
    Mpris *m_;
};

class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit PlayerAdaptor(Mpris *mpris) : QDBusAbstractAdaptor(mpris), m_(mpris) { setAutoRelaySignals(true); }
    QString PlaybackStatus() const { return m_->PlaybackStatus(); }
    double Rate() const { return 1.0; }
    void SetRate(double) {} // one speed only
    QVariantMap Metadata() const { return m_->Metadata(); }
    double Volume() const { return m_->Volume(); }
    void SetVolume(double volume) { m_->SetVolume(volume); }
    qlonglong Position() const { return m_->Position(); }
    bool CanGoNext() const { return Can("CanGoNext"); }
    bool CanGoPrevious() const { return Can("CanGoPrevious"); }
    bool CanPlay() const { return Can("CanPlay"); }
    bool CanPause() const { return Can("CanPause"); }
    bool CanSeek() const { return Can("CanSeek"); }
    // Constant by the interface's rules; a disabled window shows in the other Can* instead.
    bool CanControl() const { return true; }
public slots:
    // Each answers with an error, doing nothing, while the window takes no input.
    void Next(const QDBusMessage &call) { if (!m_->Refused(call)) m_->Next(); }
    void Previous(const QDBusMessage &call) { if (!m_->Refused(call)) m_->Previous(); }
    void Pause(const QDBusMessage &call) { if (!m_->Refused(call)) m_->Pause(); }
    void PlayPause(const QDBusMessage &call) { if (!m_->Refused(call)) m_->PlayPause(); }
    void Stop(const QDBusMessage &call) { if (!m_->Refused(call)) m_->Stop(); }
    void Play(const QDBusMessage &call) { if (!m_->Refused(call)) m_->Play(); }
    void Seek(qlonglong Offset, const QDBusMessage &call) { if (!m_->Refused(call)) m_->Seek(Offset); }
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position, const QDBusMessage &call)
    {
        if (!m_->Refused(call)) m_->SetPosition(TrackId.path(), Position);
    }
    void OpenUri(const QString &) {} // see SupportedUriSchemes
signals:
    void Seeked(qlonglong Position);
private:
    bool Can(const char *name) const { return m_->PlayerProperties().value(QLatin1String(name)).toBool(); }
    Mpris *m_;
};

} // namespace

// ---------------------------------------------------------------- start and end

Mpris::Mpris(TForm1 *form, const QDBusConnection &bus) : QObject(form), form_(form), session_(form->Session()), bus_(bus)
{
    new RootAdaptor(this);
    new PlayerAdaptor(this);
}

Mpris *Mpris::Start(TForm1 *form)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;
    auto *mpris = new Mpris(form, bus);
    if (!mpris->Register()) {
        delete mpris;
        return nullptr;
    }
    TPlayerSession *session = form->Session();
    connect(session, &TPlayerSession::PlaybackChanged, mpris, [mpris] { mpris->Announce(true); });
    // The list and the volume change without playback moving: folder, sort, slider, mute.
    connect(session, &TPlayerSession::PlaylistChanged, mpris, &Mpris::AnnounceSoon);
    connect(session, &TPlayerSession::VolumeChanged, mpris, &Mpris::AnnounceSoon);
    qApp->installEventFilter(mpris);
    return mpris;
}

bool Mpris::Register()
{
    if (!bus_.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors))
        return false; // the path is someone else's: leave it to them
    objectRegistered_ = true;
    // A second running player must not take the first one's name away.
    const QString name = QString::fromLatin1(kServiceName);
    for (const QString &candidate : {name, name + QStringLiteral(".instance") + QString::number(::getpid())}) {
        QDBusConnectionInterface *iface = bus_.interface();
        const auto reply = iface ? iface->registerService(candidate, QDBusConnectionInterface::DontQueueService,
                                                          QDBusConnectionInterface::DontAllowReplacement)
                                 : QDBusReply<QDBusConnectionInterface::RegisterServiceReply>();
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            service_ = candidate;
            lastRoot_ = RootProperties();
            lastPlayer_ = PlayerProperties();
            return true;
        }
    }
    return false;
}

Mpris::~Mpris()
{
    if (!service_.isEmpty())
        bus_.unregisterService(service_);
    if (objectRegistered_)
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
}

// ---------------------------------------------------------------- properties

bool Mpris::Enabled() const
{
    return TPlayerSession::TakesInput();
}

bool Mpris::Refused(const QDBusMessage &call)
{
    if (Enabled())
        return false;
    call.setDelayedReply(true);
    bus_.send(call.createErrorReply(QString::fromLatin1(instance::kBusyError),
                                    QStringLiteral("The player has a window open; close it first.")));
    return true;
}

bool Mpris::SeekableNow() const
{
    return session_->Media()->IsOpen() && PlayingOrPaused(session_->Media()->Mode());
}

QVariantMap Mpris::RootProperties() const
{
    const bool enabled = Enabled();
    return {{QStringLiteral("CanQuit"), enabled}, {QStringLiteral("CanRaise"), enabled}};
}

QVariantMap Mpris::PlayerProperties() const
{
    const bool enabled = Enabled();
    const int index = session_->Current();
    return {
        {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("Volume"), Volume()},
        // Next always plays something while the list has entries (the last one restarts);
        // Previous, Play and Pause need a selected entry.
        {QStringLiteral("CanGoNext"), enabled && session_->Count() > 0},
        {QStringLiteral("CanGoPrevious"), enabled && index >= 0},
        {QStringLiteral("CanPlay"), enabled && index >= 0},
        {QStringLiteral("CanPause"), enabled && index >= 0},
        {QStringLiteral("CanSeek"), enabled && SeekableNow()},
    };
}

QString Mpris::PlaybackStatus() const
{
    if (!session_->Media()->IsOpen())
        return QStringLiteral("Stopped");
    switch (session_->Media()->Mode()) {
    case TMPModes::mpPlaying: return QStringLiteral("Playing");
    case TMPModes::mpPaused: return QStringLiteral("Paused");
    default: break;
    }
    // Played to its end, the track waits for the tick that moves on (up to a second):
    // a playing folder is playing from its first track to the end of its last.
    return session_->Clock()->isActive() ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QString Mpris::TrackId() const
{
    const int index = session_->Current();
    return index < 0 ? kNoTrack : kTrackPrefix + QString::number(index);
}

// The current entry is the list's selection, playing or not.
QVariantMap Mpris::Metadata() const
{
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(TrackId())));
    const int index = session_->Current();
    if (index < 0)
        return m;
    m.insert(QStringLiteral("xesam:title"), session_->EntryText(index));
    QByteArray path = session_->EntryPath(index);
    if (!path.startsWith('/'))
        path = QDir::currentPath().toLocal8Bit() + '/' + path;
    // Names are bytes that need not be UTF-8: percent-encode the bytes themselves.
    m.insert(QStringLiteral("xesam:url"), QString::fromLatin1("file://" + path.toPercentEncoding("/")));
    TMediaPlayer *mp = session_->Media();
    if (mp->IsOpen() && mp->FileName == session_->EntryPath(index)) {
        try {
            m.insert(QStringLiteral("mpris:length"), qlonglong(mp->Length()) * 1000);
        } catch (const EMCIDeviceError &) {
            // Not while the bus is asking: a length we can't read is simply left out.
        }
    }
    return m;
}

qlonglong Mpris::Position() const
{
    if (PlaybackStatus() == QLatin1String("Stopped"))
        return 0;
    return qlonglong(session_->Media()->Position()) * 1000;
}

// The slider's level (top is loudest); a muted player reads silent.
double Mpris::Volume() const
{
    return session_->Muted() ? 0.0 : session_->VolumeLevel();
}

// Moves the volume slider as the user would, to the nearest step; like a drag, that
// also switches a muted player's sound back on.
void Mpris::SetVolume(double volume)
{
    if (!Enabled()) {
        // Qt answers a property write itself, always with success, so the refusal is
        // told the way a client hears of any volume: announced again as it stands,
        // which puts the desktop's slider back.
        SendChanged(kPlayerInterface, {}, {{QStringLiteral("Volume"), Volume()}});
        return;
    }
    if (std::isnan(volume))
        return;
    RunHandler([&] { session_->SetVolumeLevel(volume); });
    AnnounceSoon();
}

// ---------------------------------------------------------------- methods

template <typename F>
void Mpris::Later(F &&command)
{
    QMetaObject::invokeMethod(
        this,
        [this, command = std::forward<F>(command)] {
            if (!Enabled())
                return; // a secondary window is open: the main window takes no commands
            RunHandler(command);
        },
        Qt::QueuedConnection);
}

void Mpris::Raise()
{
    Later([this] { form_->BringBack(); });
}

void Mpris::Quit() { Later([this] { form_->N4Click(); }); }
void Mpris::Stop() { Later([this] { session_->Stop(); }); }
void Mpris::Next() { Later([this] { session_->Next(); }); }

// Play resumes a pause and leaves playing alone, as MPRIS asks; else it is the play item.
void Mpris::Play()
{
    Later([this] {
        const TMPModes mode = session_->Media()->Mode();
        if (mode == TMPModes::mpPaused)
            session_->Pause();
        else if (mode != TMPModes::mpPlaying)
            session_->Play();
    });
}

void Mpris::Previous() { Later([this] { session_->Previous(); }); }

void Mpris::Pause()
{
    // The pause item also resumes; Pause must never do that.
    Later([this] {
        if (session_->Media()->Mode() == TMPModes::mpPlaying)
            session_->Pause();
    });
}

void Mpris::PlayPause()
{
    Later([this] {
        if (PlayingOrPaused(session_->Media()->Mode()))
            session_->Pause();
        else
            session_->Play();
    });
}

void Mpris::Seek(qlonglong offsetUs)
{
    Later([this, offsetUs] {
        if (!SeekableNow())
            return;
        const qlonglong target = qlonglong(session_->Media()->Position()) + offsetUs / 1000;
        if (target > session_->TrackLength()) {
            session_->Next(); // past the end: as Next
            return;
        }
        session_->SeekTo(int(std::max<qlonglong>(target, 0)));
    });
}

void Mpris::SetPosition(const QString &trackId, qlonglong positionUs)
{
    Later([this, trackId, positionUs] {
        // A stale track id means the client meant another track: ignore it.
        if (!SeekableNow() || trackId != TrackId() || positionUs < 0)
            return;
        const qlonglong ms = positionUs / 1000;
        if (ms > session_->TrackLength())
            return;
        session_->SeekTo(int(ms));
    });
}

// ---------------------------------------------------------------- change signals

bool Mpris::eventFilter(QObject *watched, QEvent *event)
{
    // The window disabled or enabled by a secondary window, or held by a box or the
    // folder chooser as it comes and goes: the Can* properties follow.
    const QEvent::Type type = event->type();
    if ((type == QEvent::EnabledChange && watched == form_)
        || ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->isModal()))
        AnnounceSoon();
    return QObject::eventFilter(watched, event);
}

void Mpris::AnnounceSoon()
{
    if (announcePending_)
        return;
    announcePending_ = true;
    QTimer::singleShot(0, this, [this] {
        announcePending_ = false;
        Announce(false);
    });
}

void Mpris::Announce(bool playbackMoved)
{
    const QString statusBefore = lastPlayer_.value(QStringLiteral("PlaybackStatus")).toString();
    const QVariant trackBefore = lastPlayer_.value(QStringLiteral("Metadata")).toMap().value(QStringLiteral("mpris:trackid"));

    const QVariantMap root = RootProperties();
    const QVariantMap player = PlayerProperties();
    SendChanged(kRootInterface, lastRoot_, root);
    SendChanged(kPlayerInterface, lastPlayer_, player);
    lastRoot_ = root;
    lastPlayer_ = player;

    // Position has no change signal: clients extrapolate it while playing and need
    // Seeked when it jumps. A seek or a restart of the same track moves playback
    // without changing the track; so does a pause or a resume, where Seeked is
    // merely redundant.
    const QString statusNow = player.value(QStringLiteral("PlaybackStatus")).toString();
    const QVariant trackNow = player.value(QStringLiteral("Metadata")).toMap().value(QStringLiteral("mpris:trackid"));
    auto live = [](const QString &s) { return s == QLatin1String("Playing") || s == QLatin1String("Paused"); };
    if (playbackMoved && live(statusBefore) && live(statusNow) && trackBefore == trackNow)
        emit Seeked(Position());
}

void Mpris::SendChanged(const QString &interface, const QVariantMap &before, const QVariantMap &now)
{
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (before.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    bus_.send(signal);
}

#include "Mpris.moc"
