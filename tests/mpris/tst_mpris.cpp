// MPRIS over a private session bus (the test runs under dbus-run-session): a
// second connection plays the desktop's part and drives the real main window,
// whose audio runs on the manual clock.
#include "player/PlayerHarness.h"
#include "player/Mpris.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFileDialog>
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
    QList<qlonglong> seeks;
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
    void seeked(qlonglong position) { seeks.append(position); }
};

class TestMpris : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void methodsRunTheMenuItemsHandlers();
    void pauseNeverResumesAndPlayPauseFollowsTheMode();
    void propertiesAndSignalsFollowPlayPauseStopAndTrackEnd();
    void onlyWhatChangedIsAnnounced();
    void setPositionAndSeekMoveTheSeekBarAsADrag();
    void seekPastTheEndActsAsNext();
    void callsAreRefusedWhileTheWindowTakesNoInput_data();
    void callsAreRefusedWhileTheWindowTakesNoInput();
    void raiseBringsTheWindowBackFromMinimisedAndHidden();
    void quitEndsTheProgramAsCtrlQ();
    void secondPlayerTakesAnInstanceName();

private:
    bool Call(const QString &interface, const QString &method, const QVariantList &args = {});
    QVariant Get(const QString &interface, const QString &name);
    QVariantMap Metadata() { return Get(kPlayer, QStringLiteral("Metadata")).toMap(); }
    QString Status() { return Get(kPlayer, QStringLiteral("PlaybackStatus")).toString(); }
    void Listen();

    std::unique_ptr<PlayerHarness> h_;
    TForm1 *form_ = nullptr;
    Mpris *mpris_ = nullptr;
    QDBusConnection client_{QStringLiteral("none")};
    Listener listener_;
    QString service_;
};

void TestMpris::init()
{
    h_ = std::make_unique<PlayerHarness>();
    const QByteArray folder = h_->MakeFolder(QStringLiteral("music"),
                                             {QStringLiteral("a.wav"), QStringLiteral("b.wav"), QStringLiteral("c.wav")},
                                             2500);
    form_ = h_->Start(folder);
    mpris_ = Mpris::Start(form_);
    QVERIFY(mpris_);
    service_ = mpris_->ServiceName();
    QCOMPARE(service_, QStringLiteral("org.mpris.MediaPlayer2.zolmplayer"));
    client_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
    QVERIFY(client_.isConnected());
    listener_.changes.clear();
    listener_.seeks.clear();
}

void TestMpris::cleanup()
{
    client_.disconnect(service_, kPath, kProps, QStringLiteral("PropertiesChanged"), &listener_,
                       SLOT(changed(QString, QVariantMap, QStringList)));
    client_.disconnect(service_, kPath, kPlayer, QStringLiteral("Seeked"), &listener_, SLOT(seeked(qlonglong)));
    h_.reset(); // the window takes the service with it
    QVERIFY(QTest::qWaitFor([&] { return !client_.interface()->isServiceRegistered(service_).value(); }, 5000));
}

void TestMpris::Listen()
{
    QVERIFY(client_.connect(service_, kPath, kProps, QStringLiteral("PropertiesChanged"), &listener_,
                            SLOT(changed(QString, QVariantMap, QStringList))));
    QVERIFY(client_.connect(service_, kPath, kPlayer, QStringLiteral("Seeked"), &listener_, SLOT(seeked(qlonglong))));
}

// Calls over the bus and lets the window carry the command out.
bool TestMpris::Call(const QString &interface, const QString &method, const QVariantList &args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service_, kPath, interface, method);
    m.setArguments(args);
    QDBusPendingCall call = client_.asyncCall(m);
    if (!QTest::qWaitFor([&] { return call.isFinished(); }, 5000))
        return false;
    QCoreApplication::processEvents();
    return !call.isError();
}

QVariant TestMpris::Get(const QString &interface, const QString &name)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service_, kPath, kProps, QStringLiteral("Get"));
    m << interface << name;
    QDBusPendingCall call = client_.asyncCall(m);
    if (!QTest::qWaitFor([&] { return call.isFinished(); }, 5000) || call.isError())
        return {};
    return Plain(call.reply().arguments().value(0));
}

