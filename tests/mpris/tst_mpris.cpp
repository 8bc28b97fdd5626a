// MPRIS over a private session bus (the test runs under dbus-run-session): a
// second connection plays the desktop's part and drives the real main window,
// whose audio runs on the manual clock.
#include "player/PlayerHarness.h"
#include "runtime/FolderChooser.h"
#include "player/Mpris.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QtTest>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

// What arrives over the bus as a{sv} comes as a QDBusArgument; nested maps too.
QVariant Plain(const QVariant &v)
{
    if (v.userType() == qMetaTypeId<QDBusVariant>())
        return Plain(v.value<QDBusVariant>().variant());
    if (v.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument arg = v.value<QDBusArgument>();
        if (arg.currentSignature() == QLatin1String("a{sv}")) {
            QVariantMap m = qdbus_cast<QVariantMap>(arg);
            for (auto it = m.begin(); it != m.end(); ++it)
                *it = Plain(*it);
            return m;
        }
    }
    return v;
}

// Muted or not, the Volume set; then the slider (from 7 after start-up), muting, the Volume
// property read back and the last word sent to the output.
struct VolumeCase { bool muted; double volume; int slider; bool mutedAfter; double read; std::uint32_t word; };

// The object path of the list entry at `index`, as a method argument.
QVariant Track(int index)
{
    return QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/zolmplayer/track/%1").arg(index)));
}

} // namespace

// Records the player's signals as the desktop would see them.
class Listener : public QObject {
    Q_OBJECT
public:
    QList<QPair<QString, QVariantMap>> changes;
    QStringList seeks; // positions in microseconds
    // The last announced value of a Player property, or null when never announced.
    QVariant Last(const QString &name) const
    {
        for (auto it = changes.crbegin(); it != changes.crend(); ++it)
            if (it->second.contains(name))
                return it->second.value(name);
        return {};
    }
public slots:
    void changed(const QString &interface, const QVariantMap &props, const QStringList &)
    {
        QVariantMap plain;
        for (auto it = props.cbegin(); it != props.cend(); ++it)
            plain.insert(it.key(), Plain(it.value()));
        changes.append({interface, plain});
    }
    void seeked(qlonglong position) { seeks.append(QString::number(position)); }
};

