// Playing the playlist: Play, the tick, the end-of-track advance, the transport
// commands and play modes, the seek bar, volume and mute. The audio runs on the
// manual clock, so a track's end comes when the test says so.
#include "PlayerHarness.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QtTest>

class TestSequencer : public QObject {
    Q_OBJECT
private slots:
    void formatTrackTimeCutsToWholeSeconds();
    void playShowsNameLengthAndCaptions();
    void endOfTrackFollowsTheModes_data();
    void endOfTrackFollowsTheModes();
    void shuffleAtEndOfTrackFollowsTheRepeatMode();
    void shortTrackAfterLongOneStartsFromItsBeginning();
    void lastEntryEndingLeavesPlayerFinished();
    void repeatListWithOneEntryPlaysItAgain();
    void folderChangedToEmptyDuringPlaybackEndsQuietly();
    void clockRollsOverMinutesAndPastAnHour();
    void seekBarStopsAtItsMaximum();
    void pauseThenStopThenPlayStartsFromTheBeginning();
    void soundOutputGoneLeavesThePlayerPaused();
    void previousAndNextNeverWrap();
    void shufflePicksSpreadEvenlyOverTheEntries();
    void repeatCyclesFromButtonAndMenu();
    void shuffleMarkFollowsTheMenuOnly();
    void pauseButtonClickedWithNothingPlayingIsReleasable();
    void seekWhilePlayingContinuesFromThere();
    void seekWhilePausedPlaysButKeepsTimerOff();
    void seekIgnoredWhenNothingPlays();
    void volumeWordsFollowTheSlider();
    void muteSliderUnmute();
    void menuMuteAndButtonMixed();
    void unplayableFileIsReportedAndNothingElsePlays();
    void trackEndsAndNextStartsWhileAboutBoxIsOpen();
    void trayHidesAndOnlyLeftPressBringsBack();
};

namespace {
QStringList Names(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QStringLiteral("t%1.wav").arg(i);
    return names;
}
} // namespace

void TestSequencer::formatTrackTimeCutsToWholeSeconds()
{
    QCOMPARE(FormatTrackTime(0), QStringLiteral("0:00"));
    QCOMPARE(FormatTrackTime(59999), QStringLiteral("0:59"));
    QCOMPARE(FormatTrackTime(205500), QStringLiteral("3:25"));
    QCOMPARE(FormatTrackTime(605000), QStringLiteral("10:05"));
    QCOMPARE(FormatTrackTime(3600000), QStringLiteral("60:00"));
}

void TestSequencer::playShowsNameLengthAndCaptions()
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

void TestSequencer::endOfTrackFollowsTheModes_data()
{
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("next"); // -1: playback ends
    QTest::newRow("off, middle entry: the next") << 0 << 1 << 2;
    QTest::newRow("off, last entry: ends") << 0 << 2 << -1;
    QTest::newRow("song, first entry: again") << 1 << 0 << 0;
    QTest::newRow("song, last entry: again") << 1 << 2 << 2;
    QTest::newRow("list, middle entry: the next") << 2 << 1 << 2;
    QTest::newRow("list, last entry: the first") << 2 << 2 << 0;
}

void TestSequencer::endOfTrackFollowsTheModes()
{
    QFETCH(int, repeat);
    QFETCH(int, start);
    QFETCH(int, next);
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("e"), Names(3), 2500));
    for (int i = 0; i < repeat; ++i)
        f->RepeatButtonClick();
    f->ListBox1->SetItemIndex(start);
    f->Play();
    h.Tick(2);
    QVERIFY(h.Playing());
    h.Tick(); // the position reaches the length at this tick
    QCOMPARE(h.Selected(), next < 0 ? start : next);
    if (next < 0) {
        QVERIFY(!f->Timer1->isActive());
        QVERIFY(!f->TrackBar2->SliderVisible());
        QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpStopped);
        QVERIFY(f->MediaPlayer1->IsOpen());
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - t%1.wav").arg(start));
    } else {
        QVERIFY(h.Playing());
        QVERIFY(f->Timer1->isActive());
        QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - t%1.wav").arg(next));
        QCOMPARE(f->MediaPlayer1->Position(), 0u);
    }
    QCOMPARE(f->Label2->text(), QStringLiteral("0:00"));
}

