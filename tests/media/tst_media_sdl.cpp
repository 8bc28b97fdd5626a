// The real output: SDL2 with its dummy driver, which consumes audio at real-time pace.
#include "media/MPlayer.h"
#include "tests/media/MediaFixtures.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

class MediaSdlTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QCOMPARE(qgetenv("SDL_AUDIODRIVER"), QByteArray("dummy"));
    }

    void positionFollowsWallClockForTwoSeconds()
    {
        const QString wav = dir_.filePath("four.wav");
        QVERIFY(fx::WriteWav(wav, 44100, 2, fx::Tone(44100, 2, 4 * 44100, 440, 8000)));
        QVERIFY(fx::Lame(wav, dir_.filePath("four.mp3"), {"-V", "4"}));
        TMediaPlayer mp;
        mp.FileName = QFile::encodeName(dir_.filePath("four.mp3"));
        mp.Open();
        QElapsedTimer clock;
        mp.Play();
        clock.start();
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        // The first reading shows how late the output started (at most a buffer or two);
        // from then on position and wall clock must move together.
        qint64 offset = 0;
        int worst = 0;
        bool first = true;
        while (clock.elapsed() < 2000) {
            QTest::qWait(100);
            const qint64 before = clock.elapsed();
            const qint64 pos = mp.Position();
            const qint64 wall = (before + clock.elapsed()) / 2;
            if (first) {
                offset = wall - pos;
                QVERIFY2(offset >= -10 && offset <= 50, qPrintable(QStringLiteral("started %1 ms late").arg(offset)));
                first = false;
            }
            worst = std::max(worst, int(std::llabs(pos + offset - wall)));
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
        const QString wav = dir_.filePath("short.wav");
        QVERIFY(fx::WriteWav(wav, 22050, 1, fx::Tone(22050, 1, 6615, 440, 8000)));
        TMediaPlayer mp;
        int notices = 0;
        mp.OnNotify = [&](TMediaPlayer *) { ++notices; };
        mp.FileName = QFile::encodeName(wav);
        mp.Open();
        QCOMPARE(mp.Length(), 300u);
        mp.Play();
        QTRY_COMPARE_WITH_TIMEOUT(notices, 1, 3000);
        QCOMPARE(mp.NotifyResult(), TMPNotifyValues::nvSuccessful);
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        QCOMPARE(mp.Position(), mp.Length());
        mp.Play(); // AutoRewind: from the start again
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        QVERIFY(mp.Position() < 50);
        mp.Close();
        QCoreApplication::processEvents();
        QCOMPARE(notices, 1);
    }
};

QTEST_GUILESS_MAIN(MediaSdlTest)
#include "tst_media_sdl.moc"