void TestMpris::methodsRunTheMenuItemsHandlers()
{
    QVERIFY(Call(kPlayer, QStringLiteral("Play")));
    QVERIFY(h_->Playing());
    QCOMPARE(h_->Title(), QStringLiteral("ZOLM Player - a.wav"));

    QVERIFY(Call(kPlayer, QStringLiteral("Next")));
    QCOMPARE(h_->Selected(), 1);
    QCOMPARE(h_->Title(), QStringLiteral("ZOLM Player - b.wav"));

    QVERIFY(Call(kPlayer, QStringLiteral("Previous")));
    QCOMPARE(h_->Selected(), 0);
    QVERIFY(h_->Playing());

    // Previous on the first entry restarts it, as the menu item does.
    h_->Tick(1);
    QVERIFY(Call(kPlayer, QStringLiteral("Previous")));
    QCOMPARE(h_->Selected(), 0);
    QCOMPARE(form_->MediaPlayer1->Position(), 0u);

    // Stop closes the file.
    QVERIFY(Call(kPlayer, QStringLiteral("Stop")));
    QVERIFY(!form_->MediaPlayer1->IsOpen());
    QCOMPARE(form_->Label2->text(), QStringLiteral("0:00"));
}

void TestMpris::pauseNeverResumesAndPlayPauseFollowsTheMode()
{
    // Nothing open: Pause does nothing, PlayPause plays.
    QVERIFY(Call(kPlayer, QStringLiteral("Pause")));
    QVERIFY(!form_->MediaPlayer1->IsOpen());
    QVERIFY(!form_->SpeedButton6->Down());
    QVERIFY(Call(kPlayer, QStringLiteral("PlayPause")));
    QVERIFY(h_->Playing());

    QVERIFY(Call(kPlayer, QStringLiteral("Pause")));
    QCOMPARE(form_->MediaPlayer1->Mode(), TMPModes::mpPaused);
    QVERIFY(form_->SpeedButton6->Down());
    // The pause item would resume here; Pause must not.
    QVERIFY(Call(kPlayer, QStringLiteral("Pause")));
    QCOMPARE(form_->MediaPlayer1->Mode(), TMPModes::mpPaused);

    QVERIFY(Call(kPlayer, QStringLiteral("PlayPause")));
    QVERIFY(h_->Playing());
    QVERIFY(!form_->SpeedButton6->Down());
    h_->Tick(1);
    QVERIFY(Call(kPlayer, QStringLiteral("Pause")));
    QCOMPARE(form_->MediaPlayer1->Position(), 1000u);

    // Play resumes a pause where it stood, and while playing does nothing at all.
    QVERIFY(Call(kPlayer, QStringLiteral("Play")));
    QVERIFY(h_->Playing());
    QVERIFY(!form_->SpeedButton6->Down());
    QCOMPARE(form_->MediaPlayer1->Position(), 1000u);
    h_->Tick(1);
    QVERIFY(Call(kPlayer, QStringLiteral("Play")));
    QVERIFY(h_->Playing());
    QCOMPARE(form_->MediaPlayer1->Position(), 2000u);
    QCOMPARE(form_->Label2->text(), QStringLiteral("0:02"));
}

void TestMpris::propertiesAndSignalsFollowPlayPauseStopAndTrackEnd()
{
    Listen();
    // Before anything plays: the selected entry, no length, nothing to seek.
    QCOMPARE(Status(), QStringLiteral("Stopped"));
    QVariantMap meta = Metadata();
    QCOMPARE(meta.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("a.wav"));
    QCOMPARE(meta.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
             QStringLiteral("/org/zolmplayer/track/0"));
    QVERIFY(meta.value(QStringLiteral("xesam:url")).toString().endsWith(QLatin1String("/music/a.wav")));
    QVERIFY(!meta.contains(QStringLiteral("mpris:length")));
    QCOMPARE(Get(kPlayer, QStringLiteral("CanPlay")).toBool(), true);
    QCOMPARE(Get(kPlayer, QStringLiteral("CanSeek")).toBool(), false);

    form_->N6Click(); // from the menu: the bus hears of it all the same
    QTRY_COMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
    QCOMPARE(listener_.changes.last().first, kPlayer);
    QCOMPARE(listener_.Last(QStringLiteral("CanSeek")).toBool(), true);
    meta = listener_.Last(QStringLiteral("Metadata")).toMap();
    QCOMPARE(meta.value(QStringLiteral("mpris:length")).toLongLong(), 2500000);
    QCOMPARE(Metadata(), meta);

    h_->Tick(1);
    QCOMPARE(Get(kPlayer, QStringLiteral("Position")).toLongLong(), 1000000);

    form_->N9Click();
    QTRY_COMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
    QCOMPARE(Status(), QStringLiteral("Paused"));
    QCOMPARE(Get(kPlayer, QStringLiteral("Position")).toLongLong(), 1000000);

    form_->N7Click();
    QTRY_COMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    QCOMPARE(listener_.Last(QStringLiteral("CanSeek")).toBool(), false);
    QVERIFY(!listener_.Last(QStringLiteral("Metadata")).toMap().contains(QStringLiteral("mpris:length")));

    // A track's end moves on to the next entry: new metadata, still playing.
    form_->N10Click();
    QTRY_COMPARE(listener_.Last(QStringLiteral("Metadata")).toMap().value(QStringLiteral("xesam:title")).toString(),
                 QStringLiteral("b.wav"));
    h_->Tick(3);
    QTRY_COMPARE(listener_.Last(QStringLiteral("Metadata")).toMap().value(QStringLiteral("xesam:title")).toString(),
                 QStringLiteral("c.wav"));
    QCOMPARE(listener_.Last(QStringLiteral("Metadata")).toMap().value(QStringLiteral("mpris:trackid"))
                 .value<QDBusObjectPath>().path(),
             QStringLiteral("/org/zolmplayer/track/2"));
    QCOMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));

    // The last entry's end ends playback.
    h_->Tick(3);
    QTRY_COMPARE(listener_.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    QCOMPARE(Status(), QStringLiteral("Stopped"));
    QCOMPARE(Get(kPlayer, QStringLiteral("CanSeek")).toBool(), false);
}

