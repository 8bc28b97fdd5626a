// Playing the playlist through the real main window: Play, the tick, how the window applies
// the play order, the transport commands and play modes, the seek bar, volume and mute. The
// audio runs on the manual clock, so a track's end comes when the test says so.
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

// Where a case starts: nothing opened yet (the pause switch clicked or not), or t0.wav
// one second in, playing, paused, stopped after the pause, or paused and then sought.
enum Start { Idle, Pressed, Playing, Paused, Stopped, SoughtWhilePaused };

void Enter(PlayerHarness &h, int start)
{
    TForm1 *f = h.form.get();
    if (start == Pressed)
        f->SpeedButton6->UserClick();
    if (start == Idle || start == Pressed)
        return;
    f->Play();
    h.Tick();
    if (start == Playing)
        return;
    f->SpeedButton6Click();
    media::ManualClock::Advance(1000); // a paused device does not move
    if (start == Stopped)
        f->SpeedButton2Click();
    if (start == SoughtWhilePaused)
        f->TrackBar2->setValue(3000);
}

enum Command { TrackEnds, NextCommand, PreviousCommand };
// Below zero, so that an action from zero up is a drag of the seek bar to that position.
enum Action { ClickPause = -4, MenuPause, StopCommand, PlayCommand };
const int kUp = 0, kLatched = 1, kPressed = 2; // the pause switch; pressed: down but releasable
const int kClosed = -1, kPlaying = int(TMPModes::mpPlaying), kPaused = int(TMPModes::mpPaused);
const int kPick = -2; // the entry the window's own generator draws
} // namespace

