// Bad and odd input: every file either opens and plays what audio it really holds, or
// Open raises EMCIDeviceError with a message that says what is wrong.
#include "media/Decoder.h"
#include "tests/media/PlayHelpers.h"

#include <sndfile.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

using media::ManualClock;

class MediaInputTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QByteArray mp3_, wav_;
    std::uint32_t mp3Ms_ = 0;

    QByteArray Path(const QByteArray &name) const { return PathIn(dir_, name); }
    QByteArray Make(const QByteArray &name, const QByteArray &bytes) { return Write(dir_, name, bytes); }
    // Open must succeed and the file play to its end within `maxMs` of audio.
    std::uint32_t ExpectPlays(const QByteArray &path, std::uint32_t maxMs)
    {
        TMediaPlayer mp;
        const std::uint32_t len = OpenFile(mp, path).Length();
        if (len > maxMs)
            return len;
        mp.Play();
        ManualClock::Advance(int(maxMs) + 750);
        return NotAtEnd(mp).isEmpty() ? len : 0xFFFFFFFFu;
    }

    // Every frame libsndfile decodes from path, straight through without seeking.
    static std::vector<std::int16_t> SndDecode(const QByteArray &path, long *rate, int *channels)
    {
        std::vector<std::int16_t> out;
        SF_INFO info{};
        SNDFILE *sf = sf_open(path.constData(), SFM_READ, &info);
        if (!sf)
            return out;
        std::vector<std::int16_t> buf(4096 * std::size_t(info.channels));
        for (sf_count_t got; (got = sf_readf_short(sf, buf.data(), 4096)) > 0;)
            out.insert(out.end(), buf.begin(), buf.begin() + got * info.channels);
        sf_close(sf);
        *rate = info.samplerate;
        *channels = info.channels;
        return out;
    }
    // Plays from `fromMs` (the start when negative) to the end and returns the stereo
    // frames that came out; the device must stop exactly at its length.
    static std::vector<std::int16_t> PlayOut(TMediaPlayer &mp, int fromMs)
    {
        if (fromMs >= 0)
            mp.setStartPos(fromMs);
        const auto out = Capture(mp, int(mp.Length()) + 300);
        return NotAtEnd(mp).isEmpty() ? out : std::vector<std::int16_t>{};
    }
    // Free-format MPEG 1 Layer I mono frames at 44.1 kHz: subband 0 holds 4-bit samples, the
    // 16th allocation byte (subbands 30 and 31) is `firstAllocations` in the first frame and
    // `laterAllocations` in the others. The CRC, when there is one, and the bytes right after
    // the allocations read like allocations of 15.
    static QByteArray LayerOneStream(int size, bool crc, char firstAllocations = 0, char laterAllocations = 0,
                                     int frames = 30, bool padEveryOther = false)
    {
        QByteArray s;
        for (int i = 0; i < frames; ++i) {
            const bool padded = padEveryOther && i % 2;
            QByteArray f(size + (padded ? 4 : 0), '\0'); // Layer I pads by a 4-byte slot
            f.replace(0, 4, QByteArray("\xff", 1) + (crc ? '\xfe' : '\xff') + (padded ? '\x02' : '\0') + '\xc0');
            const int start = crc ? 6 : 4;
            f.replace(4, 2, crc ? "\x0f\xf0" : "\0\0", 2);
            f[start] = '\x30';
            f[start + 15] = i ? laterAllocations : firstAllocations;
            f.replace(start + 16, 7, "\x2b\xff\xc3\xfc\x3f\xc3\xfc", 7); // scale factor, samples
            s += f;
        }
        return s;
    }
    // A second of near-silent stereo PCM: samples 0,0,0,-1,-1,-1 over and over.
    static QByteArray QuietWav()
    {
        std::vector<std::int16_t> quiet(44100 * 2);
        for (std::size_t i = 0; i < quiet.size(); ++i)
            quiet[i] = (i / 3) % 2 ? -1 : 0;
        return WavBytes(44100, 2, quiet);
    }
    // The first `count` frames of a constant-bitrate MP3 without a header frame.
    static QByteArray MpegFrames(const QByteArray &mp3, int count)
    {
        qsizetype pos = 0;
        for (int i = 0; i < count && pos + 4 <= mp3.size(); ++i) {
            const auto *h = reinterpret_cast<const unsigned char *>(mp3.constData() + pos);
            static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
            pos += 144 * kKbps[h[2] >> 4] * 1000 / 44100 + ((h[2] >> 1) & 1); // MPEG 1 Layer III, 44.1 kHz
        }
        return mp3.left(pos);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        ManualClock::Install();
        wav_ = Make("tone.wav", WavBytes(44100, 2, Tone(44100, 2, 88200, 440, 9000)));
        mp3_ = Path("tone.mp3");
        QVERIFY(fx::Lame(QFile::decodeName(wav_), QFile::decodeName(mp3_), {"-b", "128"}));
        TMediaPlayer mp;
        mp3Ms_ = OpenFile(mp, mp3_).Length();
        QVERIFY(std::abs(int(mp3Ms_) - 2000) < 60);
    }

    void refusedFilesSayWhy_data()
    {
        QTest::addColumn<QByteArray>("name"); // empty: no name at all
        QTest::addColumn<QByteArray>("content"); // null: nothing; "/": a folder; "|": a FIFO; "-": unreadable
        QTest::addColumn<QString>("what");
        const auto row = [](const char *tag, const QByteArray &name, const QByteArray &content, const char *what) {
            QTest::newRow(tag) << name << content << QString::fromLatin1(what);
        };
        const char *const neither = "neither WAV nor MPEG";
        row("missing", "nothing-here.mp3", {}, "cannot be found");
        row("under a file", "tone.wav/inside.mp3", {}, "cannot be found");
        row("no name", "", {}, "cannot be found");
        row("empty", "empty.mp3", "", "empty");
        row("folder", "x.mp3", "/", "folder");
        row("FIFO", "pipe.mp3", "|", "not an ordinary file");
        row("unreadable", "locked.mp3", "-", "access");
        std::uint32_t x = 7;
        for (int round = 0; round < 8; ++round) {
            QByteArray b;
            for (int i = 0; i < 65536 + round * 1000; ++i)
                b.append(char((x = x * 1664525u + 1013904223u) >> 24));
            row(qPrintable(QStringLiteral("random %1 .mp3").arg(round)), "random.mp3", b, neither);
            row(qPrintable(QStringLiteral("random %1 .wav").arg(round)), "random.wav", b, neither);
        }
        row("WAV header cut short", "short-header.wav", ReadBytes(wav_).left(30), "WAV");
        row("RIFF chunk alone", "riff-only.wav", QByteArray("RIFF\x10\0\0\0WAVE", 12), "WAV");
        // Near-silent PCM (samples of 0 and -1) is full of what parses as free-format Layer I
        // headers; without its RIFF header, or starting right at one, it is still not MPEG.
        const QByteArray quiet = QuietWav();
        row("quiet PCM without its header", "quiet-raw.mp3", quiet.mid(44), neither);
        // Samples 0,0,0,-1,-1,-1 repeat every 12 bytes; bytes 10.. read FF FF 00 00.
        row("quiet PCM from a header", "quiet-at-header.mp3", quiet.mid(44 + 10), neither);
        // Dither of 0 and -1, with a header-like pair every 48 bytes.
        QByteArray dither;
        x = 99;
        for (int frame = 0; frame < 2000; ++frame) {
            dither += QByteArray("\xff\xff\x00\x00", 4);
            for (int k = 0; k < 22; ++k)
                dither += ((x = x * 1664525u + 1013904223u) >> 31) ? QByteArray("\xff\xff", 2) : QByteArray("\0\0", 2);
        }
        row("dither", "dither.mp3", dither, neither);
        // Layer I frames with an allocation of 15 (forbidden) in their last allocation byte:
        // in the first frame only, or in every frame after it.
        row("Layer I, bad first frame", "bad-first.mp3", LayerOneStream(104, false, '\x0f'), neither);
        row("Layer I, bad later frames", "bad-later.mp3", LayerOneStream(104, false, 0, '\xf0'), neither);
        row("ID3v2 tag alone", "tag-only.mp3", fx::Id3v2Tag(), "no audio");
        row("ID3v2 tag and text", "tagged-text.mp3", fx::Id3v2Tag() + QByteArray(3000, 'x'), neither);
        // A refusal names the kind of file it took the content for: a RIFX header with an
        // encoding nobody decodes, under either extension and behind a tag.
        QByteArray rifx("RIFX", 4);
        rifx += QByteArray("\0\0\x10\x24" "WAVEfmt " "\0\0\0\x10" "\x12\x34\0\x02" "\0\0\xac\x44"
                           "\0\x02\xb1\x10" "\0\x04\0\x10" "data" "\0\0\x10\0", 44 - 4);
        rifx += quiet.mid(44, 4096);
        row("odd RIFX", "odd-rifx.wav", rifx, "WAV file is damaged");
        row("odd RIFX named .mp3", "odd-rifx.mp3", rifx, "WAV file is damaged");
        row("odd RIFX behind a tag", "tagged-odd.wav", fx::Id3v2Tag() + rifx, "WAV file is damaged");
        // A finished file whose data chunk is empty, with another chunk after it.
        QByteArray empty = WavBytes(8000, 1, {}) + "LIST" + QByteArray("\x40\0\0\0", 4) + QByteArray(64, 'x');
        empty.replace(4, 4, QByteArray("\x84\0\0\0", 4)); // the RIFF size covers the list
        row("empty data chunk", "empty-data.wav", empty, "no audio");
        // 64-bit integer samples, which libsndfile does not decode (nor does any common recorder write).
        QByteArray wide = WavBytes(8000, 1, std::vector<std::int16_t>(4000, 1000));
        wide.replace(28, 8, QByteArray("\x00\xfa\0\0\x08\0\x40\0", 8)); // bytes/s, block, bits
        row("64-bit samples", "int64.wav", wide, "encoding cannot be played");
    }
    void refusedFilesSayWhy()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, what);
        const QByteArray path = name.isEmpty() ? QByteArray() : Path(name);
        if (content == "/")
            QVERIFY(::mkdir(path.constData(), 0700) == 0);
        else if (content == "|")
            QVERIFY(::mkfifo(path.constData(), 0600) == 0);
        else if (content == "-" && ::geteuid() == 0)
            QSKIP("root reads every file");
        else if (content == "-")
            QVERIFY(::chmod(Make(name, ReadBytes(mp3_)).constData(), 0) == 0);
        else if (!content.isNull())
            Make(name, content);
        TMediaPlayer mp;
        QElapsedTimer t;
        t.start();
        const QString refused = TryOpen(mp, path);
        QVERIFY2(!refused.isEmpty(), qPrintable("opened " + QString::fromLocal8Bit(path)));
        QVERIFY2(refused.contains(what, Qt::CaseInsensitive), qPrintable(refused));
        QVERIFY(!mp.IsOpen());
        QVERIFY(t.elapsed() < 2000);
    }

    // Files that play to their end, whatever their name says, and their length.
    void playableFilesPlayToTheirLength_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<std::uint32_t>("ms");
        const QByteArray wav = ReadBytes(wav_), mp3 = ReadBytes(mp3_);
        QTest::newRow("WAV named .mp3") << QByteArray("renamed.mp3") << wav << 2000u;
        QTest::newRow("quiet WAV named .mp3") << QByteArray("quiet.mp3") << QuietWav() << 1000u;
        QTest::newRow("MP3 named .wav") << QByteArray("renamed.wav") << mp3 << mp3Ms_;
        // The header claims two seconds, the data holds half a second.
        QTest::newRow("WAV cut short") << QByteArray("cut.wav") << wav.left(44 + 22050 * 4) << 500u;
        QTest::newRow("ID3v2 tag and MP3") << QByteArray("tagged.mp3") << fx::Id3v2Tag() + mp3 << mp3Ms_;
        QTest::newRow("name not UTF-8") << QByteArray("\xcf\xe5\xf1\xed\xff.mp3") << mp3 << mp3Ms_; // windows-1251
    }
    void playableFilesPlayToTheirLength()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, content);
        QFETCH(std::uint32_t, ms);
        const QByteArray path = Make(name, content);
        QCOMPARE(ExpectPlays(path, ms + 100), ms);
        ::unlink(path.constData()); // QDir cannot name every one of them to clean up
    }

    // Silence in ADPCM whose last block is cut short, followed by a cue and a list chunk of
    // bytes that would decode loud: only the audio is heard, the samples that the short
    // block holds whole included, as many as sox (with a decoder of its own) reads; libsndfile
    // leaves out a short Microsoft ADPCM block altogether (`dropped` frames of it).
    void nothingButTheDataChunkIsPlayed_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("dropped");
        const auto le = LittleEndian;
        const auto chunk = [&](const char *id, const QByteArray &body) {
            return QByteArray(id, 4) + le(std::uint32_t(body.size()), 4) + body + (body.size() % 2 ? QByteArray(1, '\0') : QByteArray());
        };
        // tag 0x11: IMA; 0x02: Microsoft (with its seven standard coefficient pairs)
        const auto wav = [&](const char *name, int tag, int channels, int block, int blocks, int rest) {
            const int header = tag == 0x11 ? 4 : 7;
            const int perBlock = (block - header * channels) * 2 / channels + (tag == 0x11 ? 1 : 2);
            QByteArray ext = le(std::uint32_t(perBlock), 2);
            if (tag == 0x02) {
                ext += le(7, 2);
                for (int c : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232})
                    ext += le(std::uint32_t(c), 2);
            }
            const QByteArray fmt = le(std::uint32_t(tag), 2) + le(std::uint32_t(channels), 2) + le(44100, 4) +
                                   le(std::uint32_t(44100 * block / perBlock), 4) + le(std::uint32_t(block), 2) + le(4, 2) +
                                   le(std::uint32_t(ext.size()), 2) + ext;
            const QByteArray loud(300, '\x77');
            const QByteArray body = "WAVE" + chunk("fmt ", fmt) + chunk("data", QByteArray(block * blocks + rest, '\0')) +
                                    chunk("cue ", loud.left(24)) + chunk("LIST", "INFO" + chunk("ICMT", loud));
            const int cut = rest < header * channels ? 0 : (tag == 0x11 ? 1 + (rest - 4 * channels) / (4 * channels) * 8
                                                                         : 2 + (rest - 7 * channels) * 2 / channels);
            QTest::newRow(name) << Make(name, "RIFF" + le(std::uint32_t(body.size()), 4) + body) << (tag == 0x02 ? cut : 0);
        };
        wav("ima-mono.wav", 0x11, 1, 256, 3, 101);
        wav("ima-stereo.wav", 0x11, 2, 512, 3, 77);
        wav("ima-header-only.wav", 0x11, 1, 256, 2, 3);
        wav("ms-mono.wav", 0x02, 1, 256, 3, 101);
        wav("ms-stereo.wav", 0x02, 2, 256, 2, 55);
    }
    void nothingButTheDataChunkIsPlayed()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, dropped);
        const auto stat = fx::SoxStat({QFile::decodeName(path)}, 1);
        QCOMPARE(stat.value("Maximum amplitude"), 0.0);
        const auto frames = std::size_t(std::llround(stat.value("Length (seconds)") * 44100)) - std::size_t(dropped);
        TMediaPlayer mp;
        QCOMPARE(OpenFile(mp, path).Length(), std::uint32_t((frames * 1000 + 22050) / 44100));
        const auto out = Capture(mp, 1000);
        VERIFY_AT_END(mp);
        QCOMPARE(out.size(), 2 * frames);
        const auto loudest = std::max_element(out.begin(), out.end(), [](int a, int b) { return std::abs(a) < std::abs(b); });
        QVERIFY2(*loudest == 0, qPrintable(QStringLiteral("%1 at frame %2").arg(*loudest).arg((loudest - out.begin()) / 2)));
    }

    void truncatedMp3PlaysWhatIsThereOrIsRefused()
    {
        const QByteArray all = ReadBytes(mp3_);
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

    // The length a header that counts the frames gives (its LAME tag's delay and padding
    // trimmed) is what libmpg123 alone decodes; a header that says more than the file holds
    // is not believed.
    void headerLengthIsTheDecodedLength()
    {
        const QString in = QFile::decodeName(Make("xing-in.wav", WavBytes(44100, 2, Tone(44100, 2, 3 * 44100, 440, 9000))));
        QVERIFY(fx::Lame(in, dir_.filePath("xing.mp3"), {"-V", "4"}));
        QVERIFY(fx::Lame(in, dir_.filePath("info.mp3"), {"-b", "64", "-m", "m", "--resample", "22.05"}));
        // A VBRI header (Fraunhofer's) in a frame of silence ahead of a minute of CBR frames.
        QVERIFY(fx::Lame(in, dir_.filePath("plain.mp3"), {"-b", "128", "-t"}));
        const QByteArray plain = ReadBytes(Path("plain.mp3")).repeated(20);
        QByteArray vbri(417, '\0');
        vbri.replace(0, 4, plain.left(4));
        vbri[2] = char(vbri[2] & ~2); // unpadded
        const auto be = BigEndian;
        std::uint32_t count = 0;
        for (qsizetype at = 0; at + 4 <= plain.size(); ++count)
            at += 417 + ((plain[at + 2] >> 1) & 1);
        vbri.replace(36, 18, "VBRI" + be(1, 2) + be(1105, 2) + be(75, 2) + be(std::uint32_t(417 + plain.size()), 4) + be(count, 4));
        const QByteArray xing = ReadBytes(Path("xing.mp3"));
        for (const QByteArray &path : {Path("xing.mp3"), Path("info.mp3"), Make("vbri.mp3", vbri + plain),
                                       Make("cut.mp3", xing.left(xing.size() * 3 / 5))}) {
            long rate = 0;
            const std::size_t frames = fx::BareDecode(path, &rate).size() / 2; // stereo frames
            const auto ms = std::uint32_t((frames * 1000 + std::size_t(rate) / 2) / std::size_t(rate));
            TMediaPlayer mp;
            std::atomic<std::uint64_t> reads{0};
            media::CountReads(&reads);
            OpenFile(mp, path);
            media::CountReads(nullptr);
            if (path.endsWith("vbri.mp3")) // not the sixty reads of a scan
                QVERIFY2(reads <= 6, qPrintable(QString::number(reads)));
            if (path.endsWith("cut.mp3")) // a file cut short is scanned: as near as for any
                QVERIFY2(mp.Length() < ms + 60, qPrintable(QStringLiteral("%1 ms, decoded %2").arg(mp.Length()).arg(ms)));
            else
                QCOMPARE(mp.Length(), ms);
        }
    }

    // Encodings libsndfile decodes but some cannot seek in (GSM 6.10 not even to the
    // start), a tag in front of a WAV, free-format MPEG and MPEG frames with a trailer:
    // each plays every frame from its start, and from its middle every frame from there.
    void everyReadableKindPlaysFromStartAndMiddleToItsLength_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("reference"); // the same audio, decodable on its own
        const QString src8k = QFile::decodeName(Make("src8k.wav", WavBytes(8000, 1, Tone(8000, 1, 24321, 300, 9000))));
        const QString src = QFile::decodeName(Make("src.wav", WavBytes(44100, 2, Tone(44100, 2, 44101, 440, 9000))));
        const QByteArray gsm = Sox(dir_, {src8k}, "gsm.wav", {"-e", "gsm-full-rate"});
        // sox decodes the whole blocks only; the last, after an odd-sized chunk, has its pad byte.
        const QByteArray gsmPcm = Sox(dir_, {QFile::decodeName(gsm)}, "gsm-pcm.wav", {"-e", "signed"});
        QTest::newRow("GSM 6.10") << gsm << gsmPcm;
        for (const auto &[name, enc] : {std::pair{"alaw.wav", "a-law"}, {"ulaw.wav", "u-law"},
                                        {"ima.wav", "ima-adpcm"}, {"ms.wav", "ms-adpcm"}}) {
            const QByteArray p = Sox(dir_, {src}, name, {"-e", enc});
            QTest::newRow(enc) << p << p;
        }
        const QByteArray rifx = Sox(dir_, {src}, "rifx.wav", {"-B"});
        QTest::newRow("big-endian RIFX") << rifx << rifx;
        QTest::newRow("ID3v2 + WAV") << Make("tagged-pcm.wav", fx::Id3v2Tag() + fx::Id3v2Tag() + ReadBytes(QFile::encodeName(src)))
                                     << QFile::encodeName(src);
        QTest::newRow("ID3v2 + GSM") << Make("tagged-gsm.wav", fx::Id3v2Tag() + ReadBytes(gsm)) << gsmPcm;

        const QString lameIn = QFile::decodeName(Make("lame-in.wav", WavBytes(44100, 2, Tone(44100, 2, 3 * 44100, 440, 9000))));
        for (const char *kbps : {"128", "400"}) {
            const QString ff = dir_.filePath(QStringLiteral("free%1.mp3").arg(kbps));
            QVERIFY(fx::Lame(lameIn, ff, {"--freeformat", "-b", kbps, "-t"}));
            QTest::addRow("free format %s kbit/s", kbps) << QFile::encodeName(ff) << QFile::encodeName(ff);
        }
        // Five frames only: too few to chain at twice their size, or past padded ones.
        for (const auto &[name, size, crc, frames, pad] :
             {std::tuple{"free-format Layer I", 104, false, 30, false}, {"free-format Layer I with CRC", 104, true, 30, false},
              {"free-format Layer I, 5 smallest frames", 36, false, 5, false},
              {"free-format Layer I, 5 frames, every other padded", 104, false, 5, true}}) {
            const QByteArray p = Make(QByteArray::number(size) + (crc ? "c" : "") +
                                          (pad ? "p" : "") + "-layer1.mp3",
                                      LayerOneStream(size, crc, 0, 0, frames, pad));
            QTest::newRow(name) << p << p;
        }
        QVERIFY(fx::Lame(lameIn, dir_.filePath("cbr.mp3"), {"-b", "128", "-t"}));
        const QByteArray two = MpegFrames(ReadBytes(Path("cbr.mp3")), 2);
        QByteArray trailer(128, '\x5a');
        trailer.replace(0, 3, "XYZ");
        QTest::newRow("2 MPEG frames + trailer") << Make("two-junk.mp3", two + trailer) << Make("two.mp3", two);
        QTest::newRow("ID3v2 + 3 MPEG frames + trailer")
            << Make("tag-three-junk.mp3", fx::Id3v2Tag() + MpegFrames(ReadBytes(Path("cbr.mp3")), 3) + QByteArray(200, '\x11'))
            << Make("three.mp3", MpegFrames(ReadBytes(Path("cbr.mp3")), 3));
    }
    void everyReadableKindPlaysFromStartAndMiddleToItsLength()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, reference);
        long rate = 0;
        int channels = 0;
        const auto ref = reference.endsWith(".mp3") ? fx::BareDecode(reference, &rate, &channels)
                                                    : SndDecode(reference, &rate, &channels);
        QVERIFY(rate > 0 && !ref.empty());
        const std::size_t frames = ref.size() / std::size_t(channels);
        // The stereo frames the player makes of the reference, from frame `from` on.
        const auto expected = [&](std::size_t from) {
            std::vector<std::int16_t> st;
            for (std::size_t i = from; i < frames; ++i) {
                st.push_back(ref[i * std::size_t(channels)]);
                st.push_back(ref[i * std::size_t(channels) + (channels == 2 ? 1 : 0)]);
            }
            return st;
        };

        TMediaPlayer mp;
        QVERIFY2(TryOpen(mp, path).isEmpty(), qPrintable(mp.ErrorText()));
        QCOMPARE(mp.Length(), std::uint32_t((frames * 1000 + std::size_t(rate) / 2) / std::size_t(rate)));
        QVERIFY(PlayOut(mp, -1) == expected(0));
        // Twice from the middle: the second time the decoder stands at the end.
        const int middle = int(mp.Length() / 2);
        const std::size_t from = (std::size_t(middle) * std::size_t(rate) + 999) / 1000;
        QVERIFY(PlayOut(mp, middle) == expected(from));
        QVERIFY(PlayOut(mp, middle) == expected(from));
        QVERIFY(PlayOut(mp, 0) == expected(0));
    }
};

QTEST_GUILESS_MAIN(MediaInputTest)
#include "tst_media_input.moc"