class TestMpris : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        h_ = std::make_unique<PlayerHarness>();
        form_ = h_->Start(h_->MakeFolder("music", {"a.wav", "b.wav", "c.wav"}, 2500));
        mpris_ = Mpris::Start(form_);
        QVERIFY(mpris_);
        service_ = mpris_->ServiceName();
        QCOMPARE(service_, QStringLiteral("org.mpris.MediaPlayer2.zolmplayer"));
        client_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
        QVERIFY(client_.isConnected());
        QVERIFY(client_.connect(service_, kPath, kProps, QStringLiteral("PropertiesChanged"), &listener_,
                                SLOT(changed(QString, QVariantMap, QStringList))));
        QVERIFY(client_.connect(service_, kPath, kPlayer, QStringLiteral("Seeked"), &listener_,
                                SLOT(seeked(qlonglong))));
        listener_.changes.clear();
        listener_.seeks.clear();
    }

    void cleanup()
    {
        // The name init listened to: the last test moves service_ to another one.
        const QString listened = QString::fromLatin1(Mpris::kServiceName);
        client_.disconnect(listened, kPath, kProps, QStringLiteral("PropertiesChanged"), &listener_,
                           SLOT(changed(QString, QVariantMap, QStringList)));
        client_.disconnect(listened, kPath, kPlayer, QStringLiteral("Seeked"), &listener_, SLOT(seeked(qlonglong)));
        h_.reset(); // the window takes the service with it
        QVERIFY(QTest::qWaitFor([&] { return !client_.interface()->isServiceRegistered(service_).value(); }, 5000));
    }

    // Each method runs the handler of the matching menu item, except that Pause never
    // resumes and Play leaves playing alone.
    void methodsRunTheMenuItemsHandlers_data()
    {
        QTest::addColumn<QString>("before"); // entry, state, seconds played
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("after");  // see PlaybackState; the clock; the caption's name
        QTest::newRow("Play: the selected entry") << "0 stopped" << "Play" << "0 playing 0, 0:00, a.wav";
        QTest::newRow("Next") << "0 playing" << "Next" << "1 playing 0, 0:00, b.wav";
        QTest::newRow("Previous") << "1 playing" << "Previous" << "0 playing 0, 0:00, a.wav";
        QTest::newRow("Previous on the first restarts it") << "0 playing 1" << "Previous" << "0 playing 0, 0:01, a.wav";
        QTest::newRow("Stop closes the file") << "0 playing 1" << "Stop" << "0 closed, 0:00, a.wav";
        QTest::newRow("Pause with nothing open") << "0 stopped" << "Pause" << "0 closed, 0:00, ";
        QTest::newRow("PlayPause with nothing open plays") << "0 stopped" << "PlayPause" << "0 playing 0, 0:00, a.wav";
        QTest::newRow("Pause") << "0 playing 1" << "Pause" << "0 paused 1000 latched, 0:01, a.wav";
        QTest::newRow("Pause never resumes") << "0 paused 1" << "Pause" << "0 paused 1000 latched, 0:01, a.wav";
        QTest::newRow("PlayPause resumes") << "0 paused 1" << "PlayPause" << "0 playing 1000, 0:01, a.wav";
        QTest::newRow("Play resumes where it stood") << "0 paused 1" << "Play" << "0 playing 1000, 0:01, a.wav";
        QTest::newRow("Play while playing does nothing") << "0 playing 2" << "Play" << "0 playing 2000, 0:02, a.wav";
    }

    void methodsRunTheMenuItemsHandlers()
    {
        QFETCH(QString, before);
        QFETCH(QString, method);
        const QStringList b = before.split(' ');
        S().Select(b[0].toInt());
        if (b[1] != QLatin1String("stopped")) {
            S().Play();
            h_->Tick(b.value(2).toInt());
            if (b[1] == QLatin1String("paused"))
                S().Pause();
        }
        QVERIFY(Call(kPlayer, method));
        QTEST(PlaybackState(S()) + ", " + S().ElapsedText() + ", " + h_->Title().mid(14), "after");
    }

    void propertiesAndSignalsFollowPlayPauseStopAndTrackEnd()
    {
        // Before anything plays: the selected entry, no length, nothing to seek.
        QCOMPARE(Status(), QStringLiteral("Stopped"));
        QVariantMap meta = Get(kPlayer, QStringLiteral("Metadata")).toMap();
        QCOMPARE(meta.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("a.wav"));
        QCOMPARE(meta.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>(), Track(0).value<QDBusObjectPath>());
        QVERIFY(meta.value(QStringLiteral("xesam:url")).toString().endsWith(QLatin1String("/music/a.wav")));
        QVERIFY(!meta.contains(QStringLiteral("mpris:length")));
        QCOMPARE(Get(kPlayer, QStringLiteral("CanPlay")).toBool(), true);
        QCOMPARE(Get(kPlayer, QStringLiteral("CanSeek")).toBool(), false);

        S().Play(); // from the menu: the bus hears of it all the same
        QTRY_COMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
        QCOMPARE(listener_.changes.last().first, kPlayer);
        QCOMPARE(listener_.Last(QStringLiteral("CanSeek")).toBool(), true);
        meta = listener_.Last(QStringLiteral("Metadata")).toMap();
        QCOMPARE(meta.value(QStringLiteral("mpris:length")).toLongLong(), 2500000);
        QCOMPARE(Get(kPlayer, QStringLiteral("Metadata")).toMap(), meta);

        h_->Tick(1);
        QCOMPARE(Get(kPlayer, QStringLiteral("Position")).toLongLong(), 1000000);

        S().Pause();
        QTRY_COMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
        QCOMPARE(Status(), QStringLiteral("Paused"));
        QCOMPARE(Get(kPlayer, QStringLiteral("Position")).toLongLong(), 1000000);

        S().Stop();
        QTRY_COMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
        QCOMPARE(listener_.Last(QStringLiteral("CanSeek")).toBool(), false);
        QVERIFY(!listener_.Last(QStringLiteral("Metadata")).toMap().contains(QStringLiteral("mpris:length")));

        // A track's end moves on to the next entry: new metadata, still playing.
        S().Next();
        QTRY_COMPARE(LastTitle(), QStringLiteral("b.wav"));
        h_->Tick(2);
        media::ManualClock::Advance(1000); // b.wav played out; the tick that moves on is still to come
        QCOMPARE(Status(), QStringLiteral("Playing"));
        QCOMPARE(Get(kPlayer, QStringLiteral("Position")).toLongLong(), 2500000);
        S().Tick();
        QTRY_COMPARE(LastTitle(), QStringLiteral("c.wav"));
        QCOMPARE(listener_.Last(QStringLiteral("Metadata")).toMap().value(QStringLiteral("mpris:trackid")), Track(2));
        QCOMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));

        // The last entry's end ends playback.
        h_->Tick(3);
        QTRY_COMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
        QCOMPARE(Status(), QStringLiteral("Stopped"));
        QCOMPARE(Get(kPlayer, QStringLiteral("CanSeek")).toBool(), false);
    }

    void onlyWhatChangedIsAnnounced()
    {
        S().Play();
        QTRY_VERIFY(!listener_.changes.isEmpty());
        QTest::qWait(100);
        qsizetype before = listener_.changes.size();

        // Time passing is no change (Position has no signal).
        h_->Tick(1);
        QTest::qWait(100);
        QCOMPARE(listener_.changes.size(), before);

        // A seek within the track: Seeked, and nothing else changed.
        S().Jump(2000);
        QTRY_COMPARE(listener_.seeks.size(), 1);
        QCOMPARE(listener_.seeks.last(), "2000000");
        QTest::qWait(100);
        QCOMPARE(listener_.changes.size(), before);

        // The volume slider: Volume alone.
        S().SetVolumePosition(10);
        QTRY_COMPARE(listener_.changes.size(), before + 1);
        QCOMPARE(listener_.changes.last().second.keys(), QStringList{QStringLiteral("Volume")});
        QCOMPARE(listener_.changes.last().second.value(QStringLiteral("Volume")).toDouble(), 0.5);
        QCOMPARE(Get(kPlayer, QStringLiteral("Volume")).toDouble(), 0.5);
        S().ToggleMute();
        QTRY_COMPARE(listener_.Last(QStringLiteral("Volume")).toDouble(), 0.0);
        // The selection is the current entry, playing or not.
        S().Select(2);
        QTRY_COMPARE(LastTitle(), QStringLiteral("c.wav"));
    }

    // Setting Volume moves the slider to the nearest step as the user would, which
    // also ends a mute, even when the slider already stands there.
    void setVolumeMovesTheSlider_data()
    {
        QTest::addColumn<VolumeCase>("c");
        const auto row = [](const char *name, const VolumeCase &c) { QTest::newRow(name) << c; };
        row("three quarters", {false, 0.75, 5, false, 0.75, 0xBE6EBE6Eu});
        row("rounded up to the nearest step", {false, 0.78, 4, false, 0.8, 0xCB20CB20u});
        row("rounded down to the nearest step", {false, 0.77, 5, false, 0.75, 0xBE6EBE6Eu});
        row("above full", {false, 1.5, 0, false, 1.0, 0xFDE8FDE8u});
        row("below silence", {false, -0.5, 20, false, 0.0, 0u});
        row("muted, a new level", {true, 0.75, 5, false, 0.75, 0xBE6EBE6Eu});
        row("muted, the level the slider has", {true, 0.65, 7, false, 0.65, 0xA50AA50Au});
        row("muted, not a number: ignored", {true, qQNaN(), 7, true, 0.0, 0u});
    }

    void setVolumeMovesTheSlider()
    {
        QFETCH(VolumeCase, c);
        if (c.muted)
            S().ToggleMute();
        QVERIFY(SetVolume(c.volume));
        QCOMPARE(std::make_tuple(S().VolumePosition(), S().Muted(), h_->volumeWords.back()),
                 std::make_tuple(c.slider, c.mutedAfter, c.word));
        QCOMPARE(Get(kPlayer, QStringLiteral("Volume")).toDouble(), c.read);
        if (!qIsNaN(c.volume))
            QTRY_COMPARE(listener_.Last(QStringLiteral("Volume")).toDouble(), c.read);
    }

    // SetPosition and Seek move the seek bar as a drag of its thumb that ends there.
    void setPositionAndSeekMoveTheSeekBarAsADrag_data()
    {
        QTest::addColumn<QString>("before"); // state, then where the user moved the bar, then ms played since
        QTest::addColumn<QString>("call");   // the method, a track's index for SetPosition, microseconds
        QTest::addColumn<QString>("after");  // see PlaybackState; the bar, the clock's counters, the timer
        QTest::addColumn<QString>("seeked"); // every Seeked the desktop heard, the setup's included
        const auto row = [](const char *name, const char *before, const char *call, const char *after,
                            const char *seeked) { QTest::newRow(name) << before << call << after << seeked; };
        const char *ignored = "0 playing 1400, bar 1000, 0:01, timer";
        row("SetPosition", "playing", "SetPosition 0 1500000", "0 playing 1500, bar 1500, 0:01, timer", "1500000");
        row("SetPosition where the bar stands: the release still seeks", "playing 1500 400", "SetPosition 0 1500000",
            "0 playing 1500, bar 1500, 0:01, timer", "1500000 1500000");
        row("Seek forward", "playing 1500", "Seek 500000", "0 playing 2000, bar 2000, 0:02, timer", "1500000 2000000");
        row("Seek before the start", "playing 2000", "Seek -9000000", "0 playing 0, bar 0, 0:00, timer", "2000000 0");
        row("Seek to the end", "playing", "Seek 2500000", "0 playing 2500, bar 2500, 0:02, timer", "2500000");
        row("Seek 1 ms past the end: Next", "playing", "Seek 2501000", "1 playing 0, bar 0, 0:00, timer", "");
        row("Seek far past: Next", "playing 1000", "Seek 3000000", "1 playing 0, bar 0, 0:00, timer", "1000000");
        row("SetPosition at the end", "playing", "SetPosition 0 2500000", "0 playing 2500, bar 2500, 0:02, timer",
            "2500000");
        row("SetPosition 1 ms past the end: ignored", "playing 1000 400", "SetPosition 0 2501000", ignored, "1000000");
        row("SetPosition of another track: ignored", "playing 1000 400", "SetPosition 1 2000000", ignored, "1000000");
        row("SetPosition before the start: ignored", "playing 1000 400", "SetPosition 0 -1", ignored, "1000000");
        // Unlike a drag of the bar, which plays: a paused player stays paused at the new place.
        row("paused: stays paused there", "paused", "SetPosition 0 1000000", "0 paused 1000 latched, bar 1000, 0:01, ",
            "0 1000000");
        row("paused, Seek back", "paused 2000", "Seek -1500000", "0 paused 500 latched, bar 500, 0:00, ",
            "2000000 2000000 500000");
        row("after Stop nothing is open: ignored", "stopped 1000", "Seek 500000", "0 closed, bar 1000, 0:01, ",
            "1000000");
    }

    void setPositionAndSeekMoveTheSeekBarAsADrag()
    {
        QFETCH(QString, before);
        QFETCH(QString, call);
        const QStringList b = before.split(' ');
        S().Play();
        if (b.value(1, QStringLiteral("-1")).toInt() >= 0)
            S().Jump(b[1].toInt());
        media::ManualClock::Advance(b.value(2).toInt());
        if (b[0] == QLatin1String("paused"))
            S().Pause();
        if (b[0] == QLatin1String("stopped"))
            S().Stop();

        const QStringList c = call.split(' ');
        const QVariantList args = c.size() == 2 ? QVariantList{c[1].toLongLong()}
                                                : QVariantList{Track(c[1].toInt()), c[2].toLongLong()};
        QVERIFY(Call(kPlayer, c[0], args));
        QTEST(QStringLiteral("%1, bar %2, %3:%4, %5").arg(PlaybackState(S())).arg(S().ShownPosition()).arg(S().ElapsedMinutes())
                  .arg(S().ElapsedSeconds(), 2, 10, QLatin1Char('0')).arg(S().Clock()->isActive() ? "timer" : ""), "after");
        QFETCH(QString, seeked);
        QTRY_COMPARE(listener_.seeks.join(' '), seeked);
    }

    // The window, the sound and the bus agree after a seek while paused; resuming plays on
    // from there and moves on at the end.
    void seekWhilePausedStaysPausedThere()
    {
        S().Play();
        h_->Tick(1);
        S().Pause();
        QVERIFY(Call(kPlayer, QStringLiteral("SetPosition"), {Track(0), qlonglong(2000000)}));
        QCOMPARE(Status(), QStringLiteral("Paused"));
        QCOMPARE(Get(kPlayer, QStringLiteral("Position")).toLongLong(), 2000000);
        media::ManualClock::Advance(1000); // nothing is heard
        QCOMPARE(HeardState(S()), "0 paused 2000 latched, still 0:02");
        QVERIFY(Call(kPlayer, QStringLiteral("PlayPause")));
        QCOMPARE(HeardState(S()), "0 playing 2000, clock 0:02");
        h_->Tick(1);
        QCOMPARE(PlaybackState(S()) + ", " + h_->Title(), QStringLiteral("1 playing 0, ZOLM Player - b.wav"));
    }

    void callsAreRefusedWhileTheWindowTakesNoInput_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *window : {"about", "box", "chooser"}) // the About box, a message box, the folder chooser
            QTest::newRow(window) << QString::fromLatin1(window);
    }

    void callsAreRefusedWhileTheWindowTakesNoInput()
    {
        QFETCH(QString, window);
        form_->show();
        QMessageBox box(QMessageBox::NoIcon, QString(), QStringLiteral("Ошибка"));
        TFolderChooser chooser(QStringLiteral("Выберите папку"), QByteArray());
        QWidget *modal = window == QLatin1String("box") ? static_cast<QWidget *>(&box) : &chooser;
        modal->setWindowModality(Qt::ApplicationModal);
        const bool about = window == QLatin1String("about");
        const auto open = [&] { about ? form_->N2Click() : modal->show(); };
        const auto close = [&] { about ? AboutBox->OKButtonClick() : modal->hide(); };
        open();
        QTRY_COMPARE(listener_.Last(QStringLiteral("CanPlay")).toBool(), false);
        for (const char *can : {"CanPause", "CanGoNext", "CanGoPrevious"})
            QCOMPARE(listener_.Last(QLatin1String(can)).toBool(), false);
        QCOMPARE(Get(kPlayer, QStringLiteral("CanControl")).toBool(), true);
        QCOMPARE(Get(kRoot, QStringLiteral("CanQuit")).toBool(), false);

        // Refused with an error, and nothing done.
        for (const char *method : {"Play", "PlayPause", "Next", "Previous", "Stop"})
            QVERIFY2(!Call(kPlayer, QLatin1String(method)), method);
        QVERIFY(!Call(kRoot, QStringLiteral("Quit")));
        QVERIFY(!Call(kRoot, QStringLiteral("Raise")));
        QCOMPARE(Get(kRoot, QStringLiteral("CanRaise")).toBool(), false);
        // The volume too is left alone, and announced as it stands so the desktop's slider goes back.
        QVERIFY(SetVolume(0.0));
        QCOMPARE(S().VolumePosition(), 7);
        QTRY_COMPARE(listener_.Last(QStringLiteral("Volume")).toDouble(), 0.65);
        QTest::qWait(50);
        QVERIFY(!S().Media()->IsOpen());
        QCOMPARE(h_->Selected(), 0);
        QVERIFY(form_->isVisible());

        close();
        QTRY_COMPARE(listener_.Last(QStringLiteral("CanPlay")).toBool(), true);
        QVERIFY(Call(kPlayer, QStringLiteral("Play")));
        QVERIFY(h_->Playing());
        QTRY_COMPARE(listener_.Last(QStringLiteral("CanSeek")).toBool(), true);

        // Playing: the window held again stops commands, not playback.
        open();
        QTRY_COMPARE(listener_.Last(QStringLiteral("CanSeek")).toBool(), false);
        for (const auto &[method, args] : std::initializer_list<std::pair<const char *, QVariantList>>{
                 {"Stop", {}}, {"Pause", {}}, {"Seek", {qlonglong(500000)}}, {"SetPosition", {Track(0), qlonglong(2000000)}}})
            QVERIFY2(!Call(kPlayer, QLatin1String(method), args), method);
        QVERIFY(h_->Playing());
        QCOMPARE(S().Media()->Position(), 0u);
        close();
    }

    void raiseBringsTheWindowBackFromMinimisedAndHidden()
    {
        form_->show();
        form_->showMinimized();
        QVERIFY(form_->isMinimized());
        QVERIFY(Call(kRoot, QStringLiteral("Raise")));
        QTRY_VERIFY(!form_->isMinimized());
        QVERIFY(form_->isVisible());

        form_->hide();
        QVERIFY(Call(kRoot, QStringLiteral("Raise")));
        QVERIFY(form_->isVisible());
        QVERIFY(!form_->TrayIcon || !form_->TrayIcon->isVisible());
    }

    void quitEndsTheProgramAsCtrlQ()
    {
        QTimer::singleShot(0, this, [this] {
            QDBusMessage m = QDBusMessage::createMethodCall(service_, kPath, kRoot, QStringLiteral("Quit"));
            client_.asyncCall(m);
        });
        QTimer::singleShot(5000, this, [] { QCoreApplication::exit(7); }); // no quit came
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void secondPlayerTakesAnInstanceName()
    {
        // Publishing twice on one connection fails, and must not take the first one down.
        QVERIFY(!Mpris::Start(form_));
        QVERIFY(Call(kPlayer, QStringLiteral("Play")));
        QVERIFY(h_->Playing());
        h_.reset();
        QVERIFY(QTest::qWaitFor([&] { return !client_.interface()->isServiceRegistered(service_).value(); }, 5000));

        // Another player holds the name.
        QVERIFY(client_.registerService(QStringLiteral("org.mpris.MediaPlayer2.zolmplayer")));
        h_ = std::make_unique<PlayerHarness>();
        form_ = h_->Start(h_->MakeFolder(QStringLiteral("m"), {QStringLiteral("x.wav")}));
        mpris_ = Mpris::Start(form_);
        QVERIFY(mpris_);
        QCOMPARE(mpris_->ServiceName(), QStringLiteral("org.mpris.MediaPlayer2.zolmplayer.instance%1")
                                            .arg(QCoreApplication::applicationPid()));
        service_ = mpris_->ServiceName();
        QVERIFY(Call(kPlayer, QStringLiteral("Play")));
        QVERIFY(h_->Playing());
        QVERIFY(client_.unregisterService(QStringLiteral("org.mpris.MediaPlayer2.zolmplayer")));
    }

private:
    // Calls over the bus and lets the window carry the command out; the answer, or none.
    std::optional<QDBusMessage> Send(const QString &interface, const QString &method, const QVariantList &args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(service_, kPath, interface, method);
        m.setArguments(args);
        QDBusPendingCall call = client_.asyncCall(m);
        if (!QTest::qWaitFor([&] { return call.isFinished(); }, 5000))
            return std::nullopt;
        QCoreApplication::processEvents();
        return call.isError() ? std::nullopt : std::optional(call.reply());
    }
    bool Call(const QString &interface, const QString &method, const QVariantList &args = {})
    {
        return Send(interface, method, args).has_value();
    }

    bool SetVolume(double volume)
    {
        return Call(kProps, QStringLiteral("Set"), {kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(volume))});
    }

    QVariant Get(const QString &interface, const QString &name)
    {
        const auto answer = Send(kProps, QStringLiteral("Get"), {interface, name});
        return answer ? Plain(answer->arguments().value(0)) : QVariant();
    }

    QString Status() { return Get(kPlayer, QStringLiteral("PlaybackStatus")).toString(); }
    QString LastTitle() const
    {
        return listener_.Last(QStringLiteral("Metadata")).toMap().value(QStringLiteral("xesam:title")).toString();
    }

    TPlayerSession &S() const { return h_->Session(); }
    std::unique_ptr<PlayerHarness> h_;
    TForm1 *form_ = nullptr;
    Mpris *mpris_ = nullptr;
    QDBusConnection client_{QStringLiteral("none")};
    Listener listener_;
    QString service_;
};

QTEST_MAIN(TestMpris)
#include "tst_mpris.moc"
