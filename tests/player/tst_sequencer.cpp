// Playing the playlist: Play, the tick, how the session applies the play order, the
// transport commands and play modes, the seek bar, volume and mute, on the session alone;
// then what only the window shows. The audio runs on the manual clock, so a track's end
// comes when the test says so.
#include "PlayerHarness.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QtTest>
#include <random>

namespace {
QStringList Names(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QStringLiteral("t%1.wav").arg(i);
    return names;
}

QString Counters(const TPlayerSession &s)
{
    return QStringLiteral("%1:%2").arg(s.ElapsedMinutes()).arg(s.ElapsedSeconds(), 2, 10, QLatin1Char('0'));
}

// Where a case starts: nothing opened yet, or t0.wav one second in, playing, paused,
// stopped after the pause, or paused and then sought.
enum Start { Idle, Playing, Paused, Stopped, SoughtWhilePaused };

void Enter(SessionHarness &h, int start)
{
    TPlayerSession &s = *h.session;
    if (start == Idle)
        return;
    s.Play();
    h.Tick();
    if (start == Playing)
        return;
    s.Pause();
    media::ManualClock::Advance(1000); // a paused device does not move
    if (start == Stopped)
        s.Stop();
    if (start == SoughtWhilePaused)
        s.Jump(3000);
}

enum Command { TrackEnds, NextCommand, PreviousCommand };
// Below zero, so that an action from zero up is a jump to that position.
enum Action { PauseCommand = -3, StopCommand, PlayCommand };
const int kClosed = -1, kPlaying = int(TMPModes::mpPlaying), kPaused = int(TMPModes::mpPaused);
const int kPick = -2; // the entry the session's own generator draws
// A command (or the track's end) from the entry start, and the entry that plays next (-1: none).
struct OrderCase { int command, repeat; bool random; int start, next; };
} // namespace

