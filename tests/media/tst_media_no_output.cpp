// No usable audio output at all: opening a file fails with a clear message, and the
// back end does not fall back to playing into silence.
#include "OpenNow.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"
#include "tests/media/MediaFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

class MediaNoOutputTest : public QObject {
    Q_OBJECT
private slots:
    void openFailsClearlyWithoutAnOutput()
    {
        qputenv("SDL_AUDIODRIVER", "no-such-driver"); // before SDL is touched in this process
        qputenv("PULSE_SERVER", "unix:/nonexistent/zolm-test"); // nor any sound server
        qputenv("PIPEWIRE_REMOTE", "/nonexistent/zolm-test");
        QTemporaryDir dir;
        const QString wav = dir.filePath("a.wav");
        QVERIFY(WriteBytes(QFile::encodeName(wav), WavBytes(44100, 2, Tone(44100, 2, 4410, 440, 8000))));
        TMediaPlayer mp;
        mp.FileName = QFile::encodeName(wav);
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                OpenNow(mp);
                QFAIL("opened without an output");
            } catch (const EMCIDeviceError &e) {
                QVERIFY2(e.Message().startsWith("No audio output device can be opened"), qPrintable(e.Message()));
            }
            QVERIFY(!mp.IsOpen());
        }
        // The manual clock needs no output, so tests of the player still work here.
        media::ManualClock::Install();
        OpenNow(mp);
        QVERIFY(mp.IsOpen());
        media::ManualClock::Uninstall();
    }
};

QTEST_GUILESS_MAIN(MediaNoOutputTest)
#include "tst_media_no_output.moc"