class TestSequencer : public QObject {
    Q_OBJECT
private slots:
    // FormatTrackTime and the tick's clock read the same "m:ss", cut to whole seconds.
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
        if (ms < 1000)
            return;
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("c"), Names(1), 3000));
        f->Play();
        ElapsedMinutes = (ms / 1000 - 1) / 60; // one tick before
        ElapsedSeconds = (ms / 1000 - 1) % 60;
        h.Tick(); // a second heard, then the tick
        QCOMPARE(f->Label2->text(), text);
    }

    void playShowsNameLengthAndCaptions()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("p"), {QStringLiteral("song.wav")}, 3250));
        f->SpeedButton5->UserClick();
        QCOMPARE(f->Label1->text(), QStringLiteral("song.wav (0:03)"));
        QCOMPARE(f->Label1->textFormat(), Qt::PlainText); // a name may hold markup characters
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - song.wav"));
        QCOMPARE(ApplicationTitle(), QStringLiteral("ZOLM Player - song.wav"));
        QCOMPARE(f->TrackBar2->maximum(), 3250);
        QCOMPARE(f->TrackBar2->value(), 0);
        QVERIFY(f->TrackBar2->SliderVisible());
        QVERIFY(f->Timer1->isActive());
        QCOMPARE(f->Timer1->interval(), 1000);
        QCOMPARE(f->Label2->text(), QStringLiteral("0:00"));
        h.Tick();
        QCOMPARE(f->Label2->text(), QStringLiteral("0:01"));
        QCOMPARE(f->TrackBar2->value(), 1000);
        QVERIFY(h.Playing());
        // Play resets the counters but leaves the clock label to the next tick.
        h.Tick();
        f->Play();
        QCOMPARE(f->Label2->text(), QStringLiteral("0:02"));
        QCOMPARE(ElapsedMinutes * 60 + ElapsedSeconds, 0);
        h.Tick();
        QCOMPARE(f->Label2->text(), QStringLiteral("0:01"));

        // Control characters show as their symbols, on one line; the caption keeps the name.
        const QString odd = QStringLiteral("a\nb\tc\x7f.wav");
        QVERIFY(WriteBytes(RememberedFolder + odd.toUtf8(), MakeWav(1000)));
        f->PlayList(RememberedFolder);
        f->Play();
        QCOMPARE(f->Label1->text(), QStringLiteral("a\u240ab\u2409c\u2421.wav (0:01)"));
        QCOMPARE(h.Title(), QStringLiteral("ZOLM Player - ") + odd);
        f->FormCreate(); // start-up names entry 0 too
        QCOMPARE(f->Label1->text(), QStringLiteral("a\u240ab\u2409c\u2421.wav"));
    }

    // The window hands the list and the play modes to the play order and carries out its
    // answer: select and play, play the selection again, or end as finished.
    void playOrderIsApplied_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("repeat");
        QTest::addColumn<bool>("shuffle");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("next"); // -1: playback ends
        QTest::newRow("end, off: the next") << +TrackEnds << 0 << false << 1 << 2;
        QTest::newRow("end, off, last: finished") << +TrackEnds << 0 << false << 4 << -1;
        QTest::newRow("end, song: again") << +TrackEnds << 1 << false << 2 << 2;
        QTest::newRow("end, list, last: the first") << +TrackEnds << 2 << false << 4 << 0;
        QTest::newRow("end, shuffle: the window's pick") << +TrackEnds << 0 << true << 1 << kPick;
        QTest::newRow("next") << +NextCommand << 0 << false << 1 << 2;
        QTest::newRow("next, last: restarts") << +NextCommand << 2 << false << 4 << 4;
        QTest::newRow("next, shuffle") << +NextCommand << 0 << true << 2 << kPick;
        QTest::newRow("previous") << +PreviousCommand << 0 << false << 2 << 1;
        QTest::newRow("previous, shuffle") << +PreviousCommand << 0 << true << 2 << kPick;
    }
    void playOrderIsApplied()
    {
        QFETCH(int, command);
        QFETCH(int, repeat);
        QFETCH(bool, shuffle);
        QFETCH(int, start);
        QFETCH(int, next);
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("o"), Names(5), 1500));
        for (int i = 0; i < repeat; ++i)
            f->RepeatButtonClick();
        if (shuffle)
            f->N11Click();
        // Its first pick over five entries is 4 (libstdc++): neither the entry in order nor the same one.
        f->Random.seed(4);
        std::mt19937 copy = f->Random;
        if (next == kPick)
            next = std::uniform_int_distribution<int>(0, 4)(copy);
        f->ListBox1->SetItemIndex(start);
        f->Play();
        h.Tick();
        QVERIFY(h.Playing());
        if (command == TrackEnds)
            h.Tick(); // the position reaches the length
        else
            command == NextCommand ? f->N10Click() : f->N8Click();
        QCOMPARE(h.Selected(), next < 0 ? start : next);
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - t%1.wav").arg(h.Selected()));
        QCOMPARE(f->Timer1->isActive(), next >= 0);
        QCOMPARE(f->TrackBar2->SliderVisible(), next >= 0);
        if (command == TrackEnds)
            QCOMPARE(f->Label2->text(), QStringLiteral("0:00"));
        if (next >= 0) {
            QVERIFY(h.Playing());
            QCOMPARE(f->MediaPlayer1->Position(), 0u);
            return;
        }
        // Finished: the device stays open, stopped at the end.
        QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpStopped);
        QCOMPARE(f->MediaPlayer1->Position(), f->MediaPlayer1->Length());
    }

    void shortTrackAfterLongOneStartsFromItsBeginning()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("sl"), {QStringLiteral("a_long.wav")}, 125500);
        WriteBytes(folder + "b_short.wav", MakeWav(3000));
        TForm1 *f = h.Start(folder);
        QCOMPARE(f->ListBox1->NameText(1), QStringLiteral("b_short.wav"));
        f->Play();
        f->TrackBar2->setValue(90000); // the user drags the long track far in
        h.Tick();
        QCOMPARE(f->TrackBar2->value(), 91000);
        // The bar goes to 0 before its maximum shrinks, so the shrinking moves nothing.
        f->ListBox1->SetItemIndex(1);
        f->Play();
        QCOMPARE(f->TrackBar2->value(), 0);
        QCOMPARE(f->TrackBar2->maximum(), 3000);
        QCOMPARE(f->MediaPlayer1->Position(), 0u);
        h.Tick(2);
        QVERIFY(h.Playing());
        QCOMPARE(f->Label2->text(), QStringLiteral("0:02"));
        QCOMPARE(f->TrackBar2->value(), 2000);
    }

    void folderChangedToEmptyDuringPlaybackEndsQuietly()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("a"), Names(2), 1500));
        const QByteArray empty = h.MakeFolder(QStringLiteral("empty"), {});
        f->RepeatButtonClick(); // repeat song: the advance would go on
        f->Play();
        h.dialogs.folderAnswers << QFile::decodeName(empty.chopped(1));
        f->SpeedButton4Click();
        QVERIFY(h.Playing()); // the folder command leaves the track playing
        h.Tick(2);
        QVERIFY(!h.Playing());
        QCOMPARE(h.Selected(), -1);
        QVERIFY(!f->Timer1->isActive());
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    void seekBarStopsAtItsMaximum()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("m"), Names(1), 2500));
        f->Play();
        media::ManualClock::Advance(2400);
        f->MediaPlayer1->PauseOnly(); // the device lags: no end is reported
        for (int i = 0; i < 5; ++i)
            f->Timer1Timer();
        QCOMPARE(f->TrackBar2->value(), 2500);
        QVERIFY(f->Timer1->isActive());
    }

    // Pause, stop, play and a drag of the seek bar, from each state the player can be in. A
    // drag goes on from there, paused or not, and sets the clock's counters; the label waits
    // for the next tick. With nothing open a drag is ignored.
    void transportFromEachState_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("mode"); // the device's, or kClosed
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("timer");
        QTest::addColumn<int>("pause"); // the pause switch
        QTest::addColumn<QString>("clock"); // Label2
        QTest::addColumn<QString>("counters"); // ElapsedMinutes:ElapsedSeconds
        const QString s0 = QStringLiteral("0:00"), s1 = QStringLiteral("0:01"), s3 = QStringLiteral("0:03");
        QTest::newRow("idle, click: pressed") << +Idle << +ClickPause << kClosed << 0 << false << kPressed << s0 << s0;
        QTest::newRow("pressed, click: up") << +Pressed << +ClickPause << kClosed << 0 << false << kUp << s0 << s0;
        QTest::newRow("idle, menu: nothing at all") << +Idle << +MenuPause << kClosed << 0 << false << kUp << s0 << s0;
        QTest::newRow("pressed, play: up") << +Pressed << +PlayCommand << kPlaying << 0 << true << kUp << s0 << s0;
        QTest::newRow("playing, menu: paused") << +Playing << +MenuPause << kPaused << 1000 << false << kLatched << s1 << s1;
        QTest::newRow("paused, click: resumes") << +Paused << +ClickPause << kPlaying << 1000 << true << kUp << s1 << s1;
        QTest::newRow("paused, play: from its start") << +Paused << +PlayCommand << kPlaying << 0 << true << kUp << s1 << s0;
        QTest::newRow("paused, stop: closed") << +Paused << +StopCommand << kClosed << 0 << false << kUp << s0 << s1;
        QTest::newRow("playing, stop: closed") << +Playing << +StopCommand << kClosed << 0 << false << kUp << s0 << s1;
        QTest::newRow("idle, stop") << +Idle << +StopCommand << kClosed << 0 << false << kUp << s0 << s0;
        QTest::newRow("stopped, play: from its start") << +Stopped << +PlayCommand << kPlaying << 0 << true << kUp << s0 << s0;
        QTest::newRow("sought while paused, menu: paused")
            << +SoughtWhilePaused << +MenuPause << kPaused << 3000 << false << kLatched << s1 << s3;
        QTest::newRow("playing, seek") << +Playing << 90000 << kPlaying << 90000 << true << kUp << s1 << "1:30";
        QTest::newRow("playing, seek near the end") << +Playing << 125000 << kPlaying << 125000 << true << kUp << s1 << "2:05";
        QTest::newRow("playing, seek home") << +Playing << 0 << kPlaying << 0 << true << kUp << s1 << s0;
        QTest::newRow("paused, seek: plays, timer off") << +Paused << 3000 << kPlaying << 3000 << false << kLatched << s1 << s3;
        QTest::newRow("stopped, seek: ignored") << +Stopped << 4000 << kClosed << 0 << false << kUp << s0 << s1;
    }
    void transportFromEachState()
    {
        QFETCH(int, start);
        QFETCH(int, action); // a command, or a position to drag the seek bar to
        QFETCH(int, mode);
        QFETCH(int, position);
        QFETCH(bool, timer);
        QFETCH(int, pause);
        QFETCH(QString, clock);
        QFETCH(QString, counters);
        PlayerHarness h;
        const int length = action >= 0 ? 125500 : 9000; // a long track only for a drag far in
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("p"), Names(1), std::uint32_t(length)));
        Enter(h, start);
        if (action == ClickPause)
            f->SpeedButton6->UserClick(); // a latched switch stays down under the click
        else if (action == MenuPause)
            f->N9Click();
        else if (action == StopCommand)
            f->N7Click();
        else if (action == PlayCommand)
            f->SpeedButton5Click();
        else
            f->TrackBar2->setValue(action);
        QCOMPARE(f->MediaPlayer1->IsOpen(), mode != kClosed);
        if (mode != kClosed) {
            QCOMPARE(int(f->MediaPlayer1->Mode()), mode);
            QVERIFY(qAbs(qint64(f->MediaPlayer1->Position()) - position) <= 50);
        }
        QCOMPARE(f->Timer1->isActive(), timer);
        QCOMPARE(f->SpeedButton6->Down(), pause != kUp);
        QCOMPARE(f->SpeedButton6->AllowAllUp(), pause != kLatched);
        QCOMPARE(f->Label2->text(), clock);
        QCOMPARE(QStringLiteral("%1:%2").arg(ElapsedMinutes).arg(ElapsedSeconds, 2, 10, QLatin1Char('0')), counters);
        QCOMPARE(f->TrackBar2->SliderVisible(), mode != kClosed);
        if (start != Idle && start != Pressed) // stop leaves the titles as they are
            QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - t0.wav"));
        if (timer && position + 1000 < length) { // the clock goes on from the counters
            h.Tick();
            QCOMPARE(f->TrackBar2->value(), position + 1000);
            QCOMPARE(f->Label2->text(), FormatTrackTime(std::uint32_t(position + 1000)));
        }
    }

    // The output goes away mid-track and does not come back: the window stands as after the
    // pause button and says so once; a resume with no output answering says so again and stays
    // paused; once one answers, the track goes on from where the sound stopped.
    void soundOutputGoneLeavesThePlayerPaused()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("g"), Names(2), 9000));
        f->Play();
        h.Tick(2);
        media::ManualClock::SetOutputAvailable(false);
        media::ManualClock::LoseOutput();
        h.Tick(3); // still looking for it: the position holds, and so does the clock
        QVERIFY(h.Playing());
        QCOMPARE(f->MediaPlayer1->Position(), 2000u);
        QCOMPARE(f->Label2->text(), QStringLiteral("0:02"));
        QVERIFY(f->TrackBar2->value() < 3000);
        QVERIFY(h.dialogs.messages.isEmpty());
        h.Tick(3);
        QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPaused);
        QVERIFY(!f->Timer1->isActive());
        QVERIFY(f->SpeedButton6->Down() && !f->SpeedButton6->AllowAllUp());
        QCOMPARE(f->Label2->text(), QStringLiteral("0:02"));
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY(h.dialogs.messages[0].startsWith(QStringLiteral("Звук не выводится")));
        QCOMPARE(h.Selected(), 0);
        f->N9Click();
        QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPaused);
        QVERIFY(!f->Timer1->isActive() && f->SpeedButton6->Down());
        QCOMPARE(h.dialogs.messages.size(), 2);
        media::ManualClock::SetOutputAvailable(true);
        f->N9Click();
        QVERIFY(h.Playing());
        QVERIFY(f->Timer1->isActive() && !f->SpeedButton6->Down());
        h.Tick();
        QCOMPARE(f->MediaPlayer1->Position(), 3000u);
        QCOMPARE(f->Label2->text(), QStringLiteral("0:03")); // from what was heard
        QCOMPARE(h.dialogs.messages.size(), 2);
    }

    void repeatCyclesFromButtonAndMenu()
    {
        PlayerHarness h;
        TForm1 *f = h.Start();
        auto state = [f] {
            return std::make_tuple(int(RepeatMode), f->RepeatButton->Down(), f->RepeatButton->AllowAllUp(),
                                   f->RepeatButton->NumGlyphs(), f->N13->isChecked());
        };
        f->N13->trigger();
        QCOMPARE(state(), std::make_tuple(1, true, false, 2, true));
        QCOMPARE(f->RepeatButton->ShownGlyph().width(), 11);
        f->N13->trigger();
        QCOMPARE(state(), std::make_tuple(2, true, false, 1, true));
        QCOMPARE(f->RepeatButton->ShownGlyph().width(), 23);
        f->N13->trigger();
        QCOMPARE(state(), std::make_tuple(0, false, true, 1, false));
        // The button cycles the same way but never touches the mark.
        f->RepeatButton->UserClick();
        QCOMPARE(state(), std::make_tuple(1, true, false, 2, false));
        f->RepeatButton->UserClick();
        QCOMPARE(state(), std::make_tuple(2, true, false, 1, false));
        f->N13->trigger(); // the menu sets the mark right again
        QCOMPARE(state(), std::make_tuple(0, false, true, 1, false));
        f->RepeatButton->UserClick();
        f->N13->trigger();
        QCOMPARE(state(), std::make_tuple(2, true, false, 1, true));
    }

    void shuffleMarkFollowsTheMenuOnly()
    {
        PlayerHarness h;
        TForm1 *f = h.Start();
        f->shuffle->UserClick();
        QVERIFY(f->shuffle->Down());
        QVERIFY(!f->N11->isChecked());
        f->N11->trigger(); // shuffle goes off, the mark becomes ticked
        QVERIFY(!f->shuffle->Down());
        QVERIFY(f->N11->isChecked());
        f->N11->trigger();
        QVERIFY(f->shuffle->Down());
        QVERIFY(!f->N11->isChecked());
        f->shuffle->UserClick();
        QVERIFY(!f->shuffle->Down());
        QVERIFY(f->shuffle->AllowAllUp());
    }

    // The volume slider and the mute switch: the words sent to the output, the switch and the
    // menu's mark. With a folder, start-up sets the slider to 7; without one nothing is sent.
    void volumeAndMute_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("steps"); // slider positions, the button, the menu, the handler, notice
        QTest::addColumn<QList<uint>>("words");
        QTest::addColumn<bool>("muted");
        QTest::addColumn<bool>("mark");
        QTest::newRow("top: the loudest") << false << "20 0" << QList<uint>{0, 0xFDE8FDE8} << false << false;
        QTest::newRow("ten") << false << "10" << QList<uint>{0x7EF47EF4} << false << false;
        QTest::newRow("nineteen") << false << "19" << QList<uint>{0x0CB20CB2} << false << false;
        QTest::newRow("bottom: silent, yet not muted") << true << "20" << QList<uint>{0} << false << false;
        QTest::newRow("button mutes") << true << "button" << QList<uint>{0} << true << false;
        QTest::newRow("button again: the level from before")
            << true << "button button" << QList<uint>{0, 0xA50AA50A} << false << false;
        QTest::newRow("slider ends muting at its level")
            << true << "handler 12" << QList<uint>{0, 0x65906590} << false << false;
        QTest::newRow("unchanged notice sends the word again")
            << true << "12 handler notice" << QList<uint>{0x65906590, 0, 0x65906590} << false << false;
        QTest::newRow("menu mutes and ticks") << false << "menu" << QList<uint>{0} << true << true;
        QTest::newRow("button leaves the mark") << false << "menu button" << QList<uint>{0, 0} << false << true;
        QTest::newRow("menu again") << false << "menu button menu" << QList<uint>{0, 0, 0} << true << false;
    }
    void volumeAndMute()
    {
        QFETCH(bool, folder);
        QFETCH(QString, steps);
        QFETCH(QList<uint>, words);
        QFETCH(bool, muted);
        QFETCH(bool, mark);
        PlayerHarness h;
        TForm1 *f = folder ? h.Start(h.MakeFolder(QStringLiteral("v"), Names(1), 1000)) : h.Start();
        h.volumeWords.clear();
        for (const QString &step : steps.split(QLatin1Char(' '))) {
            if (step == QLatin1String("button"))
                f->MuteButton->UserClick();
            else if (step == QLatin1String("menu"))
                f->N14->trigger();
            else if (step == QLatin1String("handler"))
                f->MuteButtonClick();
            else if (step == QLatin1String("notice"))
                emit f->TrackBar1->Change();
            else
                f->TrackBar1->setValue(step.toInt());
        }
        QCOMPARE(QList<uint>(h.volumeWords.begin(), h.volumeWords.end()), words);
        QCOMPARE(media::WaveOutVolume(), words.last());
        if (!muted)
            QCOMPARE(CurrentVolume, words.last());
        QCOMPARE(f->MuteButton->Down(), muted);
        QCOMPARE(f->MuteButton->AllowAllUp(), !muted);
        QCOMPARE(f->MuteButton->NumGlyphs(), muted ? 2 : 1);
        QCOMPARE(f->N14->isChecked(), mark);
    }

    void unplayableFileIsReportedAndNothingElsePlays()
    {
        PlayerHarness h;
        const QByteArray folder = h.MakeFolder(QStringLiteral("b"), {QStringLiteral("good.wav")}, 1000);
        WriteBytes(folder + "bad.mp3", QByteArray(5000, '\x5a'));
        TForm1 *f = h.Start(folder);
        f->Play(); // bad.mp3 comes first
        QCOMPARE(h.dialogs.messages, QStringList{QStringLiteral("Ошибка обращения к файлу bad.mp3")});
        QCOMPARE(f->Label1->text(), QStringLiteral("bad.mp3"));
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - bad.mp3"));
        QVERIFY(!f->Timer1->isActive());
        QVERIFY(!f->MediaPlayer1->IsOpen());
        QCOMPARE(h.Selected(), 0);
        // A playing track is closed by the failed open.
        f->ListBox1->SetItemIndex(1);
        f->Play();
        QVERIFY(h.Playing());
        f->ListBox1->SetItemIndex(0);
        f->Play();
        QVERIFY(!f->MediaPlayer1->IsOpen());
        QVERIFY(!f->Timer1->isActive());
        QCOMPARE(f->Label1->text(), QStringLiteral("bad.mp3"));
        QCOMPARE(h.dialogs.messages.size(), 2);
    }

    void trackEndsAndNextStartsWhileAboutBoxIsOpen()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("ab"), Names(2), 1500));
        f->Play();
        f->N2Click();
        QVERIFY(!f->isEnabled());
        h.Tick(2);
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - t1.wav"));
        QVERIFY(h.Playing());
        AboutBox->OKButtonClick();
        QVERIFY(f->isEnabled());
    }

    void trayHidesAndOnlyLeftPressBringsBack()
    {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("tr"), Names(2), 1500));
        f->show();
        f->TrayAvailable = [] { return false; };
        f->GoToTrayButtonClick();
        QVERIFY(f->isVisible()); // no tray: minimised instead, so it can always come back
        QVERIFY(f->isMinimized());
        QVERIFY(!f->TrayIcon);
        f->showNormal();

        f->TrayAvailable = [] { return true; };
        f->Play();
        f->GoToTrayButtonClick();
        QVERIFY(!f->isVisible());
        QVERIFY(f->TrayIcon->isVisible());
        h.Tick(2); // playback goes on hidden, to the next entry
        QCOMPARE(h.Selected(), 1);
        QCOMPARE(f->TrayIcon->toolTip(), QStringLiteral("ZOLM Player"));
        for (int other : {512, 514, 515, 516, 517, 519})
            f->TrayIconMessage(other);
        QVERIFY(!f->isVisible());
        f->TrayIconMessage(513);
        QVERIFY(f->isVisible());
        QVERIFY(!f->TrayIcon->isVisible());

        // The same through the icon itself: only its left click (Trigger) brings the window back.
        f->GoToTrayButtonClick();
        for (auto other : {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
            emit f->TrayIcon->activated(other);
        QVERIFY(!f->isVisible());
        QVERIFY(f->TrayIcon->isVisible());
        emit f->TrayIcon->activated(QSystemTrayIcon::Trigger);
        QVERIFY(f->isVisible());
        QVERIFY(!f->TrayIcon->isVisible());
        // The rest of a double click finds the window already back.
        emit f->TrayIcon->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(f->isVisible());
        QVERIFY(!f->TrayIcon->isVisible());
    }
};

QTEST_MAIN(TestSequencer)
#include "tst_sequencer.moc"
