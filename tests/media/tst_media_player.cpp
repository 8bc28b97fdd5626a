// TMediaPlayer over the manual clock: lengths, positions, the end of a file, the gain,
// and the command semantics the player relies on.
#include "media/Decoder.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"
#include "media/Volume.h"
#include "tests/media/MediaFixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <dirent.h>
#include <unistd.h>

using media::ManualClock;

namespace {
int OpenFdCount()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}
} // namespace

class MediaPlayerTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QByteArray wav_; // 2.5 s, 44.1 kHz stereo tone

    QByteArray Path(const QString &name) const { return QFile::encodeName(dir_.filePath(name)); }
    void OpenFile(TMediaPlayer &mp, const QByteArray &path)
    {
        mp.FileName = path;
        mp.Open();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        ManualClock::Install();
        wav_ = Path("tone.wav");
        QVERIFY(fx::WriteWav(wav_, 44100, 2, fx::Tone(44100, 2, 110250, 440, 8000)));
    }
    void cleanup() { media::WaveOutSetVolume(0xFFFFFFFFu); }

    void mp3LengthWithinOneFrameOfDecodedLength_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("vbr");
        QTest::addColumn<bool>("header");
        for (int rate : {22050, 44100, 48000})
            for (int channels : {1, 2})
                for (bool vbr : {false, true})
                    for (bool header : {false, true})
                        QTest::addRow("%d/%s/%s/%s", rate, channels == 1 ? "mono" : "stereo", vbr ? "vbr" : "cbr",
                                      header ? "tag" : "notag")
                            << rate << channels << vbr << header;
    }
    void mp3LengthWithinOneFrameOfDecodedLength()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(bool, vbr);
        QFETCH(bool, header);
        // Quiet tone, then loud noise: a VBR encoder gives these very different bitrates,
        // which is what makes a length guessed from the first frame wrong.
        std::vector<std::int16_t> s = fx::Tone(rate, channels, rate, 330, 300);
        std::uint32_t x = 12345;
        for (int i = 0; i < 2 * rate * channels; ++i) {
            x = x * 1103515245u + 12345u;
            s.push_back(static_cast<std::int16_t>((x >> 16) % 40000) - 20000);
        }
        const QString base = QStringLiteral("len_%1_%2_%3_%4").arg(rate).arg(channels).arg(vbr).arg(header);
        QVERIFY(fx::WriteWav(dir_.filePath(base + ".wav"), rate, channels, s));
        QStringList opts{"--resample", QString::number(rate / 1000.0), "-m", channels == 1 ? "m" : "j"};
        opts << (vbr ? QStringList{"-V", "4"} : QStringList{"-b", "64"});
        if (!header)
            opts << "-t";
        QVERIFY(fx::Lame(dir_.filePath(base + ".wav"), dir_.filePath(base + ".mp3"), opts));

        long decodedRate = 0;
        int decodedChannels = 0;
        const auto pcm = fx::BareDecode(Path(base + ".mp3"), &decodedRate, &decodedChannels);
        QCOMPARE(decodedRate, long(rate));
        const double decodedMs = 1000.0 * double(pcm.size() / decodedChannels) / rate;
        const double frameMs = 1000.0 * (rate >= 32000 ? 1152 : 576) / rate;

        TMediaPlayer mp;
        OpenFile(mp, Path(base + ".mp3"));
        QVERIFY2(std::abs(mp.Length() - decodedMs) <= frameMs,
                 qPrintable(QStringLiteral("length %1 decoded %2").arg(mp.Length()).arg(decodedMs)));
        QCOMPARE(mp.TrackLength(1), mp.Length());
    }

    void wavLengthExactToTheMillisecond_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("asFloat");
        QTest::newRow("8k mono") << 8000 << 1 << 12345 << false;
        QTest::newRow("22.05k stereo") << 22050 << 2 << 33333 << false;
        QTest::newRow("44.1k stereo") << 44100 << 2 << 44101 << false;
        QTest::newRow("48k 6ch") << 48000 << 6 << 47999 << false;
        QTest::newRow("44.1k float") << 44100 << 2 << 65537 << true;
    }
    void wavLengthExactToTheMillisecond()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, frames);
        QFETCH(bool, asFloat);
        QString name = dir_.filePath(QStringLiteral("w%1_%2_%3.wav").arg(rate).arg(channels).arg(frames));
        QVERIFY(fx::WriteWav(name, rate, channels, fx::Tone(rate, channels, frames, 200, 5000)));
        if (asFloat) {
            const QString f = name + ".float.wav";
            QVERIFY(fx::Run("sox", {name, "-e", "floating-point", "-b", "32", f}));
            name = f;
        }
        TMediaPlayer mp;
        OpenFile(mp, QFile::encodeName(name));
        QCOMPARE(mp.Length(), std::uint32_t(std::llround(1000.0 * frames / rate)));
        mp.Play();
        for (int i = 0; i < 10 && mp.Mode() == TMPModes::mpPlaying; ++i)
            ManualClock::Advance(1000);
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        QCOMPARE(mp.Position(), mp.Length());
    }

    void positionFollowsAdvanceAndEndsExactlyAtLength()
    {
        TMediaPlayer mp;
        int notices = 0;
        mp.OnNotify = [&](TMediaPlayer *sender) {
            QCOMPARE(sender, &mp);
            ++notices;
        };
        OpenFile(mp, wav_);
        QCOMPARE(mp.Length(), 2500u);
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        mp.Play();
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        QCOMPARE(mp.Position(), 0u);
        ManualClock::Advance(1000);
        QCOMPARE(mp.Position(), 1000u);
        // The output's clock runs on without taking audio: the position stays with the
        // audio the output was given.
        ManualClock::Stall(500);
        QCOMPARE(mp.Position(), 1000u);
        ManualClock::Advance(1000);
        QCOMPARE(mp.Position(), 2000u);
        QCOMPARE(notices, 0);
        ManualClock::Advance(1000);
        QCOMPARE(mp.Position(), mp.Length());
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        QCOMPARE(notices, 1);
        QCOMPARE(mp.NotifyResult(), TMPNotifyValues::nvSuccessful);
        ManualClock::Advance(1000); // a stopped device stays where it is
        QCOMPARE(mp.Position(), mp.Length());
    }

    void playAtEndRewindsUnlessStartPosArmed()
    {
        TMediaPlayer mp;
        OpenFile(mp, wav_);
        mp.Play();
        ManualClock::Advance(3000);
        QCOMPARE(mp.Position(), mp.Length());
        mp.Play();
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        QCOMPARE(mp.Position(), 0u);
        ManualClock::Advance(3000);
        mp.setStartPos(int(mp.Length()) + 1); // refused, and no rewind before it either
        mp.Play();
        QCOMPARE(mp.LastError(), std::int32_t(media::kErrOutOfRange));
        QCOMPARE(mp.Position(), mp.Length());
        mp.setStartPos(1200);
        mp.Play();
        QCOMPARE(mp.Position(), 1200u);

        mp.Close();
        OpenFile(mp, wav_);
        mp.AutoRewind = false;
        mp.Play();
        ManualClock::Advance(3000);
        mp.Play(); // nothing left to play: it stays at the end
        ManualClock::Advance(100);
        QCOMPARE(mp.Position(), mp.Length());
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
    }

    void startPosIsConsumedByOnePlay()
    {
        TMediaPlayer mp;
        OpenFile(mp, wav_);
        mp.setStartPos(1000);
        QCOMPARE(mp.StartPos(), 1000);
        QVERIFY(mp.FromArmed);
        mp.Play();
        QVERIFY(!mp.FromArmed);
        QCOMPARE(mp.Position(), 1000u);
        ManualClock::Advance(500);
        mp.Stop();
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        QCOMPARE(mp.Position(), 1500u);
        mp.Play();
        QCOMPARE(mp.Position(), 1500u);
        QCOMPARE(mp.StartPos(), 1000);
        mp.setStartPos(9999); // beyond the end: refused, nothing moves
        mp.Play();
        QCOMPARE(mp.LastError(), std::int32_t(media::kErrOutOfRange));
        QCOMPARE(mp.Position(), 1500u);
    }

    void playAfterStartPosStartsWithinOneFrame()
    {
        // One second of silence, then a tone: where the tone starts tells where play began.
        const int rate = 44100;
        std::vector<std::int16_t> s(std::size_t(rate) * 2, 0);
        const auto tone = fx::Tone(rate, 2, 2 * rate, 1000, 12000);
        s.insert(s.end(), tone.begin(), tone.end());
        QVERIFY(fx::WriteWav(dir_.filePath("onset.wav"), rate, 2, s));
        QVERIFY(fx::Lame(dir_.filePath("onset.wav"), dir_.filePath("onset.mp3"), {"-V", "2"}));
        const auto onsetOf = [](const std::vector<std::int16_t> &pcm) {
            for (std::size_t i = 0; i < pcm.size(); ++i)
                if (std::abs(pcm[i]) > 3000)
                    return long(i / 2);
            return -1L;
        };
        const long onset = onsetOf(fx::BareDecode(Path("onset.mp3")));
        QVERIFY(onset > 0);

        for (int p : {300, 777, 950}) {
            TMediaPlayer mp;
            OpenFile(mp, Path("onset.mp3"));
            mp.setStartPos(p);
            mp.Play();
            QCOMPARE(mp.Position(), std::uint32_t(p));
            ManualClock::SetCapture(true);
            ManualClock::Advance(1000);
            const long got = onsetOf(ManualClock::TakeCaptured());
            ManualClock::SetCapture(false);
            const long expected = onset - long(p) * rate / 1000;
            QVERIFY2(std::abs(got - expected) <= 1152, qPrintable(QStringLiteral("p %1: onset %2, expected %3")
                                                                     .arg(p).arg(got).arg(expected)));
        }
    }

    void gainScalesEachChannelWithinOneLsb()
    {
        std::vector<std::int16_t> s;
        for (int i = 0; i < 4410; ++i) {
            s.push_back(static_cast<std::int16_t>(i * 13 % 65536 - 32768));
            s.push_back(static_cast<std::int16_t>(32767 - i * 7 % 65536));
        }
        QVERIFY(fx::WriteWav(dir_.filePath("ramp.wav"), 44100, 2, s));
        std::vector<std::int16_t> mono(s.begin(), s.begin() + 4410);
        QVERIFY(fx::WriteWav(dir_.filePath("mono.wav"), 44100, 1, mono));

        std::vector<std::uint32_t> seen;
        media::SetVolumeObserver([&](std::uint32_t w) { seen.push_back(w); });
        const std::uint32_t left = 42250, right = 20000;
        media::WaveOutSetVolume(left | (right << 16));
        media::SetVolumeObserver(nullptr);
        QCOMPARE(seen, std::vector<std::uint32_t>{left | (right << 16)});
        QCOMPARE(media::WaveOutVolume(), left | (right << 16));

        for (const char *name : {"ramp.wav", "mono.wav"}) {
            const bool isMono = std::strcmp(name, "mono.wav") == 0;
            TMediaPlayer mp;
            OpenFile(mp, Path(name));
            ManualClock::SetCapture(true);
            mp.Play();
            ManualClock::Advance(200);
            const auto out = ManualClock::TakeCaptured();
            ManualClock::SetCapture(false);
            QCOMPARE(out.size(), std::size_t(2 * 4410));
            for (std::size_t i = 0; i < 4410; ++i) {
                const double inL = isMono ? mono[i] : s[2 * i], inR = isMono ? mono[i] : s[2 * i + 1];
                QVERIFY(std::abs(out[2 * i] - inL * left / 65535.0) <= 1.0);
                QVERIFY(std::abs(out[2 * i + 1] - inR * right / 65535.0) <= 1.0);
            }
        }
    }

    void volumeWordAppliesToThePlayingDeviceAndZeroSilences()
    {
        TMediaPlayer mp;
        OpenFile(mp, wav_);
        mp.Play();
        ManualClock::SetCapture(true);
        ManualClock::Advance(100);
        auto out = ManualClock::TakeCaptured();
        QVERIFY(std::any_of(out.begin(), out.end(), [](std::int16_t v) { return v != 0; }));
        media::WaveOutSetVolume(0);
        ManualClock::Advance(100);
        out = ManualClock::TakeCaptured();
        ManualClock::SetCapture(false);
        QVERIFY(!out.empty());
        QVERIFY(std::all_of(out.begin(), out.end(), [](std::int16_t v) { return v == 0; }));
    }

    // A lost output holds the position and is looked for again: one back in time plays on
    // from there, else the device stands paused there and says so once.
    void lostOutputHoldsThenGoesOnOrPauses_data()
    {
        QTest::addColumn<int>("backAfterMs"); // -1: never
        QTest::newRow("back after 1 s") << 1000;
        QTest::newRow("gone for good") << -1;
    }
    void lostOutputHoldsThenGoesOnOrPauses()
    {
        QFETCH(int, backAfterMs);
        TMediaPlayer mp;
        int gone = 0;
        mp.OnOutputGone = [&](TMediaPlayer *) { ++gone; };
        OpenFile(mp, wav_);
        mp.Play();
        ManualClock::Advance(700);
        ManualClock::SetOutputAvailable(false);
        ManualClock::LoseOutput();
        for (int waited = 0; waited < 5000; waited += 250) {
            if (waited == backAfterMs)
                ManualClock::SetOutputAvailable(true);
            ManualClock::Advance(250);
            if (mp.Mode() != TMPModes::mpPlaying || mp.Position() != 700u)
                break;
        }
        ManualClock::SetOutputAvailable(true);
        QCOMPARE(gone, backAfterMs < 0 ? 1 : 0);
        QCOMPARE(mp.Mode(), backAfterMs < 0 ? TMPModes::mpPaused : TMPModes::mpPlaying);
        QCOMPARE(mp.Position(), backAfterMs < 0 ? 700u : 950u); // the retry, then 250 ms played
        if (backAfterMs < 0) {
            QCOMPARE(mp.NotifyResult(), TMPNotifyValues::nvAborted);
            mp.Resume();
            QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        }
        ManualClock::Advance(3000);
        QCOMPARE(mp.Position(), mp.Length());
        QCOMPARE(gone, backAfterMs < 0 ? 1 : 0);
    }

    void pauseFreezesPositionAndTogglesBack()
    {
        TMediaPlayer mp;
        OpenFile(mp, wav_);
        mp.Pause(); // stopped: nothing happens
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        mp.Play();
        ManualClock::Advance(300);
        mp.Pause();
        QCOMPARE(mp.Mode(), TMPModes::mpPaused);
        ManualClock::Advance(1000);
        QCOMPARE(mp.Position(), 300u);
        mp.Pause();
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        ManualClock::Advance(200);
        QCOMPARE(mp.Position(), 500u);
        mp.PauseOnly();
        mp.Resume();
        QCOMPARE(mp.LastError(), 0);
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
    }

    void resumeRefusedOnStoppedDeviceFallsBackToPlay()
    {
        TMediaPlayer mp;
        OpenFile(mp, wav_);
        mp.setStartPos(700);
        mp.Play();
        mp.Stop();
        mp.Resume();
        QCOMPARE(mp.LastError(), 0); // Play's result, not the refusal
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        QCOMPARE(mp.Position(), 700u);
        ManualClock::Advance(3000); // played out: stopped at the end
        mp.Resume(); // refused again; Play rewinds from the end
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        QCOMPARE(mp.Position(), 0u);
    }

    void withoutDeviceGuardedOperationsRaiseAndQueriesStayQuiet()
    {
        TMediaPlayer mp;
        const auto raises = [](const std::function<void()> &f) {
            try {
                f();
            } catch (const EMCIDeviceError &e) {
                return e.Message() == "No MCI device open";
            }
            return false;
        };
        QVERIFY(raises([&] { mp.Play(); }));
        QVERIFY(raises([&] { mp.Stop(); }));
        QVERIFY(raises([&] { mp.Pause(); }));
        QVERIFY(raises([&] { mp.PauseOnly(); }));
        QVERIFY(raises([&] { mp.Resume(); }));
        QVERIFY(raises([&] { mp.Rewind(); }));
        QVERIFY(raises([&] { mp.Length(); }));
        QVERIFY(raises([&] { mp.TrackLength(1); }));
        mp.Close(); // nothing to close: no effect
        QCOMPARE(mp.Mode(), TMPModes::mpNotReady);
        QVERIFY(mp.LastError() != 0);
        QCOMPARE(mp.Position(), 0u);
        mp.setStartPos(5);
        QCOMPARE(mp.StartPos(), 5);

        mp.FileName = Path("missing.mp3");
        QVERIFY_THROWS_EXCEPTION(EMCIDeviceError, mp.Open());
        QVERIFY(!mp.IsOpen());
        QCOMPARE(mp.DeviceId(), std::uint16_t(0));
        QVERIFY(raises([&] { mp.Play(); }));
    }

    void openSetsStepFramesPlayAcceptsTheEndAndCloseRecordsSuccess()
    {
        TMediaPlayer mp;
        QCOMPARE(mp.StepFrames(), 0);
        OpenFile(mp, wav_);
        QCOMPARE(mp.StepFrames(), 250); // a tenth of the length
        mp.setStartPos(-1);
        mp.Play(); // refused: the code stays until the next command records its own
        QCOMPARE(mp.LastError(), std::int32_t(media::kErrOutOfRange));
        mp.setStartPos(std::int32_t(mp.Length())); // the very end is still in range
        mp.Play();
        QCOMPARE(mp.LastError(), 0);
        QCOMPARE(mp.Position(), mp.Length());
        mp.setStartPos(std::int32_t(mp.Length()) + 1);
        mp.Play();
        QCOMPARE(mp.LastError(), std::int32_t(media::kErrOutOfRange));
        mp.Close();
        QCOMPARE(mp.LastError(), 0);
        QVERIFY(!mp.IsOpen());
    }

    void errorTextComesFromTheBackEndOrSaysUnknown()
    {
        TMediaPlayer mp;
        QCOMPARE(mp.ErrorText(), QString::fromUtf8(media::ErrorString(0)));
        QVERIFY(media::ErrorString(123456) == nullptr);
        QVERIFY(media::ErrorString(media::kErrNotPaused) != nullptr);
        mp.FileName = Path("missing.wav");
        try {
            mp.Open();
            QFAIL("opened a missing file");
        } catch (const EMCIDeviceError &e) {
            QCOMPARE(e.Message(), mp.ErrorText());
            QVERIFY(e.Message() != "Unknown error code");
        }
        mp.SetLastErrorForTest(123456);
        QCOMPARE(mp.ErrorText(), "Unknown error code");
    }

    void noticesReportSupersededAbortedAndOtherCodes()
    {
        TMediaPlayer mp;
        std::vector<TMPNotifyValues> got;
        mp.OnNotify = [&](TMediaPlayer *m) { got.push_back(m->NotifyResult()); };
        OpenFile(mp, wav_);
        QVERIFY(mp.IsOpen());
        QVERIFY(mp.CanPlay());
        QVERIFY(!mp.CanRecord() && !mp.CanEject() && !mp.CanStep() && !mp.HasVideo());
        mp.Play();
        mp.setStartPos(100);
        mp.Play();
        mp.Stop();
        QCoreApplication::processEvents();
        QCOMPARE(got, (std::vector<TMPNotifyValues>{TMPNotifyValues::nvSuperseded, TMPNotifyValues::nvAborted}));
        got.clear();
        mp.HandleNotify(8);
        mp.HandleNotify(99); // unknown: result kept, event still raised
        QCOMPARE(got, (std::vector<TMPNotifyValues>{TMPNotifyValues::nvFailed, TMPNotifyValues::nvFailed}));
        got.clear();
        mp.Play();
        mp.Play(); // already playing: the first command is superseded
        QCoreApplication::processEvents();
        QCOMPARE(got, std::vector<TMPNotifyValues>{TMPNotifyValues::nvSuperseded});
    }

    void openWhileOpenClosesOldDeviceAndDropsItsNotices()
    {
        TMediaPlayer mp;
        int notices = 0;
        mp.OnNotify = [&](TMediaPlayer *) { ++notices; };
        OpenFile(mp, wav_);
        const auto first = mp.DeviceId();
        mp.Play();
        ManualClock::Advance(500);
        mp.Stop(); // queues an Aborted notice for this device
        OpenFile(mp, wav_);
        QVERIFY(mp.DeviceId() != first);
        QCoreApplication::processEvents();
        QCOMPARE(notices, 0);
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        QCOMPARE(mp.Position(), 0u);
    }

    void manyOpenCloseCyclesLeakNoFiles()
    {
        const int before = OpenFdCount();
        TMediaPlayer mp;
        for (int i = 0; i < 200; ++i) {
            OpenFile(mp, wav_);
            mp.Play();
            ManualClock::Advance(i % 3 == 0 ? 3000 : 40);
            if (i % 2)
                mp.Close();
        }
        mp.Close();
        QCOMPARE(OpenFdCount(), before);
    }

    void fileDeletedWhilePlayingGoesOn()
    {
        const QString name = dir_.filePath("deleted.wav");
        QVERIFY(QFile::copy(QFile::decodeName(wav_), name));
        TMediaPlayer mp;
        OpenFile(mp, QFile::encodeName(name));
        mp.Play();
        ManualClock::Advance(500);
        QVERIFY(QFile::remove(name));
        ManualClock::Advance(1500);
        QCOMPARE(mp.Position(), 2000u);
        ManualClock::Advance(1000);
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        QCOMPARE(mp.Position(), mp.Length());
    }

    void fileTruncatedWhilePlayingEndsEarlyAtLength()
    {
        const QString name = dir_.filePath("long.wav");
        QVERIFY(fx::WriteWav(name, 44100, 2, fx::Tone(44100, 2, 44100 * 10, 440, 8000)));
        TMediaPlayer mp;
        int notices = 0;
        mp.OnNotify = [&](TMediaPlayer *) { ++notices; };
        OpenFile(mp, QFile::encodeName(name));
        QCOMPARE(mp.Length(), 10000u);
        mp.Play();
        ManualClock::Advance(500);
        QVERIFY(::truncate(QFile::encodeName(name).constData(), 44 + 44100 * 4) == 0);
        for (int i = 0; i < 4 && mp.Mode() == TMPModes::mpPlaying; ++i)
            ManualClock::Advance(1000);
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        QCOMPARE(mp.Position(), mp.Length());
        QCOMPARE(notices, 1);
    }
};

QTEST_GUILESS_MAIN(MediaPlayerTest)
#include "tst_media_player.moc"