void TestSequencer::shuffleAtEndOfTrackFollowsTheRepeatMode()
{
    // Each track ends at the first tick; the advance chooses the next entry.
    const int n = 5;
    for (int repeat : {0, 1, 2}) {
        PlayerHarness h;
        TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("s"), Names(n), 500));
        f->shuffleClick();
        for (int i = 0; i < repeat; ++i)
            f->RepeatButtonClick();
        f->Random.seed(std::uint32_t(4711 + repeat));

        // With repeat off, the last entry ending ends playback, shuffle or not.
        f->ListBox1->SetItemIndex(n - 1);
        f->Play();
        h.Tick();
        QCOMPARE(h.Playing(), repeat != 0);
        QCOMPARE(f->Timer1->isActive(), repeat != 0);

        const int picks = repeat == 1 ? 20 : 250;
        int counts[n] = {};
        int successors = 0; // picks that are the entry after the finished one, as in order
        f->ListBox1->SetItemIndex(1);
        f->Play();
        for (int k = 0; k < picks; ++k) {
            if (repeat == 0 && h.Selected() == n - 1) { // its end would end playback: go on from the first
                f->ListBox1->SetItemIndex(0);
                f->Play();
            }
            const int finished = h.Selected();
            h.Tick();
            QVERIFY(h.Playing());
            QCOMPARE(f->MediaPlayer1->Position(), 0u);
            const int pick = h.Selected();
            QVERIFY(pick >= 0 && pick < n);
            if (repeat == 1)
                QCOMPARE(pick, finished); // repeat the song wins over shuffle
            ++counts[pick];
            successors += pick == (finished + 1) % n;
        }
        if (repeat == 1)
            continue;
        // A uniform pick is the successor one time in five; in order it always is.
        QVERIFY2(successors < picks / 2, qPrintable(QStringLiteral("%1 of %2").arg(successors).arg(picks)));
        // Chi-square with 4 degrees of freedom; 28.5 is its 0.001% point.
        double chi = 0;
        for (int c : counts)
            chi += (c - double(picks) / n) * (c - double(picks) / n) / (double(picks) / n);
        QVERIFY2(chi < 28.5, qPrintable(QStringLiteral("chi-square %1").arg(chi)));
    }
}

void TestSequencer::shortTrackAfterLongOneStartsFromItsBeginning()
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

void TestSequencer::lastEntryEndingLeavesPlayerFinished()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("l"), Names(1), 1200));
    f->shuffleClick(); // shuffle with a single entry and repeat off: it plays once
    f->Play();
    h.Tick(2);
    QVERIFY(!f->Timer1->isActive());
    QCOMPARE(f->MediaPlayer1->Position(), f->MediaPlayer1->Length());
    h.Tick(3);
    QCOMPARE(f->Label2->text(), QStringLiteral("0:00"));
    QVERIFY(!h.Playing());
}

void TestSequencer::repeatListWithOneEntryPlaysItAgain()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("r"), Names(1), 1200));
    f->RepeatButtonClick();
    f->RepeatButtonClick();
    QCOMPARE(RepeatMode, std::uint8_t(2));
    f->Play();
    for (int round = 0; round < 3; ++round) {
        h.Tick(2);
        QVERIFY(h.Playing());
        QCOMPARE(f->MediaPlayer1->Position(), 0u);
    }
}

void TestSequencer::folderChangedToEmptyDuringPlaybackEndsQuietly()
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

void TestSequencer::clockRollsOverMinutesAndPastAnHour()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("c"), Names(1), 3000));
    f->Play();
    ElapsedMinutes = 0;
    ElapsedSeconds = 58;
    f->Timer1Timer();
    QCOMPARE(f->Label2->text(), QStringLiteral("0:59"));
    f->Timer1Timer();
    QCOMPARE(f->Label2->text(), QStringLiteral("1:00"));
    f->Timer1Timer();
    QCOMPARE(f->Label2->text(), QStringLiteral("1:01"));
    ElapsedMinutes = 59;
    ElapsedSeconds = 59;
    f->Timer1Timer();
    QCOMPARE(f->Label2->text(), QStringLiteral("60:00"));
}

