// The real output: SDL2 with its dummy driver, which consumes audio at real-time pace.
#include "media/Decoder.h"
#include "media/Device.h"
#include "tests/media/PlayHelpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <SDL.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace {
const QString kTasks = QStringLiteral("/proc/self/task");

QStringList OtherThreads()
{
    QStringList tids = QDir(kTasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    tids.removeAll(QString::number(::getpid()));
    return tids;
}

// The thread id of SDL's audio thread, empty when none runs.
QString SdlAudioThread()
{
    for (const QString &tid : OtherThreads()) {
        QFile comm(kTasks + '/' + tid + "/comm");
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("SDLAudio"))
            return tid;
    }
    return {};
}

// Every thread but the main one: how many times it has been switched in and out so far.
long OtherThreadSwitches()
{
    long total = 0;
    for (const QString &tid : OtherThreads()) {
        std::ifstream in((kTasks + '/' + tid + "/status").toStdString());
        for (std::string line; std::getline(in, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                total += std::stol(line.substr(line.find(':') + 1));
    }
    return total;
}

// How often other threads woke during `ms` of the main thread sleeping (no event loop), once
// the decoder's last wake after a pause is past.
long SwitchesWhileAsleep(int ms)
{
    QTest::qWait(200);
    const long before = OtherThreadSwitches();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return OtherThreadSwitches() - before;
}
} // namespace

class MediaSdlTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QByteArray ToneWav(const char *name, int rate, int channels, int frames)
    {
        return Write(dir_, name, WavBytes(rate, channels, Tone(rate, channels, frames, 440, 8000)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QCOMPARE(qgetenv("SDL_AUDIODRIVER"), QByteArray("dummy"));
    }

    void positionFollowsWallClockForTwoSeconds()
    {
        QVERIFY(fx::Lame(QFile::decodeName(ToneWav("four.wav", 44100, 2, 4 * 44100)), dir_.filePath("four.mp3"), {"-V", "4"}));
        TMediaPlayer mp;
        OpenFile(mp, PathIn(dir_, "four.mp3"));
        QElapsedTimer clock;
        mp.Play();
        clock.start();
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        // The first reading shows how late the output started (at most a buffer or two);
        // from then on position and wall clock must move together.
        std::optional<qint64> offset;
        int worst = 0;
        while (clock.elapsed() < 2000) {
            QTest::qWait(100);
            const qint64 before = clock.elapsed();
            const qint64 pos = mp.Position();
            const qint64 wall = (before + clock.elapsed()) / 2;
            if (!offset) {
                offset = wall - pos;
                QVERIFY2(*offset >= -10 && *offset <= 100, qPrintable(QStringLiteral("started %1 ms late").arg(*offset)));
            }
            worst = std::max(worst, int(std::llabs(pos + *offset - wall)));
        }
        QVERIFY2(worst <= 50, qPrintable(QStringLiteral("position strayed %1 ms from the wall clock").arg(worst)));

        mp.Pause();
        QCOMPARE(mp.Mode(), TMPModes::mpPaused);
        const std::uint32_t held = mp.Position();
        QTest::qWait(300);
        QCOMPARE(mp.Position(), held);
        mp.Resume();
        QTest::qWait(200);
        QVERIFY(mp.Position() > held + 100 && mp.Position() < held + 300);
    }

    void shortFileEndsStoppedAtLengthWithSuccessfulNotice()
    {
        CountingPlayer mp;
        QCOMPARE(OpenFile(mp, ToneWav("short.wav", 22050, 1, 6615)).Length(), 300u);
        mp.Play();
        QTRY_COMPARE_WITH_TIMEOUT(mp.notices, 1, 3000);
        QCOMPARE(mp.NotifyResult(), TMPNotifyValues::nvSuccessful);
        VERIFY_AT_END(mp);
        mp.Play(); // AutoRewind: from the start again
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        QVERIFY(mp.Position() < 50);
        mp.Close();
        QCoreApplication::processEvents();
        QCOMPARE(mp.notices, 1);
    }

    // A held device must cost nothing: no SDL thread, no decoder waking, and playback
    // taken up again from exactly where it stood.
    void heldDeviceReleasesTheOutputAndResumesWhereItStood()
    {
        TMediaPlayer mp;
        OpenFile(mp, ToneWav("held.wav", 44100, 2, 3 * 44100));
        QCOMPARE(media::OpenOutputs(), 1); // kept for the play that follows
        mp.Play();
        QCOMPARE(media::OpenOutputs(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!SdlAudioThread().isEmpty(), 1000); // it names itself once started
        QTest::qWait(400);
        mp.Pause();
        const std::uint32_t held = mp.Position();
        QVERIFY2(held >= 300 && held <= 500, qPrintable(QString::number(held)));
        QCOMPARE(media::OpenOutputs(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(SdlAudioThread().isEmpty(), 1000);
        const long switches = SwitchesWhileAsleep(1000);
        QVERIFY2(switches == 0, qPrintable(QStringLiteral("other threads woke %1 times while paused").arg(switches)));
        QCOMPARE(mp.Position(), held);

        QElapsedTimer clock;
        mp.Resume();
        clock.start();
        QCOMPARE(mp.LastError(), media::kOk);
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        QVERIFY(mp.Position() - held <= 1); // no jump on the way back
        QTest::qWait(400);
        const qint64 before = clock.elapsed();
        const qint64 moved = qint64(mp.Position()) - held;
        const qint64 wall = (before + clock.elapsed()) / 2;
        // The dummy driver's thread falls behind on a loaded machine, never ahead of the wall.
        QVERIFY2(moved >= wall * 3 / 4 && moved <= wall + 50, qPrintable(QStringLiteral("moved %1 ms in %2 ms").arg(moved).arg(wall)));

        // A play right after a stop takes back the output it released (the same SDL
        // thread goes on); stopped at the end with the file still open holds nothing either.
        const QString output = SdlAudioThread();
        QVERIFY(!output.isEmpty());
        mp.Stop();
        mp.setStartPos(int(mp.Length()) - 200);
        mp.Play();
        QCOMPARE(SdlAudioThread(), output);
        QCOMPARE(media::OpenOutputs(), 1);
        TRY_AT_END(mp, 2000);
        QCOMPARE(media::OpenOutputs(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(SdlAudioThread().isEmpty(), 1000);
        QCOMPARE(SwitchesWhileAsleep(500), 0L);
        QCOMPARE(mp.Position(), mp.Length());
    }

    void refusedReopenKeepsThePauseAndItsPosition()
    {
        TMediaPlayer mp;
        OpenFile(mp, ToneWav("refused.wav", 44100, 2, 2 * 44100)).Play();
        QTest::qWait(200);
        mp.Pause();
        const std::uint32_t held = mp.Position();
        // The output goes away while paused: nothing is open that would go with it.
        QCOMPARE(media::OpenOutputs(), 0); // also waits for the release of the paused output
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        // Checked only once the output is back, so that a failure leaves the next test an output.
        mp.Resume(); // falls back to Play, which is refused the same way
        const int resumeError = mp.LastError();
        const QString resumeText = mp.ErrorText();
        const TMPModes resumeMode = mp.Mode();
        const std::uint32_t resumePos = mp.Position();
        mp.Play();
        const int playError = mp.LastError();
        const TMPModes playMode = mp.Mode();
        QCOMPARE(SDL_InitSubSystem(SDL_INIT_AUDIO), 0);
        QCOMPARE(resumeError, int(media::kErrNoOutput));
        QVERIFY2(resumeText.startsWith("No audio output device can be opened"), qPrintable(resumeText));
        QCOMPARE(resumeMode, TMPModes::mpPaused);
        QCOMPARE(resumePos, held);
        QCOMPARE(playError, int(media::kErrNoOutput));
        QCOMPARE(playMode, TMPModes::mpPaused);
        QCOMPARE(media::OpenOutputs(), 0);
        mp.Resume();
        QCOMPARE(mp.LastError(), media::kOk);
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        QTest::qWait(200);
        QVERIFY(mp.Position() > held + 100 && mp.Position() < held + 300);
    }
};

QTEST_GUILESS_MAIN(MediaSdlTest)
#include "tst_media_sdl.moc"
