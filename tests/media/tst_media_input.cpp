// Bad and odd input: every file either opens and plays what audio it really holds, or
// Open raises EMCIDeviceError with a message that says what is wrong.
#include "media/MPlayer.h"
#include "media/ManualClock.h"
#include "tests/media/MediaFixtures.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using media::ManualClock;

class MediaInputTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QByteArray mp3_, wav_;
    std::uint32_t mp3Ms_ = 0;

    QByteArray Path(const QByteArray &name) const { return QFile::encodeName(dir_.path()) + "/" + name; }
    QByteArray Bytes(const QByteArray &path) const
    {
        QFile f(QFile::decodeName(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray Make(const QByteArray &name, const QByteArray &bytes)
    {
        const QByteArray p = Path(name);
        if (!fx::WriteFile(p, bytes))
            qFatal("cannot write %s", p.constData());
        return p;
    }
    // Open must refuse: the message has to mention `what`.
    void ExpectRefused(const QByteArray &path, const QString &what)
    {
        TMediaPlayer mp;
        mp.FileName = path;
        QElapsedTimer t;
        t.start();
        try {
            mp.Open();
            QFAIL(qPrintable("opened " + QString::fromLocal8Bit(path)));
        } catch (const EMCIDeviceError &e) {
            QVERIFY2(e.Message().contains(what, Qt::CaseInsensitive), qPrintable(e.Message()));
        }
        QVERIFY(!mp.IsOpen());
        QVERIFY(t.elapsed() < 2000);
    }
    // Open must succeed and the file play to its end within `maxMs` of audio.
    std::uint32_t ExpectPlays(const QByteArray &path, std::uint32_t maxMs)
    {
        TMediaPlayer mp;
        mp.FileName = path;
        mp.Open();
        const std::uint32_t len = mp.Length();
        if (len > maxMs)
            return len;
        mp.Play();
        for (std::uint32_t i = 0; i <= maxMs / 250 + 2 && mp.Mode() == TMPModes::mpPlaying; ++i)
            ManualClock::Advance(250);
        return mp.Mode() == TMPModes::mpStopped && mp.Position() == len ? len : 0xFFFFFFFFu;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        ManualClock::Install();
        wav_ = Path("tone.wav");
        QVERIFY(fx::WriteWav(QFile::decodeName(wav_), 44100, 2, fx::Tone(44100, 2, 88200, 440, 9000)));
        mp3_ = Path("tone.mp3");
        QVERIFY(fx::Lame(QFile::decodeName(wav_), QFile::decodeName(mp3_), {"-b", "128"}));
        TMediaPlayer mp;
        mp.FileName = mp3_;
        mp.Open();
        mp3Ms_ = mp.Length();
        QVERIFY(std::abs(int(mp3Ms_) - 2000) < 60);
    }

    void missingEmptyAndNonFilesAreRefused()
    {
        ExpectRefused(Path("nothing-here.mp3"), "cannot be found");
        ExpectRefused(Path("tone.wav/inside.mp3"), "cannot be found");
        ExpectRefused(QByteArray(), "cannot be found");
        ExpectRefused(Make("empty.mp3", {}), "empty");
        QVERIFY(QDir(dir_.path()).mkdir("x.mp3"));
        ExpectRefused(Path("x.mp3"), "folder");
        QVERIFY(::mkfifo(Path("pipe.mp3").constData(), 0600) == 0);
        ExpectRefused(Path("pipe.mp3"), "not an ordinary file");
    }

    void unreadableFileIsRefused()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        const QByteArray p = Make("locked.mp3", Bytes(mp3_));
        QVERIFY(::chmod(p.constData(), 0) == 0);
        ExpectRefused(p, "access");
    }

    void randomBytesAreRefused()
    {
        std::uint32_t x = 7;
        for (int round = 0; round < 8; ++round) {
            QByteArray b;
            for (int i = 0; i < 65536 + round * 1000; ++i) {
                x = x * 1664525u + 1013904223u;
                b.append(char(x >> 24));
            }
            ExpectRefused(Make("random.mp3", b), "neither WAV nor MPEG");
            ExpectRefused(Make("random.wav", b), "neither WAV nor MPEG");
        }
    }

    void wavRenamedMp3PlaysAsWav()
    {
        QCOMPARE(ExpectPlays(Make("renamed.mp3", Bytes(wav_)), 2100), 2000u);
        // Near-silent PCM: samples of 0 and -1 look like free-format Layer I frames.
        std::vector<std::int16_t> quiet(44100 * 2);
        for (std::size_t i = 0; i < quiet.size(); ++i)
            quiet[i] = (i / 3) % 2 ? -1 : 0;
        const QByteArray wav = fx::WavBytes(44100, 2, quiet);
        QCOMPARE(ExpectPlays(Make("quiet.mp3", wav), 1100), 1000u);
        // The same samples without the RIFF header are not audio we can identify.
        ExpectRefused(Make("quiet-raw.mp3", wav.mid(44)), "neither WAV nor MPEG");
    }

    void mp3RenamedWavPlaysAsMp3()
    {
        QCOMPARE(ExpectPlays(Make("renamed.wav", Bytes(mp3_)), 2100), mp3Ms_);
    }

    void truncatedWavHeaderIsRefused()
    {
        ExpectRefused(Make("short-header.wav", Bytes(wav_).left(30)), "WAV");
        ExpectRefused(Make("riff-only.wav", QByteArray("RIFF\x10\0\0\0WAVE", 12)), "WAV");
    }

    void truncatedWavPlaysWhatIsThere()
    {
        // The header claims two seconds, the data holds half a second.
        QCOMPARE(ExpectPlays(Make("cut.wav", Bytes(wav_).left(44 + 22050 * 4)), 600), 500u);
    }

    void truncatedMp3PlaysWhatIsThereOrIsRefused()
    {
        const QByteArray all = Bytes(mp3_);
        for (qsizetype keep : {all.size() / 2, qsizetype(3000), qsizetype(700)}) {
            const QByteArray p = Make("cut.mp3", all.left(keep));
            try {
                const std::uint32_t ms = ExpectPlays(p, mp3Ms_);
                QVERIFY2(ms <= mp3Ms_ * keep / all.size() + 60, qPrintable(QString::number(ms)));
            } catch (const EMCIDeviceError &e) {
                QVERIFY(!e.Message().isEmpty());
            }
        }
    }

    void id3TagWithoutAudioIsRefused()
    {
        QByteArray tag("ID3\x03\0\0\0\0\x02\0", 10); // 256 bytes of tag body
        tag += "TIT2";
        tag += QByteArray("\0\0\0\x06" "\0\0" "\0Title", 12); // size, flags, Latin-1 text
        tag += QByteArray(256 - 4 - 12, '\0');
        ExpectRefused(Make("tag-only.mp3", tag), "no audio");
        // A tag followed by real audio plays.
        QCOMPARE(ExpectPlays(Make("tagged.mp3", tag + Bytes(mp3_)), 2100), mp3Ms_);
    }

    void namesThatAreNotUtf8OpenByTheirBytes()
    {
        const QByteArray name = Make("\xcf\xe5\xf1\xed\xff.mp3", Bytes(mp3_)); // windows-1251, not UTF-8
        QCOMPARE(ExpectPlays(name, 2100), mp3Ms_);
        ::unlink(name.constData()); // QDir cannot name it to clean up
    }
};

QTEST_GUILESS_MAIN(MediaInputTest)
#include "tst_media_input.moc"