void TestSequencer::seekBarStopsAtItsMaximum()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("m"), Names(1), 2500));
    f->Play();
    f->MediaPlayer1->PauseOnly(); // the device lags: no end is reported
    for (int i = 0; i < 5; ++i)
        f->Timer1Timer();
    QCOMPARE(f->TrackBar2->value(), 2500);
    QVERIFY(f->Timer1->isActive());
}

void TestSequencer::pauseThenStopThenPlayStartsFromTheBeginning()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("p"), Names(2), 3000));
    f->Play();
    h.Tick();
    f->SpeedButton6Click();
    QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPaused);
    QVERIFY(!f->Timer1->isActive());
    QVERIFY(f->SpeedButton6->Down() && !f->SpeedButton6->AllowAllUp());
    media::ManualClock::Advance(1000); // a paused device does not move
    QCOMPARE(f->MediaPlayer1->Position(), 1000u);
    f->SpeedButton6->UserClick(); // a latched switch stays down under the click, then resumes
    QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPlaying);
    QVERIFY(f->Timer1->isActive());
    QVERIFY(!f->SpeedButton6->Down());
    f->N9Click();
    f->SpeedButton2Click();
    QVERIFY(!f->MediaPlayer1->IsOpen());
    QVERIFY(!f->SpeedButton6->Down());
    QCOMPARE(f->Label2->text(), QStringLiteral("0:00"));
    QVERIFY(!f->TrackBar2->SliderVisible());
    QCOMPARE(f->windowTitle(), QStringLiteral("ZOLM Player - t0.wav"));
    f->SpeedButton5Click();
    QVERIFY(h.Playing());
    QCOMPARE(f->MediaPlayer1->Position(), 0u);
}

// The output goes away mid-track and does not come back: the window stands as after the
// pause button and says so once; a resume with no output answering says so again and stays
// paused; once one answers, the track goes on from where the sound stopped.
void TestSequencer::soundOutputGoneLeavesThePlayerPaused()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("g"), Names(2), 9000));
    f->Play();
    h.Tick(2);
    media::ManualClock::SetOutputAvailable(false);
    media::ManualClock::LoseOutput();
    h.Tick(3); // still looking for it: the clock runs on, the position holds
    QVERIFY(h.Playing());
    QCOMPARE(f->MediaPlayer1->Position(), 2000u);
    QVERIFY(h.dialogs.messages.isEmpty());
    h.Tick(3);
    QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPaused);
    QVERIFY(!f->Timer1->isActive());
    QVERIFY(f->SpeedButton6->Down() && !f->SpeedButton6->AllowAllUp());
    QCOMPARE(f->Label2->text(), QStringLiteral("0:05"));
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
    QCOMPARE(h.dialogs.messages.size(), 2);
}

void TestSequencer::previousAndNextNeverWrap()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("n"), Names(3), 1500));
    f->RepeatButtonClick();
    f->RepeatButtonClick(); // repeat list changes nothing for previous and next
    f->SpeedButton1Click();
    QCOMPARE(h.Selected(), 0);
    QVERIFY(h.Playing()); // the first entry restarts
    f->SpeedButton3Click();
    f->SpeedButton3Click();
    QCOMPARE(h.Selected(), 2);
    h.Tick();
    f->SpeedButton3Click();
    QCOMPARE(h.Selected(), 2);
    QCOMPARE(f->MediaPlayer1->Position(), 0u); // the last entry restarts
    f->N8Click();
    QCOMPARE(h.Selected(), 1);
    // With shuffle on, the ends still restart without a random pick.
    f->shuffleClick();
    f->ListBox1->SetItemIndex(0);
    f->SpeedButton1Click();
    QCOMPARE(h.Selected(), 0);
    f->ListBox1->SetItemIndex(2);
    f->SpeedButton3Click();
    QCOMPARE(h.Selected(), 2);
    // Nothing selected: next takes entry 0, previous only plays what is selected.
    f->shuffleClick();
    f->ListBox1->SetItemIndex(-1);
    f->SpeedButton1Click();
    QCOMPARE(h.Selected(), -1);
    f->SpeedButton3Click();
    QCOMPARE(h.Selected(), 0);
}