void TestMpris::onlyWhatChangedIsAnnounced()
{
    Listen();
    form_->N6Click();
    QTRY_VERIFY(!listener_.changes.isEmpty());
    QTest::qWait(100);
    qsizetype before = listener_.changes.size();

    // Time passing is no change (Position has no signal).
    h_->Tick(1);
    QTest::qWait(100);
    QCOMPARE(listener_.changes.size(), before);

    // A seek within the track: Seeked, and nothing else changed.
    form_->TrackBar2->setValue(2000);
    QTRY_COMPARE(listener_.seeks.size(), 1);
    QCOMPARE(listener_.seeks.last(), qlonglong(2000000));
    QTest::qWait(100);
    QCOMPARE(listener_.changes.size(), before);

    // The volume slider: Volume alone.
    form_->TrackBar1->setValue(10);
    QTRY_COMPARE(listener_.changes.size(), before + 1);
    QCOMPARE(listener_.changes.last().second.keys(), QStringList{QStringLiteral("Volume")});
    QCOMPARE(listener_.changes.last().second.value(QStringLiteral("Volume")).toDouble(), 0.5);
    QCOMPARE(Get(kPlayer, QStringLiteral("Volume")).toDouble(), 0.5);
    form_->N14->trigger(); // F5: mute
    QTRY_COMPARE(listener_.Last(QStringLiteral("Volume")).toDouble(), 0.0);

    // Setting Volume moves the slider as the user would, which also ends the mute.
    const QVariantList setVolume{kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(0.75))};
    QVERIFY(Call(kProps, QStringLiteral("Set"), setVolume));
    QCOMPARE(form_->TrackBar1->value(), 5);
    QVERIFY(!form_->MuteButton->Down());
    QTRY_COMPARE(listener_.Last(QStringLiteral("Volume")).toDouble(), 0.75);

    // Muted, then set to the level the slider already has: sound comes back.
    form_->N14->trigger();
    QTRY_COMPARE(listener_.Last(QStringLiteral("Volume")).toDouble(), 0.0);
    QVERIFY(Call(kProps, QStringLiteral("Set"), setVolume));
    QVERIFY(!form_->MuteButton->Down());
    QCOMPARE(form_->TrackBar1->value(), 5);
    QTRY_COMPARE(listener_.Last(QStringLiteral("Volume")).toDouble(), 0.75);
}

void TestMpris::setPositionAndSeekMoveTheSeekBarAsADrag()
{
    Listen();
    QVERIFY(Call(kPlayer, QStringLiteral("Play")));
    const QVariant track = Track(0);

    QVERIFY(Call(kPlayer, QStringLiteral("SetPosition"), {track, qlonglong(1500000)}));
    QCOMPARE(form_->TrackBar2->value(), 1500);
    QCOMPARE(form_->MediaPlayer1->Position(), 1500u);
    QCOMPARE(ElapsedMinutes, 0);
    QCOMPARE(ElapsedSeconds, 1);
    QTRY_COMPARE(listener_.seeks.size(), 1);
    QCOMPARE(listener_.seeks.last(), qlonglong(1500000));

    // The bar standing where the client asks: the drag's release still seeks.
    media::ManualClock::Advance(400);
    QCOMPARE(form_->MediaPlayer1->Position(), 1900u);
    QVERIFY(Call(kPlayer, QStringLiteral("SetPosition"), {track, qlonglong(1500000)}));
    QCOMPARE(form_->MediaPlayer1->Position(), 1500u);

    QVERIFY(Call(kPlayer, QStringLiteral("Seek"), {qlonglong(500000)}));
    QCOMPARE(form_->TrackBar2->value(), 2000);
    QCOMPARE(form_->MediaPlayer1->Position(), 2000u);
    QVERIFY(Call(kPlayer, QStringLiteral("Seek"), {qlonglong(-9000000)}));
    QCOMPARE(form_->TrackBar2->value(), 0);
    QCOMPARE(form_->MediaPlayer1->Position(), 0u);
    QTRY_COMPARE(listener_.seeks.size(), 4);

    // Ignored: another track's id, a point past the end, a negative point.
    QVERIFY(Call(kPlayer, QStringLiteral("SetPosition"), {Track(1), qlonglong(1000000)}));
    QVERIFY(Call(kPlayer, QStringLiteral("SetPosition"), {track, qlonglong(2600000)}));
    QVERIFY(Call(kPlayer, QStringLiteral("SetPosition"), {track, qlonglong(-1)}));
    QCOMPARE(form_->TrackBar2->value(), 0);
    QCOMPARE(form_->MediaPlayer1->Position(), 0u);

    // A seek while paused plays from there, the pause switch still latched, as a drag does.
    QVERIFY(Call(kPlayer, QStringLiteral("Pause")));
    QVERIFY(Call(kPlayer, QStringLiteral("SetPosition"), {track, qlonglong(1000000)}));
    QVERIFY(h_->Playing());
    QVERIFY(form_->SpeedButton6->Down());
    QVERIFY(!form_->Timer1->isActive());

    // After Stop nothing is open: seeking does nothing.
    QVERIFY(Call(kPlayer, QStringLiteral("Stop")));
    QVERIFY(Call(kPlayer, QStringLiteral("Seek"), {qlonglong(500000)}));
    QVERIFY(!form_->MediaPlayer1->IsOpen());
    QCOMPARE(form_->TrackBar2->value(), 1000);
}

