// TMediaPlayer over the manual clock: lengths, positions, the end of a file, the gain,
// and the command semantics the player relies on.
#include "media/Decoder.h"
#include "media/Volume.h"
#include "tests/media/PlayHelpers.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <tuple>

#include <unistd.h>

using media::ManualClock;

class MediaPlayerTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QByteArray wav_; // 2.5 s, 44.1 kHz stereo tone

    QByteArray Path(const QString &name) const { return QFile::encodeName(dir_.filePath(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        ManualClock::Install();
        wav_ = Write(dir_, "tone.wav", WavBytes(44100, 2, Tone(44100, 2, 110250, 440, 8000)));
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
        std::vector<std::int16_t> s = Tone(rate, channels, rate, 330, 300);
        std::uint32_t x = 12345;
        for (int i = 0; i < 2 * rate * channels; ++i) {
            x = x * 1103515245u + 12345u;
            s.push_back(static_cast<std::int16_t>((x >> 16) % 40000) - 20000);
        }
        const QString base = QStringLiteral("len_%1_%2_%3_%4").arg(rate).arg(channels).arg(vbr).arg(header);
        QVERIFY(WriteBytes(Path(base + ".wav"), WavBytes(rate, channels, s)));
        QStringList opts{"--resample", QString::number(rate / 1000.0), "-m", channels == 1 ? "m" : "j"};
        opts << (vbr ? QStringList{"-V", "4"} : QStringList{"-b", "64"});
        if (!header)
            opts << "-t";
        QVERIFY(fx::Lame(dir_.filePath(base + ".wav"), dir_.filePath(base + ".mp3"), opts));

        long decodedRate = 0;
        const auto pcm = fx::BareDecode(Path(base + ".mp3"), &decodedRate); // stereo frames
        QCOMPARE(decodedRate, long(rate));
        const double decodedMs = 1000.0 * double(pcm.size() / 2) / rate;
        const double frameMs = 1000.0 * (rate >= 32000 ? 1152 : 576) / rate;

        TMediaPlayer mp;
        OpenFile(mp, Path(base + ".mp3"));
        QVERIFY2(std::abs(mp.Length() - decodedMs) <= frameMs,
                 qPrintable(QStringLiteral("length %1 decoded %2").arg(mp.Length()).arg(decodedMs)));
        QCOMPARE(mp.TrackLength(1), mp.Length());
    }

    // Every kind of WAV libsndfile reads, and an MP3 whose mode changes midway: the length to
    // the millisecond, and the level of each side (RMS and peak) within 0.1 dB of what sox
    // measures on the same audio, through the gain and the stereo fold-down (centre at -3 dB
    // to both sides, surrounds at -3 dB to their side, the low-frequency channel left out).
    void wavLengthExactToTheMillisecond_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("reference"); // the same audio, for sox to measure
        QTest::addColumn<QList<double>>("left");   // weight of each channel on either side
        QTest::addColumn<QList<double>>("right");
        const double h = std::sqrt(0.5);
        // A tone on every channel (at a frequency of its own), or on channel `only` alone.
        const auto wav = [&](const QString &name, int rate, int channels, int frames, int only = -1,
                             std::uint32_t mask = 0) {
            auto s = Tone(rate, channels, frames, 200, 9000);
            for (std::size_t i = 0; i < s.size(); ++i)
                if (only >= 0 && int(i % std::size_t(channels)) != only)
                    s[i] = 0;
            return Write(dir_, QFile::encodeName(name), WavBytes(rate, channels, s, mask));
        };
        const auto row = [](const QString &name, const QByteArray &path, QList<double> l, QList<double> r,
                            const QByteArray &ref = {}) {
            QTest::newRow(qPrintable(name)) << path << (ref.isEmpty() ? path : ref) << l << r;
        };
        row("8k mono", wav("m8.wav", 8000, 1, 12345), {1}, {1});
        row("22.05k stereo", wav("s22.wav", 22050, 2, 33333), {1, 0}, {0, 1});
        const QByteArray st = wav("s44.wav", 44100, 2, 44101);
        row("44.1k stereo", st, {1, 0}, {0, 1});
        for (int c = 0; c < 6; ++c) // no channel mask: the usual 5.1 order
            row(QStringLiteral("48k 5.1, tone on %1").arg(c + 1), wav(QStringLiteral("c6_%1.wav").arg(c), 48000, 6, 4799, c),
                {1, 0, h, 0, h, 0}, {0, 1, h, 0, 0, h});
        for (int c = 0; c < 8; ++c) // 7.1 by its channel mask
            row(QStringLiteral("7.1, tone on %1").arg(c + 1), wav(QStringLiteral("c8_%1.wav").arg(c), 44100, 8, 4410, c, 0x63F),
                {1, 0, h, 0, h, 0, h, 0}, {0, 1, h, 0, 0, h, 0, h});
        // A mask of 2.1: the third channel is not the centre of the usual order.
        row("2.1, tone on LFE", wav("c3.wav", 44100, 3, 4410, 2, 0xB), {1, 0, 0}, {0, 1, 0});
        row("44.1k float", Sox(dir_, {st}, "f32.wav", {"-e", "floating-point", "-b", "32"}), {1, 0}, {0, 1});
        row("float 64", Sox(dir_, {st}, "f64.wav", {"-e", "floating-point", "-b", "64"}), {1, 0}, {0, 1});
        row("float mono", Sox(dir_, {Path("m8.wav")}, "fm.wav", {"-e", "floating-point", "-b", "32"}), {1}, {1});
        for (const char *bits : {"32", "64"})
            row(QStringLiteral("float %1 full scale").arg(bits),
                Sox(dir_, {"-n", "-r", "44100", "-c", "2"}, QStringLiteral("full%1.wav").arg(bits),
                    {"-e", "floating-point", "-b", bits}, {"synth", "0.3", "square", "440", "sine", "660", "norm"}),
                {1, 0}, {0, 1});
        for (const char *bits : {"8", "24", "32"})
            row(QStringLiteral("%1-bit").arg(bits), Sox(dir_, {st}, QStringLiteral("i%1.wav").arg(bits), {"-b", bits}), {1, 0}, {0, 1});
        for (const char *enc : {"a-law", "u-law", "ima-adpcm", "ms-adpcm"})
            row(enc, Sox(dir_, {st}, QStringLiteral("%1.wav").arg(enc), {"-e", enc}), {1, 0}, {0, 1});
        row("GSM 6.10", Sox(dir_, {Path("m8.wav")}, "gsm.wav", {"-e", "gsm-full-rate"}), {1}, {1});
        row("RIFX", Sox(dir_, {st}, "rifx.wav", {"-B"}), {1, 0}, {0, 1});
        const QByteArray pcm = WavBytes(8000, 1, Tone(8000, 1, 4001, 300, 9000));
        const QByteArray plain = Write(dir_, "plain.wav", pcm);
        row("behind ID3v2", Write(dir_, "tagged.wav", fx::Id3v2Tag() + pcm), {1}, {1}, plain);
        row("data size 0", Write(dir_, "size0.wav", QByteArray(pcm).replace(4, 4, QByteArray(4, 0)).replace(40, 4, QByteArray(4, 0))),
            {1}, {1}, plain);
        // Mono frames, then stereo ones; libmpg123 alone, following the change, is the reference.
        QVERIFY(fx::Lame(dir_.filePath("m8.wav"), dir_.filePath("mono.mp3"), {"-t", "-m", "m", "--resample", "44.1"}));
        QVERIFY(fx::Lame(dir_.filePath("s44.wav"), dir_.filePath("stereo.mp3"), {"-t", "-m", "s"}));
        QVERIFY(fx::Run("sh", {"-c", "cd \"$0\" && cat mono.mp3 stereo.mp3 >mono-stereo.mp3", dir_.path()}));
        row("MP3 mono, then stereo", Path("mono-stereo.mp3"), {1, 0}, {0, 1},
            Write(dir_, "mono-stereo.wav", WavBytes(44100, 2, fx::BareDecode(Path("mono-stereo.mp3")))));
    }
    void wavLengthExactToTheMillisecond()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, reference);
        QFETCH(QList<double>, left);
        QFETCH(QList<double>, right);
        const double gains[2] = {double(0xC000) / 65535, 1.0};
        media::WaveOutSetVolume(0xFFFF0000u | 0xC000u);
        std::array<double, 2> rms{}, peak{}, mean{}; // mean: a wrap at full scale leaves the others be
        double seconds = 0;
        for (int c = 0; c < int(left.size()); ++c) {
            if (left[c] == 0 && right[c] == 0)
                continue;
            const auto stat = fx::SoxStat({QFile::decodeName(reference)}, c + 1);
            seconds = stat["Length (seconds)"];
            const double top = std::max(stat["Maximum amplitude"], -stat["Minimum amplitude"]);
            for (int side = 0; side < 2; ++side) {
                const double w = (side ? right : left)[c] * gains[side];
                if (w * stat["RMS amplitude"] > 0)
                    QVERIFY2(rms[side] == 0, "one channel with sound per side, or levels do not add up");
                rms[side] += w * stat["RMS amplitude"];
                peak[side] += w * top;
                mean[side] += w * stat["Mean amplitude"];
            }
        }
        TMediaPlayer mp;
        QVERIFY2(TryOpen(mp, path).isEmpty(), qPrintable(mp.ErrorText()));
        QCOMPARE(mp.Length(), std::uint32_t(std::llround(1000 * seconds)));
        const auto dB = [](double a, double b) { return a == b ? 0.0 : 20 * std::log10(a / b); };
        for (int pass = 0; pass < 2; ++pass) { // the second after the end: from the start again
            const auto out = Capture(mp, 10000);
            VERIFY_AT_END(mp);
            for (int side = 0; side < 2; ++side) {
                double sum = 0, top = 0, total = 0;
                for (std::size_t i = std::size_t(side); i < out.size(); i += 2) {
                    sum += double(out[i]) * out[i];
                    total += out[i];
                    top = std::max(top, std::abs(double(out[i])));
                }
                const double gotRms = std::sqrt(sum / double(out.size() / 2)) / 32768, gotPeak = top / 32768;
                const QString say = QStringLiteral("pass %1 side %2: RMS %3 for %4 (%5 dB), peak %6 for %7 (%8 dB)")
                                        .arg(pass).arg(side).arg(gotRms).arg(rms[side]).arg(dB(gotRms, rms[side]))
                                        .arg(gotPeak).arg(peak[side]).arg(dB(gotPeak, peak[side]));
                QVERIFY2(std::abs(dB(gotRms, rms[side])) <= 0.1 && std::abs(dB(gotPeak, peak[side])) <= 0.1, qPrintable(say));
                QVERIFY(std::abs(total / double(out.size() / 2) / 32768 - mean[side]) < 0.001);
            }
        }
    }

    // One tone, in phase on every channel of a surround file: the fold-down adds it up. Loud,
    // it comes out a clean copy of the tone at one steady gain (no clipping, no pumping);
    // quiet, at exactly the matrix's level, sample for sample.
    void loudSurroundFoldsDownUncutQuietAsBefore_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("dB");
        QTest::addColumn<double>("level"); // what each side must be, times the tone; 0: below full scale
        const double h = std::sqrt(0.5);
        QTest::newRow("5.1 at -6 dBFS") << 6 << -6.0 << 0.0;
        QTest::newRow("20 channels at -10 dBFS") << 20 << -10.0 << 0.0;
        QTest::newRow("3 channels at -1 dBFS") << 3 << -1.0 << 0.0;
        QTest::newRow("5.1 at -30 dBFS") << 6 << -30.0 << 1 + 2 * h;     // L, C, surround
        QTest::newRow("3 channels at -20 dBFS") << 3 << -20.0 << 1 + h; // L, C
    }
    void loudSurroundFoldsDownUncutQuietAsBefore()
    {
        QFETCH(int, channels);
        QFETCH(double, dB);
        QFETCH(double, level);
        const int rate = 48000, frames = rate / 2, onset = rate / 20;
        std::vector<double> tone(static_cast<std::size_t>(frames));
        std::vector<std::int16_t> s;
        for (int i = 0; i < frames; ++i) {
            const auto v = std::int16_t(std::lround(std::pow(10.0, dB / 20) * 32767 * std::sin(2 * M_PI * 997 * i / rate)));
            tone[std::size_t(i)] = v;
            s.insert(s.end(), std::size_t(channels), v);
        }
        TMediaPlayer mp;
        const auto out = Capture(OpenFile(mp, Write(dir_, "fold.wav", WavBytes(rate, channels, s))), 1000);
        QCOMPARE(out.size(), 2 * tone.size());
        const auto at = [&](int i, int side) { return double(out[2 * std::size_t(i) + std::size_t(side)]); };
        // The gain that makes the tone fit [from, to) best on one side, and what is left over.
        const auto fit = [&](int side, int from, int to, double *residual = nullptr) {
            double xy = 0, xx = 0, rr = 0;
            for (int i = from; i < to; ++i) {
                xy += tone[std::size_t(i)] * at(i, side);
                xx += tone[std::size_t(i)] * tone[std::size_t(i)];
            }
            const double g = xy / xx;
            for (int i = from; i < to; ++i)
                rr += std::pow(at(i, side) - g * tone[std::size_t(i)], 2);
            if (residual)
                *residual = std::sqrt(rr / (g * g * xx));
            return g;
        };
        for (int side = 0; side < 2; ++side) {
            double r = 0;
            const double g = fit(side, onset, frames, &r), g1 = fit(side, onset, frames / 2), g2 = fit(side, frames / 2, frames);
            const QString say = QStringLiteral("side %1: gain %2 (%3, then %4), residual %5").arg(side).arg(g).arg(g1).arg(g2).arg(r);
            QVERIFY2(r < 2e-3 && std::abs(20 * std::log10(g1 / g2)) < 0.01, qPrintable(say));
            if (level > 0) { // untouched: the matrix's sum, rounded once
                QVERIFY2(std::abs(g - level) < 1e-4, qPrintable(say));
                for (int i = 0; i < frames; ++i)
                    QVERIFY(std::abs(at(i, side) - level * tone[std::size_t(i)]) <= 1.0);
            } else { // held within full scale (the residual shows no cut), and not much below it
                double peak = 0;
                for (int i = onset; i < frames; ++i)
                    peak = std::max(peak, std::abs(at(i, side)));
                QVERIFY2(peak > 32767 * 0.97, qPrintable(say));
            }
        }
    }

    // A float WAV with NaN samples (and infinities, and values past full scale): a NaN is
    // silence on the side it reaches and nowhere else, the rest as usual, clipped at full scale.
    void floatNaNPlaysAsSilence_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QList<float>>("samples");
        QTest::addColumn<QList<int>>("expected"); // left, right of each frame
        const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
        QTest::newRow("mono") << 1 << QList<float>{0.5f, nan, -0.25f} << QList<int>{16384, 16384, 0, 0, -8192, -8192};
        QTest::newRow("stereo") << 2 << QList<float>{0.5f, nan, nan, -0.25f, inf, -2.0f}
                                << QList<int>{16384, 0, 0, -8192, 32767, -32768};
        // 5.1: a NaN on the centre reaches both sides, on a surround its own side only, on
        // the low-frequency channel (left out) neither
        QTest::newRow("5.1") << 6 << QList<float>{0.25f, 0, nan, 0, 0, 0, 0.25f, 0.25f, 0, 0, 0, nan, 0.25f, 0.25f, 0, nan, 0, 0}
                             << QList<int>{0, 0, 8192, 0, 8192, 8192};
    }
    void floatNaNPlaysAsSilence()
    {
        QFETCH(int, channels);
        QFETCH(QList<float>, samples);
        QFETCH(QList<int>, expected);
        const auto le = LittleEndian;
        QByteArray data;
        for (int i = 0; i < 400; ++i) // repeated, so the file is long enough to time
            for (float f : samples) {
                std::uint32_t bits = 0;
                std::memcpy(&bits, &f, 4);
                data += le(bits, 4);
            }
        const auto c = std::uint32_t(channels);
        const QByteArray fmt = le(3, 2) + le(c, 2) + le(8000, 4) + le(8000 * 4 * c, 4) + le(4 * c, 2) + le(32, 2);
        const QByteArray body = "WAVEfmt " + le(16, 4) + fmt + "data" + le(std::uint32_t(data.size()), 4) + data;
        TMediaPlayer mp;
        const auto out = Capture(OpenFile(mp, Write(dir_, "nan.wav", "RIFF" + le(std::uint32_t(body.size()), 4) + body)), 1000);
        QCOMPARE(out.size(), std::size_t(400 * expected.size()));
        for (std::size_t i = 0; i < out.size(); ++i)
            QVERIFY2(out[i] == expected[qsizetype(i % std::size_t(expected.size()))],
                     qPrintable(QStringLiteral("sample %1: %2").arg(i).arg(out[i])));
    }

    // Commands on a device just opened on tone.wav (2500 ms), and what must hold after them.
    // Commands: play stop pause pauseonly resume close open (again) events (handled) norewind
    // (AutoRewind off); @N arms a start (@end: the length, @end+1 past it); +N lets N ms play;
    // ~N lets the clock run N ms with no audio taken. Checks: =N (=end) the position; playing paused stopped the mode;
    // ok range the last error; armed unarmed the start flag; s=N StartPos; n=N the notices
    // so far; done the last notice's result is success; closed; newdevice (since open);
    // step=N StepFrames.
    void commandsMoveThePositionAsTheDeviceDoes_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("position follows the audio played and ends at the length")
            << "step=250 stopped play playing =0 +1000 =1000 ~500 =1000 +1000 =2000 n=0 +1000 =end stopped n=1 done "
               "+1000 =end";
        QTest::newRow("play at the end rewinds") << "play +3000 =end play playing =0";
        QTest::newRow("a start beyond the end is refused and nothing rewinds") << "play +3000 @end+1 play range =end";
        QTest::newRow("a start armed at the end plays from there") << "play +3000 @1200 play =1200";
        QTest::newRow("without AutoRewind play at the end stays there") << "norewind play +3000 play +100 =end stopped";
        QTest::newRow("a start is consumed by one play")
            << "@1000 s=1000 armed play unarmed =1000 +500 stop stopped =1500 play =1500 s=1000 @9999 play range =1500";
        QTest::newRow("the very end is in range, before the start not") << "@-1 play range @end play ok =end @end+1 play range "
                                                                          "close ok closed";
        QTest::newRow("pause freezes the position and toggles back")
            << "pause stopped play +300 pause paused +1000 =300 pause playing +200 =500 pauseonly resume ok playing";
        QTest::newRow("open while open drops the old device and its notices")
            << "play +500 stop open newdevice events n=0 stopped =0";
        QTest::newRow("resume refused on a stopped device falls back to play")
            << "@700 play stop resume ok playing =700 +3000 resume playing =0";
    }
    void commandsMoveThePositionAsTheDeviceDoes()
    {
        QFETCH(QString, steps);
        CountingPlayer mp;
        OpenFile(mp, wav_);
        std::uint16_t device = mp.DeviceId();
        const auto value = [&](const QString &v) {
            return v.startsWith(QLatin1String("end")) ? int(mp.Length()) + v.mid(3).toInt() : v.toInt();
        };
        const std::map<QString, std::function<bool()>> words{
            {"play", [&] { return mp.Play(), true; }}, {"stop", [&] { return mp.Stop(), true; }},
            {"pause", [&] { return mp.Pause(), true; }}, {"pauseonly", [&] { return mp.PauseOnly(), true; }},
            {"resume", [&] { return mp.Resume(), true; }}, {"close", [&] { return mp.Close(), true; }},
            {"open", [&] { return device = mp.DeviceId(), OpenFile(mp, wav_), true; }},
            {"events", [&] { return QCoreApplication::processEvents(), true; }},
            {"norewind", [&] { return mp.AutoRewind = false, true; }},
            {"playing", [&] { return mp.Mode() == TMPModes::mpPlaying; }},
            {"paused", [&] { return mp.Mode() == TMPModes::mpPaused; }},
            {"stopped", [&] { return mp.Mode() == TMPModes::mpStopped; }},
            {"ok", [&] { return mp.LastError() == 0; }},
            {"range", [&] { return mp.LastError() == std::int32_t(media::kErrOutOfRange); }},
            {"armed", [&] { return mp.FromArmed; }}, {"unarmed", [&] { return !mp.FromArmed; }},
            {"done", [&] { return mp.NotifyResult() == TMPNotifyValues::nvSuccessful; }},
            {"closed", [&] { return !mp.IsOpen(); }}, {"newdevice", [&] { return mp.DeviceId() != device; }},
        };
        for (const QString &step : steps.split(QLatin1Char(' '))) {
            const QString key = step.section(QLatin1Char('='), 0, 0), arg = step.section(QLatin1Char('='), 1);
            bool held = true;
            if (words.count(step))
                held = words.at(step)();
            else if (step.startsWith(QLatin1Char('@')))
                mp.setStartPos(value(step.mid(1)));
            else if (step.startsWith(QLatin1Char('+')))
                ManualClock::Advance(step.mid(1).toInt());
            else if (step.startsWith(QLatin1Char('~')))
                ManualClock::Stall(step.mid(1).toInt());
            else if (key.isEmpty())
                held = int(mp.Position()) == value(arg);
            else
                held = (key == "s" ? mp.StartPos() : key == "n" ? mp.notices : mp.StepFrames()) == value(arg);
            if (!held) // the queries below would clear the last error: only once it is read
                QFAIL(qPrintable(QStringLiteral("at %1: error %2, position %3, mode %4").arg(step).arg(mp.LastError())
                                     .arg(mp.Position()).arg(int(mp.Mode()))));
        }
    }

    void playAfterStartPosStartsWithinOneFrame()
    {
        // One second of silence, then a tone: where the tone starts tells where play began.
        const int rate = 44100;
        std::vector<std::int16_t> s(std::size_t(rate) * 2, 0);
        const auto tone = Tone(rate, 2, 2 * rate, 1000, 12000);
        s.insert(s.end(), tone.begin(), tone.end());
        QVERIFY(WriteBytes(Path("onset.wav"), WavBytes(rate, 2, s)));
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
            const long got = onsetOf(Capture(mp, 1000, false));
            const long expected = onset - long(p) * rate / 1000;
            QVERIFY2(std::abs(got - expected) <= 1152, qPrintable(QStringLiteral("p %1: onset %2, expected %3")
                                                                     .arg(p).arg(got).arg(expected)));
        }
    }

    void gainScalesEachChannelRoundedAndZeroSilences()
    {
        std::vector<std::int16_t> s;
        for (int i = 0; i < 4410; ++i) {
            s.push_back(static_cast<std::int16_t>(i * 13 % 65536 - 32768));
            s.push_back(static_cast<std::int16_t>(32767 - i * 7 % 65536));
        }
        const std::vector<std::int16_t> mono(s.begin(), s.begin() + 4410);
        const QByteArray stereoWav = Write(dir_, "ramp.wav", WavBytes(44100, 2, s));
        const QByteArray monoWav = Write(dir_, "mono.wav", WavBytes(44100, 1, mono));

        std::vector<std::uint32_t> seen;
        media::SetVolumeObserver([&](std::uint32_t w) { seen.push_back(w); });
        const std::uint32_t left = 42250, right = 20000;
        media::WaveOutSetVolume(left | (right << 16));
        media::SetVolumeObserver(nullptr);
        QCOMPARE(seen, std::vector<std::uint32_t>{left | (right << 16)});
        QCOMPARE(media::WaveOutVolume(), left | (right << 16));

        for (const bool isMono : {false, true}) {
            TMediaPlayer mp;
            const auto out = Capture(OpenFile(mp, isMono ? monoWav : stereoWav), 200);
            QCOMPARE(out.size(), std::size_t(2 * 4410));
            for (std::size_t i = 0; i < 4410; ++i) {
                const double inL = isMono ? mono[i] : s[2 * i], inR = isMono ? mono[i] : s[2 * i + 1];
                QVERIFY(std::abs(out[2 * i] - inL * left / 65535.0) <= 0.51); // rounded, not cut
                QVERIFY(std::abs(out[2 * i + 1] - inR * right / 65535.0) <= 0.51);
            }
        }
        // The word reaches a device already playing, and zero silences it.
        TMediaPlayer mp;
        auto out = Capture(OpenFile(mp, wav_), 100);
        QVERIFY(std::any_of(out.begin(), out.end(), [](std::int16_t v) { return v != 0; }));
        media::WaveOutSetVolume(0);
        out = Capture(mp, 100, false);
        QVERIFY(!out.empty());
        QVERIFY(std::all_of(out.begin(), out.end(), [](std::int16_t v) { return v == 0; }));
    }

    // A lost output holds the position and is looked for again: one back in time plays on
    // from there, else the device stands paused there and says so once.
    void lostOutputHoldsThenGoesOnOrPauses_data()
    {
        QTest::addColumn<int>("backAfterMs"); // -1: never; -2: each retry finds one, lost at once
        QTest::newRow("back after 1 s") << 1000;
        QTest::newRow("gone for good") << -1;
        QTest::newRow("each found lost at once: the grace still runs out") << -2;
    }
    void lostOutputHoldsThenGoesOnOrPauses()
    {
        QFETCH(int, backAfterMs);
        CountingPlayer mp;
        OpenFile(mp, wav_).Play();
        ManualClock::Advance(700);
        ManualClock::SetOutputAvailable(false);
        ManualClock::LoseOutput();
        for (int waited = 0; waited < 5000; waited += 250) {
            if (waited == backAfterMs || backAfterMs == -2)
                ManualClock::SetOutputAvailable(true);
            ManualClock::Advance(250);
            if (backAfterMs == -2)
                ManualClock::LoseOutput();
            if (mp.Mode() != TMPModes::mpPlaying || mp.Position() != 700u)
                break;
        }
        ManualClock::SetOutputAvailable(true);
        QCOMPARE(mp.gone, backAfterMs < 0 ? 1 : 0);
        QCOMPARE(mp.Mode(), backAfterMs < 0 ? TMPModes::mpPaused : TMPModes::mpPlaying);
        QCOMPARE(mp.Position(), backAfterMs < 0 ? 700u : 950u); // the retry, then 250 ms played
        if (backAfterMs < 0) {
            QCOMPARE(mp.NotifyResult(), TMPNotifyValues::nvAborted);
            mp.Resume();
            QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        }
        ManualClock::Advance(3000);
        VERIFY_AT_END(mp);
        QCOMPARE(mp.gone, backAfterMs < 0 ? 1 : 0);
    }

    // Error texts come from the back end, or say "Unknown error code".
    void withoutDeviceGuardedOperationsRaiseAndQueriesStayQuiet()
    {
        TMediaPlayer mp;
        QCOMPARE(mp.ErrorText(), QString::fromUtf8(media::ErrorString(0)));
        QCOMPARE(mp.StepFrames(), 0);
        const auto raises = [](const std::function<void()> &f) {
            try {
                f();
            } catch (const EMCIDeviceError &e) {
                return e.Message() == "No MCI device open";
            }
            return false;
        };
        const std::function<void()> guarded[] = {[&] { mp.Play(); },  [&] { mp.Stop(); },   [&] { mp.Pause(); },
                                                 [&] { mp.PauseOnly(); }, [&] { mp.Resume(); }, [&] { mp.Rewind(); },
                                                 [&] { mp.Length(); }, [&] { mp.TrackLength(1); }};
        for (std::size_t i = 0; i < std::size(guarded); ++i)
            QVERIFY2(raises(guarded[i]), qPrintable(QString::number(i)));
        mp.Close(); // nothing to close: no effect
        QCOMPARE(mp.Mode(), TMPModes::mpNotReady);
        QVERIFY(mp.LastError() != 0);
        QCOMPARE(mp.Position(), 0u);
        mp.setStartPos(5);
        QCOMPARE(mp.StartPos(), 5);

        const QString refused = TryOpen(mp, Path("missing.mp3"));
        QVERIFY(!refused.isEmpty() && refused != "Unknown error code");
        QCOMPARE(refused, mp.ErrorText());
        QVERIFY(!mp.IsOpen());
        QCOMPARE(mp.DeviceId(), std::uint16_t(0));
        QVERIFY(raises([&] { mp.Play(); }));
        QVERIFY(media::ErrorString(123456) == nullptr);
        QVERIFY(media::ErrorString(media::kErrNotPaused) != nullptr);
        QCOMPARE(TMediaPlayer::ErrorTextFor(123456), "Unknown error code");
        QCOMPARE(TMediaPlayer::ErrorTextFor(media::kErrNotPaused), QString::fromUtf8(media::ErrorString(media::kErrNotPaused)));
    }

    void noticesReportSupersededAbortedAndOtherCodes()
    {
        TMediaPlayer mp;
        std::vector<TMPNotifyValues> got;
        mp.OnNotify = [&](TMediaPlayer *m) { got.push_back(m->NotifyResult()); };
        OpenFile(mp, wav_);
        QVERIFY(mp.CanPlay());
        QVERIFY(!mp.CanRecord() && !mp.CanEject() && !mp.CanStep() && !mp.HasVideo());
        mp.Play();
        mp.setStartPos(100);
        mp.Play();
        mp.Stop();
        QCoreApplication::processEvents();
        QCOMPARE(got, (std::vector<TMPNotifyValues>{TMPNotifyValues::nvSuperseded, TMPNotifyValues::nvAborted}));
        got.clear();
        using N = TMPNotifyValues;
        for (const auto &[code, was, is] : {std::tuple{1, N::nvFailed, N::nvSuccessful}, {2, N::nvFailed, N::nvSuperseded},
                                            {4, N::nvFailed, N::nvAborted}, {8, N::nvAborted, N::nvFailed}})
            QCOMPARE(TMediaPlayer::NotifyResultFor(code, was), is);
        for (const N was : {N::nvSuccessful, N::nvAborted}) // unknown: the result is kept
            QCOMPARE(TMediaPlayer::NotifyResultFor(99, was), was);
        mp.Play();
        mp.Play(); // already playing: the first command is superseded
        QCoreApplication::processEvents();
        QCOMPARE(got, std::vector<TMPNotifyValues>{TMPNotifyValues::nvSuperseded});
    }

    void manyOpenCloseCyclesLeakNoFiles()
    {
        // Pipes and sockets show as broken links: System counts them too.
        const auto fds = [] { return QDir("/proc/self/fd", {}, QDir::NoSort, QDir::AllEntries | QDir::System).count(); };
        const auto before = fds();
        TMediaPlayer mp;
        for (int i = 0; i < 200; ++i) {
            OpenFile(mp, wav_).Play();
            ManualClock::Advance(i % 3 == 0 ? 3000 : 40);
            if (i % 2)
                mp.Close();
        }
        mp.Close();
        QCOMPARE(fds(), before);
    }

    // Deleted under a playing device, a file plays on to its end; cut to a second, it ends
    // early, stopped at its length.
    void fileChangedWhilePlayingEndsAtLength_data()
    {
        QTest::addColumn<bool>("cut");
        QTest::newRow("deleted") << false;
        QTest::newRow("truncated") << true;
    }
    void fileChangedWhilePlayingEndsAtLength()
    {
        QFETCH(bool, cut);
        const QByteArray name =
            Write(dir_, cut ? "long.wav" : "deleted.wav", cut ? WavBytes(44100, 2, Tone(44100, 2, 44100 * 10, 440, 8000)) : ReadBytes(wav_));
        CountingPlayer mp;
        OpenFile(mp, name);
        QCOMPARE(mp.Length(), cut ? 10000u : 2500u);
        mp.Play();
        ManualClock::Advance(500);
        QVERIFY(cut ? ::truncate(name.constData(), 44 + 44100 * 4) == 0 : ::unlink(name.constData()) == 0);
        ManualClock::Advance(1500);
        if (!cut)
            QCOMPARE(mp.Position(), 2000u);
        ManualClock::Advance(3000);
        VERIFY_AT_END(mp);
        QCOMPARE(mp.notices, 1);
    }
};

QTEST_GUILESS_MAIN(MediaPlayerTest)
#include "tst_media_player.moc"