void TestSequencer::shufflePicksSpreadEvenlyOverTheEntries()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("u"), Names(5), 200));
    f->N11Click();
    f->Random.seed(20261207);
    const int trials = 2000;
    int counts[5] = {};
    for (int i = 0; i < trials; ++i) {
        f->ListBox1->SetItemIndex(2);
        f->SpeedButton3Click();
        QVERIFY(h.Selected() >= 0 && h.Selected() < 5);
        ++counts[h.Selected()];
    }
    // Chi-square with 4 degrees of freedom; 18.47 is the 0.1% point.
    double chi = 0;
    for (int c : counts)
        chi += (c - trials / 5.0) * (c - trials / 5.0) / (trials / 5.0);
    QVERIFY2(chi < 18.47, qPrintable(QStringLiteral("chi-square %1").arg(chi)));
    QVERIFY(counts[2] > 0); // the entry itself can come again, and then restarts
    // Previous draws the same pick; in order it would always be entry 1.
    int notPrevious = 0;
    for (int i = 0; i < 100; ++i) {
        f->ListBox1->SetItemIndex(2);
        f->SpeedButton1Click();
        notPrevious += h.Selected() != 1;
    }
    QVERIFY2(notPrevious > 50, qPrintable(QString::number(notPrevious)));
}

void TestSequencer::repeatCyclesFromButtonAndMenu()
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

void TestSequencer::shuffleMarkFollowsTheMenuOnly()
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

void TestSequencer::pauseButtonClickedWithNothingPlayingIsReleasable()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("z"), Names(1), 1500));
    f->SpeedButton6->UserClick();
    QVERIFY(f->SpeedButton6->Down() && f->SpeedButton6->AllowAllUp());
    QVERIFY(!f->MediaPlayer1->IsOpen());
    f->SpeedButton6->UserClick();
    QVERIFY(!f->SpeedButton6->Down());
    f->N9Click(); // the menu changes nothing at all
    QVERIFY(!f->SpeedButton6->Down());
    // Pressed but releasable, then Play: the switch comes up.
    f->SpeedButton6->UserClick();
    f->Play();
    QVERIFY(!f->SpeedButton6->Down());
    // Play on another entry while paused: the switch comes up, the entry starts from its beginning.
    h.Tick();
    f->SpeedButton6Click();
    f->Play();
    QVERIFY(!f->SpeedButton6->Down());
    QVERIFY(h.Playing());
    QCOMPARE(f->MediaPlayer1->Position(), 0u);
}

void TestSequencer::seekWhilePlayingContinuesFromThere()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("k"), Names(1), 125500));
    f->Play();
    h.Tick();
    f->TrackBar2->setValue(90000); // a drag by the user
    QCOMPARE(f->MediaPlayer1->StartPos(), 90000);
    QCOMPARE(ElapsedMinutes, 1);
    QCOMPARE(ElapsedSeconds, 30);
    QVERIFY(qAbs(qint64(f->MediaPlayer1->Position()) - 90000) <= 50);
    QCOMPARE(f->Label2->text(), QStringLiteral("0:01")); // unchanged until the next tick
    h.Tick();
    QCOMPARE(f->Label2->text(), QStringLiteral("1:31"));
    QCOMPARE(f->TrackBar2->value(), 91000);
    f->TrackBar2->setValue(125000);
    QCOMPARE(ElapsedMinutes, 2);
    QCOMPARE(ElapsedSeconds, 5);
    f->TrackBar2->setValue(0); // Home
    QCOMPARE(ElapsedMinutes, 0);
    QCOMPARE(ElapsedSeconds, 0);
    QVERIFY(f->MediaPlayer1->Position() <= 50);
}

void TestSequencer::seekWhilePausedPlaysButKeepsTimerOff()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("q"), Names(1), 5000));
    f->Play();
    h.Tick();
    f->SpeedButton6Click();
    f->TrackBar2->setValue(3000);
    QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPlaying);
    QVERIFY(!f->Timer1->isActive());
    QVERIFY(f->SpeedButton6->Down());
    f->SpeedButton6Click(); // pauses the playing device
    QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPaused);
    f->SpeedButton6Click(); // resumes, timer on again
    QCOMPARE(f->MediaPlayer1->Mode(), TMPModes::mpPlaying);
    QVERIFY(f->Timer1->isActive());
}