class TestSequencer : public QObject {
    Q_OBJECT
private slots:
    // FormatTrackTime and the tick's clock read the same "m:ss", cut to whole seconds; a
    // jump sets the counters, and the tick carries the seconds into the minutes.
    void clockReadsMinutesAndSeconds_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << QStringLiteral("0:00");
        QTest::newRow("nine seconds") << 9000 << QStringLiteral("0:09");
        QTest::newRow("ten seconds") << 10000 << QStringLiteral("0:10");
        QTest::newRow("just under a minute") << 59999 << QStringLiteral("0:59");
        QTest::newRow("a minute") << 60000 << QStringLiteral("1:00");
        QTest::newRow("one past") << 61000 << QStringLiteral("1:01");
        QTest::newRow("cut, not rounded") << 205500 << QStringLiteral("3:25");
        QTest::newRow("ten minutes") << 605000 << QStringLiteral("10:05");
        QTest::newRow("past an hour") << 3600000 << QStringLiteral("60:00");
    }
    void clockReadsMinutesAndSeconds()
    {
        QFETCH(int, ms);
        QFETCH(QString, text);
        QCOMPARE(FormatTrackTime(std::uint32_t(ms)), text);
        if (ms < 1000 || ms > 605000)
            return;
        SessionHarness h;
        TPlayerSession &s = h.Start(h.MakeFolder(QStringLiteral("c"), Names(1), std::uint32_t(ms + 2000)));
        s.Play();
        s.Jump(ms - 1000); // the counters one second before
        h.Tick(); // a second heard, then the tick
        QCOMPARE(s.ElapsedText(), text);
    }

    void playShowsNameLengthAndCaptions()
    {
        SessionHarness h;
        TPlayerSession &s = h.Start(h.MakeFolder(QStringLiteral("p"), {QStringLiteral("song.wav")}, 3250));
        QCOMPARE(s.Title(), QStringLiteral("ZOLM Player"));
        s.Play();
        QCOMPARE(s.TrackText(), QStringLiteral("song.wav (0:03)"));
        QCOMPARE(s.Title(), QStringLiteral("ZOLM Player - song.wav"));
        QCOMPARE(ApplicationTitle(), s.Title());
        QCOMPARE(s.Clock()->interval(), 1000);
        QCOMPARE(ShownState(s), "0 playing 0, clock 0:00, bar 0/3250");
        h.Tick();
        QCOMPARE(ShownState(s), "0 playing 1000, clock 0:01, bar 1000/3250");
        // Play resets the counters but leaves the clock's text to the next tick.
        h.Tick();
        s.Play();
        QCOMPARE(s.ElapsedText() + " " + Counters(s), "0:02 0:00");
        h.Tick();
        QCOMPARE(s.ElapsedText(), QStringLiteral("0:01"));

        // Control characters show as their symbols, on one line; the caption keeps the name.
        const QString odd = QStringLiteral("a\nb\tc\x7f.wav");
        QVERIFY(WriteBytes(s.Folder() + odd.toUtf8(), MakeWav(1000)));
        s.List(s.Folder());
        s.Play();
        QCOMPARE(s.TrackText(), QStringLiteral("a\u240ab\u2409c\u2421.wav (0:01)"));
        QCOMPARE(s.Title(), QStringLiteral("ZOLM Player - ") + odd);
        s.Start(); // start-up names entry 0 too
        QCOMPARE(s.TrackText(), QStringLiteral("a\u240ab\u2409c\u2421.wav"));
    }

    // The session hands the list and the play modes to the play order and carries out its
    // answer: select and play, play the selection again, or end as finished, the device
    // left open, stopped at the end.
    void playOrderIsApplied_data()
    {
        QTest::addColumn<OrderCase>("c");
        const auto row = [](const char *name, const OrderCase &c) { QTest::newRow(name) << c; };
        row("end, off: the next", {TrackEnds, 0, false, 1, 2});
        row("end, off, last: finished", {TrackEnds, 0, false, 4, -1});
        row("end, song: again", {TrackEnds, 1, false, 2, 2});
        row("end, list, last: the first", {TrackEnds, 2, false, 4, 0});
        row("end, random: the session's pick", {TrackEnds, 0, true, 1, kPick});
        row("next", {NextCommand, 0, false, 1, 2});
        row("next, last: restarts", {NextCommand, 2, false, 4, 4});
        row("next, random", {NextCommand, 0, true, 2, kPick});
        row("previous", {PreviousCommand, 0, false, 2, 1});
        row("previous, random", {PreviousCommand, 0, true, 2, kPick});
    }
    void playOrderIsApplied()
    {
        QFETCH(OrderCase, c);
        auto [command, repeat, random, start, next] = c;
        SessionHarness h;
        TPlayerSession &s = h.Start(h.MakeFolder(QStringLiteral("o"), Names(5), 1500));
        for (int i = 0; i < repeat; ++i)
            s.CycleRepeat();
        QCOMPARE(s.RepeatMode(), repeat);
        if (random)
            s.ToggleShuffle();
        // Its first pick over five entries is 4 (libstdc++): neither the entry in order nor the same one.
        s.Random.seed(4);
        std::mt19937 copy = s.Random;
        if (next == kPick)
            next = std::uniform_int_distribution<int>(0, 4)(copy);
        s.Select(start);
        s.Play();
        h.Tick();
        QVERIFY(h.Playing());
        if (command == TrackEnds)
            h.Tick(); // the position reaches the length
        else
            command == NextCommand ? s.Next() : s.Previous();
        // The clock's text starts again with the next track's first tick; a track's end sets it at once.
        const char *clock = command == TrackEnds ? "0:00" : "0:01";
        QCOMPARE(ShownState(s), next < 0 ? QStringLiteral("%1 stopped 1500, still 0:00, no bar").arg(start)
                                    : QStringLiteral("%1 playing 0, clock %2, bar 0/1500").arg(next).arg(clock));
        QCOMPARE(s.Title(), QStringLiteral("ZOLM Player - t%1.wav").arg(s.Current()));
    }

    void shortTrackAfterLongOneStartsFromItsBeginning()
    {
        SessionHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("sl"), {QStringLiteral("a_long.wav")}, 125500);
        WriteBytes(folder + "b_short.wav", MakeWav(3000));
        TPlayerSession &s = h.Start(folder);
        s.Play();
        s.Jump(90000); // the user drags the long track far in
        h.Tick();
        QCOMPARE(ShownState(s), "0 playing 91000, clock 1:31, bar 91000/125500");
        s.Select(1);
        s.Play();
        QCOMPARE(ShownState(s), "1 playing 0, clock 1:31, bar 0/3000");
        h.Tick(2);
        QCOMPARE(ShownState(s), "1 playing 2000, clock 0:02, bar 2000/3000");
    }

    void folderChangedToEmptyDuringPlaybackEndsQuietly()
    {
        SessionHarness h;
        TPlayerSession &s = h.Start(h.MakeFolder(QStringLiteral("a"), Names(2), 1500));
        const QByteArray empty = h.MakeFolder(QStringLiteral("empty"), {});
        s.CycleRepeat(); // repeat song: the advance would go on
        s.Play();
        h.dialogs.folderAnswers << empty.chopped(1);
        s.ChooseFolder();
        QVERIFY(h.Playing()); // the folder command leaves the track playing
        h.Tick(2);
        QVERIFY(!h.Playing());
        QCOMPARE(s.Current(), -1);
        QVERIFY(!s.Clock()->isActive());
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    void seekBarStopsAtItsMaximum()
    {
        SessionHarness h;
        TPlayerSession &s = h.Start(h.MakeFolder(QStringLiteral("m"), Names(1), 2500));
        s.Play();
        media::ManualClock::Advance(2400);
        s.Media()->PauseOnly(); // the device lags: no end is reported
        for (int i = 0; i < 5; ++i)
            s.Tick();
        QCOMPARE(s.ShownPosition(), 2500);
        QVERIFY(s.Clock()->isActive());
    }

    // Pause, stop, play and a jump, from each state the player can be in. A jump goes on
    // from there, paused or not, and sets the clock's counters; the text waits for the next
    // tick. With nothing open a jump is ignored. Stop leaves the titles as they are.
    void transportFromEachState_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("heard"); // see HeardState
        QTest::addColumn<QString>("counters");
        const auto row = [](const char *name, int start, int action, const char *heard, const char *counters) {
            QTest::newRow(name) << start << action << QString::fromUtf8(heard) << QString::fromUtf8(counters);
        };
        row("idle, pause: nothing at all", Idle, PauseCommand, "0 closed, still 0:00", "0:00");
        row("playing, pause: paused", Playing, PauseCommand, "0 paused 1000 latched, still 0:01", "0:01");
        row("paused, pause: resumes", Paused, PauseCommand, "0 playing 1000, clock 0:01", "0:01");
        row("paused, play: from its start", Paused, PlayCommand, "0 playing 0, clock 0:01", "0:00");
        row("paused, stop: closed", Paused, StopCommand, "0 closed, still 0:00", "0:01");
        row("playing, stop: closed", Playing, StopCommand, "0 closed, still 0:00", "0:01");
        row("idle, stop", Idle, StopCommand, "0 closed, still 0:00", "0:00");
        row("stopped, play: from its start", Stopped, PlayCommand, "0 playing 0, clock 0:00", "0:00");
        row("sought while paused, pause: paused", SoughtWhilePaused, PauseCommand, "0 paused 3000 latched, still 0:01", "0:03");
        row("playing, jump", Playing, 90000, "0 playing 90000, clock 0:01", "1:30");
        row("playing, jump near the end", Playing, 125000, "0 playing 125000, clock 0:01", "2:05");
        row("playing, jump home", Playing, 0, "0 playing 0, clock 0:01", "0:00");
        row("paused, jump: plays, timer off", Paused, 3000, "0 playing 3000 latched, still 0:01", "0:03");
        row("stopped, jump: ignored", Stopped, 4000, "0 closed, still 0:00", "0:01");
    }
    void transportFromEachState()
    {
        QFETCH(int, start);
        QFETCH(int, action); // a command, or a position to jump to
        SessionHarness h;
        const int length = action >= 0 ? 125500 : 9000; // a long track only for a jump far in
        TPlayerSession &s = h.Start(h.MakeFolder(QStringLiteral("p"), Names(1), std::uint32_t(length)));
        Enter(h, start);
        if (action == PauseCommand)
            s.Pause();
        else if (action == StopCommand)
            s.Stop();
        else if (action == PlayCommand)
            s.Play();
        else
            s.Jump(action);
        QTEST(HeardState(s), "heard");
        QTEST(Counters(s), "counters");
        QCOMPARE(s.PositionShown(), s.Media()->IsOpen());
        QCOMPARE(s.Title(), QLatin1String(start == Idle ? "ZOLM Player" : "ZOLM Player - t0.wav"));
        const int at = s.Media()->IsOpen() ? int(s.Media()->Position()) : 0;
        if (s.Clock()->isActive() && at + 1000 < length) { // the clock goes on from the counters
            h.Tick();
            QCOMPARE(s.ShownPosition(), at + 1000);
            QCOMPARE(s.ElapsedText(), FormatTrackTime(std::uint32_t(at + 1000)));
        }
    }

    // The output goes away mid-track and does not come back: the session stands as after the
    // pause command and says so once; a resume with no output answering says so again and
    // stays paused; once one answers, the track goes on from where the sound stopped.
    void soundOutputGoneLeavesThePlayerPaused()
    {
        SessionHarness h;
        TPlayerSession &s = h.Start(h.MakeFolder(QStringLiteral("g"), Names(2), 9000));
        const auto state = [&] { return HeardState(s) + QStringLiteral(", boxes %1").arg(h.dialogs.messages.size()); };
        s.Play();
        h.Tick(2);
        media::ManualClock::SetOutputAvailable(false);
        media::ManualClock::LoseOutput();
        h.Tick(3); // still looking for it: the position holds, and so does the clock's text
        QCOMPARE(state(), "0 playing 2000, clock 0:02, boxes 0");
        QVERIFY(s.ShownPosition() < 3000);
        h.Tick(3);
        QCOMPARE(state(), "0 paused 2000 latched, still 0:02, boxes 1");
        QVERIFY(h.dialogs.messages[0].startsWith(QStringLiteral("Звук не выводится")));
        s.Pause();
        QCOMPARE(state(), "0 paused 2000 latched, still 0:02, boxes 2");
        media::ManualClock::SetOutputAvailable(true);
        s.Pause();
        QCOMPARE(state(), "0 playing 2000, clock 0:02, boxes 2");
        h.Tick();
        QCOMPARE(state(), "0 playing 3000, clock 0:03, boxes 2"); // the clock from what was heard
    }

    // The volume slider's positions and muting: the words sent to the output. With a folder,
    // start-up sets the slider to 7; without one nothing is sent. A position given again
    // (the slider's notice without a move) sends its word again.
    void volumeAndMute_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("steps"); // slider positions, or mute
        QTest::addColumn<QList<uint>>("words");
        QTest::addColumn<bool>("muted");
        QTest::newRow("top: the loudest") << false << "20 0" << QList<uint>{0, 0xFDE8FDE8} << false;
        QTest::newRow("ten") << false << "10" << QList<uint>{0x7EF47EF4} << false;
        QTest::newRow("nineteen") << false << "19" << QList<uint>{0x0CB20CB2} << false;
        QTest::newRow("bottom: silent, yet not muted") << true << "20" << QList<uint>{0} << false;
        QTest::newRow("mute") << true << "mute" << QList<uint>{0} << true;
        QTest::newRow("mute again: the level from before") << true << "mute mute" << QList<uint>{0, 0xA50AA50A} << false;
        QTest::newRow("slider ends muting at its level") << true << "mute 12" << QList<uint>{0, 0x65906590} << false;
        QTest::newRow("unchanged notice sends the word again")
            << true << "12 mute 12" << QList<uint>{0x65906590, 0, 0x65906590} << false;
    }
    void volumeAndMute()
    {
        QFETCH(bool, folder);
        QFETCH(QString, steps);
        QFETCH(QList<uint>, words);
        SessionHarness h;
        TPlayerSession &s = folder ? h.Start(h.MakeFolder(QStringLiteral("v"), Names(1), 1000)) : h.Start();
        h.volumeWords.clear();
        for (const QString &step : steps.split(QLatin1Char(' ')))
            step == QLatin1String("mute") ? s.ToggleMute() : s.SetVolumePosition(step.toInt());
        QCOMPARE(QList<uint>(h.volumeWords.begin(), h.volumeWords.end()), words);
        QCOMPARE(media::WaveOutVolume(), words.last());
        QTEST(s.Muted(), "muted");
        if (!s.Muted())
            QCOMPARE(s.VolumeWord(), words.last());
    }

    void unplayableFileIsReportedAndNothingElsePlays()
    {
        SessionHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("b"), {QStringLiteral("good.wav")}, 1000);
        WriteBytes(folder + "bad.mp3", QByteArray(5000, '\x5a'));
        TPlayerSession &s = h.Start(folder);
        s.Play(); // bad.mp3 comes first
        QCOMPARE(h.dialogs.messages, QStringList{QStringLiteral("Ошибка обращения к файлу bad.mp3")});
        QCOMPARE(s.TrackText(), QStringLiteral("bad.mp3"));
        QCOMPARE(s.Title(), QStringLiteral("ZOLM Player - bad.mp3"));
        QCOMPARE(HeardState(s), "0 closed, still 0:00");
        // A playing track is closed by the failed open.
        s.Choose(1);
        QVERIFY(h.Playing());
        s.Choose(0);
        QCOMPARE(HeardState(s) + ", " + s.TrackText(), "0 closed, still 0:00, bad.mp3");
        QCOMPARE(h.dialogs.messages.size(), 2);
    }

    // What the window draws of the session: the labels, the caption, the seek bar and the
    // switches. The pause switch pressed while nothing plays stays down, releasable, until
    // a command moves playback; the menu's marks follow the menu alone.
    void windowDrawsTheSession_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("drawn"); // pause, random, repeat, mute switches (glyphs); marks
        QTest::newRow("start") << "" << "up up up1 up1 ---";
        QTest::newRow("pause pressed while idle") << "pause" << "pressed up up1 up1 ---";
        QTest::newRow("pressed, pressed again") << "pause pause" << "up up up1 up1 ---";
        QTest::newRow("pressed, volume: still pressed") << "pause slider" << "pressed up up1 up1 ---";
        QTest::newRow("pressed, play: up") << "pause play" << "up up up1 up1 ---";
        QTest::newRow("playing, pause: latched") << "play pause" << "down up up1 up1 ---";
        QTest::newRow("paused, pause: up") << "play pause pause" << "up up up1 up1 ---";
        QTest::newRow("paused, stop: up") << "play pause stop" << "up up up1 up1 ---";
        QTest::newRow("random button") << "random" << "up down up1 up1 ---";
        QTest::newRow("random menu twice") << "Random Random" << "up up up1 up1 ---";
        QTest::newRow("random button, menu") << "random Random" << "up up up1 up1 x--";
        QTest::newRow("repeat: song") << "Repeat" << "up up down2 up1 -x-";
        QTest::newRow("repeat: list") << "Repeat Repeat" << "up up down1 up1 -x-";
        QTest::newRow("repeat: off") << "Repeat Repeat Repeat" << "up up up1 up1 ---";
        QTest::newRow("repeat button leaves the mark") << "repeat repeat" << "up up down1 up1 ---";
        QTest::newRow("the menu sets it right") << "repeat Repeat" << "up up down1 up1 -x-";
        QTest::newRow("mute button") << "mute" << "up up up1 down2 ---";
        QTest::newRow("mute menu") << "Mute" << "up up up1 down2 --x";
        QTest::newRow("mute menu, button") << "Mute mute" << "up up up1 up1 --x";
        QTest::newRow("muted, slider: unmuted") << "mute slider" << "up up up1 up1 ---";
    }
    void windowDrawsTheSession()
    {
        QFETCH(QString, steps);
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("w"), {QStringLiteral("a.wav")}, 3250));
        QCOMPARE(h.volumeWords.size(), std::size_t(2)); // the slider drawn at 7 sends nothing more
        const QHash<QString, std::function<void()>> act{
            {"pause", [f] { f->SpeedButton6->UserClick(); }}, {"play", [f] { f->SpeedButton5->UserClick(); }},
            {"stop", [f] { f->SpeedButton2->UserClick(); }},   {"random", [f] { f->shuffle->UserClick(); }},
            {"Random", [f] { f->N11->trigger(); }},           {"repeat", [f] { f->RepeatButton->UserClick(); }},
            {"Repeat", [f] { f->N13->trigger(); }},           {"mute", [f] { f->MuteButton->UserClick(); }},
            {"Mute", [f] { f->N14->trigger(); }},             {"slider", [f] { f->TrackBar1->setValue(12); }}};
        for (const QString &step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            act[step]();
        auto sw = [](TSpeedButton *b, bool glyphs = false) {
            return QString::fromLatin1(b->Down() ? (b->AllowAllUp() ? "pressed" : "down") : "up") +
                   (glyphs ? QString::number(b->NumGlyphs()) : QString());
        };
        QString marks;
        for (QAction *a : {f->N11, f->N13, f->N14})
            marks += QLatin1Char(a->isChecked() ? 'x' : '-');
        QTEST(QStringList({sw(f->SpeedButton6), sw(f->shuffle), sw(f->RepeatButton, true), sw(f->MuteButton, true), marks})
                  .join(QLatin1Char(' ')), "drawn");
        const TPlayerSession &s = h.Session();
        QCOMPARE(std::make_tuple(s.Shuffle(), s.Muted(), s.VolumePosition()),
                 std::make_tuple(f->shuffle->Down(), f->MuteButton->Down(), f->TrackBar1->value()));
        // The labels, the caption and the seek bar; the window's own moves of its sliders
        // are no commands: a tick moves no playback and sends no volume.
        QSignalSpy moved(&s, &TPlayerSession::PlaybackChanged), volume(&s, &TPlayerSession::VolumeChanged);
        h.Tick();
        QCOMPARE(moved.count() + volume.count(), 0);
        // A name may hold markup characters: the track line shows plain text.
        QCOMPARE(std::make_tuple(f->Label1->text(), f->Label1->textFormat(), f->Label2->text(), h.Title()),
                 std::make_tuple(s.TrackText(), Qt::PlainText, s.ElapsedText(), s.Title()));
        QCOMPARE(std::make_tuple(f->TrackBar2->maximum(), f->TrackBar2->value(), f->TrackBar2->SliderVisible()),
                 std::make_tuple(s.TrackLength(), s.ShownPosition(), s.PositionShown()));
    }

    void trackEndsAndNextStartsWhileAboutBoxIsOpen()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("ab"), Names(2), 1500));
        f->Play();
        f->N2Click();
        QVERIFY(!f->isEnabled());
        h.Tick(2);
        QCOMPARE(h.Title(), QStringLiteral("ZOLM Player - t1.wav"));
        QVERIFY(h.Playing());
        AboutBox->OKButtonClick();
        QVERIFY(f->isEnabled());
    }

    void trayHidesAndOnlyLeftPressBringsBack()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("tr"), Names(2), 1500));
        f->show();
        SetTrayQuery([] { return false; });
        f->GoToTrayButtonClick();
        QVERIFY(f->isVisible()); // no tray: minimised instead, so it can always come back
        QVERIFY(f->isMinimized());
        QVERIFY(!f->TrayIcon);
        f->showNormal();

        SetTrayQuery([] { return true; });
        f->Play();
        f->GoToTrayButtonClick();
        // Hidden to the tray: the window gone, the icon up; or back: the other way round.
        auto hidden = [f] { return !f->isVisible() && f->TrayIcon->isVisible(); };
        auto back = [f] { return f->isVisible() && !f->TrayIcon->isVisible(); };
        QVERIFY(hidden());
        h.Tick(2); // playback goes on hidden, to the next entry
        QCOMPARE(h.Selected(), 1);
        QCOMPARE(f->TrayIcon->toolTip(), QStringLiteral("ZOLM Player"));
        for (int other : {512, 514, 515, 516, 517, 519})
            f->TrayIconMessage(other);
        QVERIFY(hidden());
        f->TrayIconMessage(513);
        QVERIFY(back());

        // The same through the icon itself: only its left click (Trigger) brings the window back.
        f->GoToTrayButtonClick();
        for (auto other : {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
            emit f->TrayIcon->activated(other);
        QVERIFY(hidden());
        emit f->TrayIcon->activated(QSystemTrayIcon::Trigger);
        QVERIFY(back());
        // The rest of a double click finds the window already back.
        emit f->TrayIcon->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(back());
    }
};

QTEST_MAIN(TestSequencer)
#include "tst_sequencer.moc"
