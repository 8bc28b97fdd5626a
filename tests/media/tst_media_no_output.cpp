// No usable audio output at all: opening a file fails with a clear message, and the
// back end does not fall back to playing into silence.
#include "tests/media/PlayHelpers.h"

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
        const QByteArray wav = Write(dir, "a.wav", WavBytes(44100, 2, Tone(44100, 2, 4410, 440, 8000)));
        TMediaPlayer mp;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const QString refused = TryOpen(mp, wav);
            QVERIFY2(refused.startsWith("No audio output device can be opened"), qPrintable("opened, or: " + refused));
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