void TestSequencer::seekIgnoredWhenNothingPlays()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("i"), Names(1), 5000));
    f->Play();
    f->SpeedButton2Click();
    ElapsedMinutes = 7;
    f->TrackBar2->setValue(4000);
    QCOMPARE(f->MediaPlayer1->StartPos(), 0);
    QCOMPARE(ElapsedMinutes, 7);
    QVERIFY(!f->MediaPlayer1->IsOpen());
}

void TestSequencer::volumeWordsFollowTheSlider()
{
    PlayerHarness h;
    TForm1 *f = h.Start();
    const std::pair<int, std::uint32_t> table[] = {
        {0, 0xFDE8FDE8u}, {7, 0xA50AA50Au}, {10, 0x7EF47EF4u}, {19, 0x0CB20CB2u}, {20, 0u}};
    for (const auto &[position, word] : table) {
        f->TrackBar1->setValue(position == 0 ? 1 : 0);
        h.volumeWords.clear();
        f->TrackBar1->setValue(position);
        QCOMPARE(h.volumeWords, std::vector<std::uint32_t>{word});
        QCOMPARE(CurrentVolume, word);
        QCOMPARE(media::WaveOutVolume(), word);
    }
    QVERIFY(!f->MuteButton->Down()); // the bottom is silent, yet sound is "on"
}

void TestSequencer::muteSliderUnmute()
{
    PlayerHarness h;
    TForm1 *f = h.Start(h.MakeFolder(QStringLiteral("v"), Names(1), 1000));
    h.volumeWords.clear();
    f->MuteButton->UserClick();
    QCOMPARE(h.volumeWords, std::vector<std::uint32_t>{0u});
    QVERIFY(f->MuteButton->Down() && !f->MuteButton->AllowAllUp());
    QCOMPARE(f->MuteButton->NumGlyphs(), 2);
    f->MuteButton->UserClick(); // unmute: the level from before
    QCOMPARE(h.volumeWords.back(), 0xA50AA50Au);
    QCOMPARE(f->MuteButton->NumGlyphs(), 1);
    f->MuteButtonClick();
    f->TrackBar1->setValue(12); // moving the slider ends muting at the new level
    QCOMPARE(h.volumeWords.back(), 0x65906590u);
    QVERIFY(!f->MuteButton->Down());
    QCOMPARE(f->MuteButton->NumGlyphs(), 1);
    QVERIFY(!f->N14->isChecked());
    // A notification that leaves the position unchanged sends the word again and ends muting.
    f->MuteButtonClick();
    h.volumeWords.clear();
    emit f->TrackBar1->Change();
    QCOMPARE(h.volumeWords, std::vector<std::uint32_t>{0x65906590u});
    QVERIFY(!f->MuteButton->Down());
}

void TestSequencer::menuMuteAndButtonMixed()
{
    PlayerHarness h;
    TForm1 *f = h.Start(); // an empty list: nothing was sent, CurrentVolume is 0
    f->N14->trigger();
    QVERIFY(f->MuteButton->Down());
    QVERIFY(f->N14->isChecked());
    f->MuteButton->UserClick();
    QVERIFY(!f->MuteButton->Down());
    QVERIFY(f->N14->isChecked()); // the button leaves the mark alone
    QCOMPARE(h.volumeWords, (std::vector<std::uint32_t>{0u, 0u})); // unmuting sends CurrentVolume, still 0
    f->N14->trigger();
    QVERIFY(f->MuteButton->Down());
    QVERIFY(!f->N14->isChecked());
}

void TestSequencer::unplayableFileIsReportedAndNothingElsePlays()
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

void TestSequencer::trackEndsAndNextStartsWhileAboutBoxIsOpen()
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

void TestSequencer::trayHidesAndOnlyLeftPressBringsBack()
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

QTEST_MAIN(TestSequencer)
#include "test_sequencer.moc"