void TestMpris::seekPastTheEndActsAsNext()
{
    QVERIFY(Call(kPlayer, QStringLiteral("Play")));
    QVERIFY(Call(kPlayer, QStringLiteral("Seek"), {qlonglong(3000000)}));
    QCOMPARE(h_->Selected(), 1);
    QVERIFY(h_->Playing());
    QCOMPARE(form_->MediaPlayer1->Position(), 0u);
}

void TestMpris::callsAreRefusedWhileTheWindowTakesNoInput_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("About box") << QStringLiteral("about");
    QTest::newRow("message box") << QStringLiteral("box");
    QTest::newRow("folder chooser") << QStringLiteral("chooser");
}

void TestMpris::callsAreRefusedWhileTheWindowTakesNoInput()
{
    QFETCH(QString, window);
    Listen();
    form_->show();
    QMessageBox box(QMessageBox::NoIcon, QString(), QStringLiteral("Ошибка"));
    QFileDialog chooser;
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
    QTest::qWait(50);
    QVERIFY(!form_->MediaPlayer1->IsOpen());
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
    QVERIFY(!Call(kPlayer, QStringLiteral("Stop")));
    QVERIFY(!Call(kPlayer, QStringLiteral("Pause")));
    QVERIFY(!Call(kPlayer, QStringLiteral("Seek"), {qlonglong(500000)}));
    QVERIFY(!Call(kPlayer, QStringLiteral("SetPosition"), {Track(0), qlonglong(2000000)}));
    QVERIFY(h_->Playing());
    QCOMPARE(form_->MediaPlayer1->Position(), 0u);
    close();
}

void TestMpris::raiseBringsTheWindowBackFromMinimisedAndHidden()
{
    form_->show();
    form_->showMinimized();
    QVERIFY(form_->isMinimized());
    QVERIFY(Call(kRoot, QStringLiteral("Raise")));
    QTRY_VERIFY(!form_->isMinimized());
    QVERIFY(form_->isVisible());

    // Hidden to the tray.
    form_->hide();
    QVERIFY(Call(kRoot, QStringLiteral("Raise")));
    QVERIFY(form_->isVisible());
    QVERIFY(!form_->TrayIcon || !form_->TrayIcon->isVisible());
}

void TestMpris::quitEndsTheProgramAsCtrlQ()
{
    QTimer::singleShot(0, this, [this] {
        QDBusMessage m = QDBusMessage::createMethodCall(service_, kPath, kRoot, QStringLiteral("Quit"));
        client_.asyncCall(m);
    });
    QTimer::singleShot(5000, this, [] { QCoreApplication::exit(7); }); // no quit came
    QCOMPARE(QCoreApplication::exec(), 0);
}

void TestMpris::secondPlayerTakesAnInstanceName()
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
    QCOMPARE(mpris_->ServiceName(),
             QStringLiteral("org.mpris.MediaPlayer2.zolmplayer.instance%1").arg(QCoreApplication::applicationPid()));
    service_ = mpris_->ServiceName();
    QVERIFY(Call(kPlayer, QStringLiteral("Play")));
    QVERIFY(h_->Playing());
    QVERIFY(client_.unregisterService(QStringLiteral("org.mpris.MediaPlayer2.zolmplayer")));
}

QTEST_MAIN(TestMpris)
#include "tst_mpris.moc"
