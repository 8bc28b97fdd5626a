// The sound server's output against a real, private server with a null sink, judged on what
// its monitor recorded: PulseAudio through libpulse, or (ZOLM_TEST_SERVER=pipewire) PipeWire,
// its session manager and its PulseAudio service, through the native PipeWire output. The
// recording, the sinks and the listing go through the PulseAudio tools either way. The test file says in every frame which frame it is
// (left: 1 + i mod 16384, right: 1 + i / 16384), so the recording tells exactly what was
// played, in which order, and where the sound stopped. No wall clock is asserted on.
#include "media/Decoder.h"
#include "media/Device.h"
#include "media/MPlayer.h"
#include "media/Volume.h"
#include "tests/media/MediaFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <utility>

namespace {
constexpr int kRate = 44100;
constexpr long kFramesPer100Ms = kRate / 10;
// A stream starting into a running sink is mixed into what the sink had already rendered,
// which its monitor has passed on as it was: a recording can miss a sound's first few ms.
constexpr long kEdge = kRate / 50;
const QStringList kRaw{"--raw", "--format=s16le", "--rate=44100", "--channels=2"};

std::vector<std::int16_t> Indexed(int frames)
{
    std::vector<std::int16_t> s(2 * std::size_t(frames));
    for (int i = 0; i < frames; ++i) {
        s[2 * std::size_t(i)] = std::int16_t(1 + i % 16384);
        s[2 * std::size_t(i) + 1] = std::int16_t(1 + i / 16384);
    }
    return s;
}

// The frame indices heard, silence left out but for -n where n frames of silence came
// between two frames heard (a pause or a dropout, even where the frames go on in order).
std::vector<long> Heard(const QByteArray &raw)
{
    std::vector<long> out;
    long gap = 0;
    const auto *s = reinterpret_cast<const std::int16_t *>(raw.constData());
    for (qsizetype i = 0; i + 1 < raw.size() / 2; i += 2) {
        if (s[i] == 0 && s[i + 1] == 0) {
            gap += !out.empty();
            continue;
        }
        if (gap > 0)
            out.push_back(-std::exchange(gap, 0));
        out.push_back(long(s[i + 1] - 1) * 16384 + (s[i] - 1));
    }
    return out;
}

// PipeWire without real-time scheduling, on a loaded machine, misses a graph cycle now and then:
// the recorder loses it, or a stream is heard a cycle late, whichever client it hits (the
// PulseAudio service's streams as well as native ones). A slip of up to this many frames,
// lost or silent, does not break a run there.
constexpr long kGraphSlip = 256;

// Runs of consecutive frames without silence between, as [first, last] pairs; `slip`: the
// frames that may be missing or silent between two frames of one run.
std::vector<std::pair<long, long>> Runs(const std::vector<long> &heard, long slip = 0)
{
    std::vector<std::pair<long, long>> runs;
    long silent = 0; // frames of silence since the last frame heard
    for (long f : heard) {
        if (f < 0) {
            silent = -f;
            continue;
        }
        const long next = runs.empty() ? -1 : runs.back().second + 1;
        const bool joins = !runs.empty() && f >= next && f - next + silent <= slip;
        if (!runs.empty() && joins)
            runs.back().second = f;
        else
            runs.push_back({f, f});
        silent = 0;
    }
    return runs;
}
} // namespace

class MediaPulseTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QProcess server_, recorder_, silence_;
    // PipeWire's: its session manager, its PulseAudio service, the session bus they use.
    QProcess session_, pulseService_, bus_;
    QString playerSocket_, testSocket_, busAddress_;
    const bool pipewire_ = qgetenv("ZOLM_TEST_SERVER") == "pipewire";

    QProcessEnvironment Env() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir_.filePath("home"));
        env.insert("XDG_RUNTIME_DIR", dir_.filePath("run"));
        env.insert("PULSE_RUNTIME_PATH", dir_.filePath("run/pulse"));
        env.insert("XDG_CONFIG_HOME", dir_.filePath("home/.config"));
        env.insert("PULSE_SERVER", "unix:" + (pipewire_ ? dir_.filePath("run/pulse/native") : testSocket_));
        // PipeWire listens on the test's name; the player's is linked to it once all is ready.
        env.insert("PIPEWIRE_CORE", "test-0");
        env.insert("PIPEWIRE_REMOTE", "test-0");
        env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress_);
        return env;
    }
    bool Pactl(const QStringList &args, QByteArray *out = nullptr)
    {
        QProcess p;
        p.setProcessEnvironment(Env());
        p.start("pactl", args);
        const bool ok = p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (out)
            *out = p.readAllStandardOutput();
        return ok;
    }
    void Launch(QProcess &p, const QString &program, const QStringList &args = {})
    {
        p.setProcessEnvironment(Env());
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(program, args);
    }
    // PipeWire with a null sink at the file's rate, so that nothing is resampled, as default.
    bool StartPipeWire()
    {
        if (busAddress_.isEmpty()) {
            bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
            if (!bus_.waitForStarted() || !QTest::qWaitFor([this] { return bus_.canReadLine(); }, 10000))
                return false;
            busAddress_ = QString::fromUtf8(bus_.readLine().trimmed());
        }
        Launch(server_, "pipewire");
        if (!QTest::qWaitFor([this] { return QFileInfo(dir_.filePath("run/test-0")).exists(); }, 10000))
            return false;
        Launch(session_, "wireplumber");
        Launch(pulseService_, "pipewire-pulse");
        return QTest::qWaitFor([this] { return Pactl({"info"}); }, 10000) &&
               Pactl({"load-module", "module-null-sink", "sink_name=out", "format=s16le", "rate=44100",
                      "channels=2"}) &&
               QTest::qWaitFor([this] { return Pactl({"set-default-sink", "out"}); }, 10000);
    }
    // The server comes up answering the test's own socket only; the player's is added once
    // the recorder is in place, so that the recording misses nothing the player sends.
    bool StartServer()
    {
        if (pipewire_) {
            if (!StartPipeWire())
                return false;
        } else {
            Launch(server_, "pulseaudio",
                   {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr",
                    "--log-level=error", "--disable-shm=yes", "-L",
                    "module-null-sink sink_name=out format=s16le rate=44100 channels=2", "-L",
                    "module-native-protocol-unix auth-anonymous=1 socket=" + testSocket_});
            if (!server_.waitForStarted() || !QTest::qWaitFor([this] { return Pactl({"info"}); }, 10000))
                return false;
        }
        // Silence keeps the sink running at a short latency: an idle null sink's monitor
        // loses the first moments of whatever wakes it.
        silence_.setProcessEnvironment(Env());
        silence_.start("pacat", kRaw + QStringList{"--latency-msec=10", "/dev/zero"});
        if (!Listed("sink-inputs") || !StartRecording())
            return false;
        if (pipewire_)
            return QFile::link(dir_.filePath("run/test-0"), playerSocket_);
        return Pactl({"load-module", "module-native-protocol-unix", "auth-anonymous=1", "socket=" + playerSocket_});
    }
    // Returns once the recorder is taking the monitor's sound.
    bool StartRecording()
    {
        recorder_.setProcessEnvironment(Env());
        recorder_.start("parec", kRaw + QStringList{"-d", "out.monitor", "--latency-msec=20"});
        return Listed("source-outputs");
    }
    // Waits for the server to list a stream of the kind.
    bool Listed(const QString &kind)
    {
        QByteArray list;
        return QTest::qWaitFor([&] { return Pactl({"list", "short", kind}, &list) && !list.isEmpty(); }, 10000);
    }
    // What was recorded since the last call, once the recorder has caught up.
    QByteArray Recorded()
    {
        QTest::qWait(500);
        return recorder_.readAllStandardOutput();
    }
    void KillServer()
    {
        QFile::remove(playerSocket_);
        QFile::remove(dir_.filePath("run/test-0")); // so that its coming back can be seen
        for (QProcess *p : {&server_, &session_, &pulseService_}) {
            p->kill();
            p->waitForFinished(20000);
        }
        silence_.waitForFinished(20000);
    }
    // Plays the samples from a file, the recording taken up to then set aside.
    void PlayFile(TMediaPlayer &mp, const std::vector<std::int16_t> &samples)
    {
        QVERIFY(WriteBytes(QFile::encodeName(dir_.filePath("t.wav")), WavBytes(kRate, 2, samples)));
        Recorded();
        mp.FileName = QFile::encodeName(dir_.filePath("t.wav"));
        mp.Open();
        mp.Play();
    }
    long Slip() const { return pipewire_ ? kGraphSlip : 0; }
    static long Frames(std::uint32_t ms) { return long(ms) * kRate / 1000; }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY(QDir(dir_.path()).mkpath("home/.config/pipewire/pipewire.conf.d") &&
                QDir(dir_.path()).mkpath("run/pulse"));
        QVERIFY(QFile::setPermissions(dir_.filePath("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                QFileDevice::ExeOwner));
        QVERIFY(WriteBytes(QFile::encodeName(dir_.filePath("home/.config/pipewire/pipewire.conf.d/rate.conf")),
                           "context.properties = { default.clock.rate = 44100 }\n"));
        playerSocket_ = dir_.filePath("player.sock");
        testSocket_ = dir_.filePath("test.sock");
        // The player's process talks to this server alone, never to the desktop's, and on
        // PipeWire through the native output only (no PulseAudio server answers it).
        qunsetenv("SDL_AUDIODRIVER");
        qputenv("PULSE_SERVER", ("unix:" + (pipewire_ ? dir_.filePath("none.sock") : playerSocket_)).toUtf8());
        qputenv("PIPEWIRE_REMOTE", (pipewire_ ? playerSocket_ : dir_.filePath("none.sock")).toUtf8());
        qputenv("HOME", dir_.filePath("home").toUtf8());
        qputenv("XDG_RUNTIME_DIR", dir_.filePath("run").toUtf8());
        QVERIFY(StartServer());
    }
    void cleanupTestCase()
    {
        recorder_.terminate();
        recorder_.waitForFinished(20000);
        KillServer();
        bus_.kill();
        bus_.waitForFinished(20000);
    }
    void init()
    {
        if (server_.state() != QProcess::Running) // a failed test may have left it down
            QVERIFY(StartServer());
    }
    void cleanup() { media::WaveOutSetVolume(0xFFFFFFFFu); }

    // Every frame once, in order, at exactly the gain asked for, and the position ends at
    // the length.
    void playsEveryFrameOnceAtTheGain_data()
    {
        QTest::addColumn<std::uint32_t>("word");
        QTest::newRow("unity") << 0xFFFFFFFFu;
        QTest::newRow("left quarter, right three quarters") << 0xC0004000u;
    }
    void playsEveryFrameOnceAtTheGain()
    {
        QFETCH(std::uint32_t, word);
        const int frames = 2 * kRate + 1234;
        // At unity every frame comes through untouched, so the frames tell their order;
        // under a gain, a tone gives sox levels to compare.
        const bool indexed = word == 0xFFFFFFFFu;
        const std::vector<std::int16_t> samples = indexed ? Indexed(frames) : Tone(kRate, 2, frames, 440, 16000);
        media::WaveOutSetVolume(word);
        TMediaPlayer mp;
        int notices = 0;
        mp.OnNotify = [&](TMediaPlayer *) { ++notices; };
        PlayFile(mp, samples);
        QTRY_COMPARE_WITH_TIMEOUT(notices, 1, 20000);
        QCOMPARE(mp.Mode(), TMPModes::mpStopped);
        QCOMPARE(mp.NotifyResult(), TMPNotifyValues::nvSuccessful);
        QCOMPARE(mp.Position(), mp.Length());
        const QByteArray rec = Recorded();
        const std::vector<long> heard = Heard(rec);
        if (indexed) { // each frame heard is its own value: nothing changed, lost or repeated
            const auto runs = Runs(heard, Slip());
            QCOMPARE(runs.size(), std::size_t(1));
            QVERIFY2(runs[0].first <= kEdge, qPrintable(QString::number(runs[0].first)));
            QCOMPARE(runs[0].second, long(frames - 1));
            return;
        }
        QVERIFY(WriteBytes(QFile::encodeName(dir_.filePath("rec.raw")), rec));
        for (int channel : {1, 2}) {
            const double gain = double(channel == 1 ? word & 0xFFFF : word >> 16) / 65535.0;
            const auto want = fx::SoxStat({dir_.filePath("t.wav")}, channel);
            const auto got = fx::SoxStat({"-t", "raw", "-r", "44100", "-e", "signed", "-b", "16", "-c", "2",
                                          dir_.filePath("rec.raw")}, channel);
            QVERIFY(want.value("Maximum amplitude") > 0);
            QVERIFY2(std::abs(got.value("Maximum amplitude") - gain * want.value("Maximum amplitude")) <= 1.5 / 32768,
                     qPrintable(QString::number(got.value("Maximum amplitude"))));
            // Over the frames heard, so the silence around them does not count.
            const auto *x = reinterpret_cast<const std::int16_t *>(rec.constData());
            qsizetype sounding = 0;
            for (qsizetype i = 0; i + 1 < rec.size() / 2; i += 2)
                sounding += x[i] != 0 || x[i + 1] != 0;
            const double rms = got.value("RMS amplitude") * std::sqrt(double(rec.size() / 4) / double(sounding));
            const double expected = gain * want.value("RMS amplitude");
            QVERIFY2(std::abs(rms - expected) <= 2.0 / 32768 + 1e-3 * rms,
                     qPrintable(QStringLiteral("%1, expected %2").arg(rms).arg(expected)));
        }
    }

    // Where the sound stops (or changes, for a new gain) after a command, against the
    // position the output reported as played when the command was given.
    void commandsAreHeardWithinATenthOfASecond_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *c : {"pause", "seek", "stop", "volume"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void commandsAreHeardWithinATenthOfASecond()
    {
        QFETCH(QString, command);
        const int frames = 4 * kRate;
        TMediaPlayer mp;
        PlayFile(mp, Indexed(frames));
        QTRY_VERIFY_WITH_TIMEOUT(mp.Position() >= 1000, 20000);
        const long at = Frames(mp.Position());
        long resumedAt = -1;
        if (command == "pause") {
            mp.Pause();
            resumedAt = Frames(mp.Position());
            QTest::qWait(300);
            mp.Resume();
        } else if (command == "seek") {
            mp.setStartPos(3000);
            mp.Play();
            resumedAt = Frames(3000);
        } else if (command == "stop") {
            mp.Close();
        } else {
            media::WaveOutSetVolume(0x80008000u); // from then on the frames no longer read as their index
        }
        if (mp.IsOpen())
            QTRY_COMPARE_WITH_TIMEOUT(mp.Mode(), TMPModes::mpStopped, 20000);
        const auto runs = Runs(Heard(Recorded()), Slip());
        if (command != "volume")
            QCOMPARE(runs.size(), std::size_t(resumedAt < 0 ? 1 : 2));
        const long stopped = runs[0].second;
        QVERIFY2(stopped <= at + kFramesPer100Ms && stopped >= at - kFramesPer100Ms / 2,
                 qPrintable(QStringLiteral("the sound changed at %1, the command came at %2").arg(stopped).arg(at)));
        if (resumedAt >= 0) {
            QVERIFY2(runs[1].first >= resumedAt && runs[1].first <= resumedAt + kEdge,
                     qPrintable(QStringLiteral("went on at %1, not %2").arg(runs[1].first).arg(resumedAt)));
            QCOMPARE(runs[1].second, long(frames - 1));
        }
    }

    // The stream names no device: when the default sink changes, the server moves it there.
    void followsTheDefaultSink()
    {
        TMediaPlayer mp;
        PlayFile(mp, Indexed(3 * kRate));
        QByteArray module;
        QVERIFY(Pactl({"load-module", "module-null-sink", "sink_name=other"}, &module));
        QVERIFY(Pactl({"set-default-sink", "other"}));
        // The sink our stream plays on, by its name.
        const auto sinkOfPlayer = [this] {
            QByteArray sinks, inputs;
            Pactl({"-f", "json", "list", "sinks"}, &sinks);
            Pactl({"-f", "json", "list", "sink-inputs"}, &inputs);
            for (const QJsonValue in : QJsonDocument::fromJson(inputs).array())
                if (in["properties"]["application.name"] == QStringLiteral("ZOLM Player"))
                    for (const QJsonValue sink : QJsonDocument::fromJson(sinks).array())
                        if (sink["index"] == in["sink"])
                            return sink["name"].toString();
            return QString();
        };
        QTRY_COMPARE_WITH_TIMEOUT(sinkOfPlayer(), QStringLiteral("other"), 10000);
        QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        if (pipewire_) { // the native output's stream (not SDL's, nor one through the PulseAudio service)
            QByteArray inputs;
            QVERIFY(Pactl({"-f", "json", "list", "sink-inputs"}, &inputs));
            bool native = false;
            for (const QJsonValue in : QJsonDocument::fromJson(inputs).array())
                native |= in["properties"]["application.name"] == QStringLiteral("ZOLM Player") &&
                          in["properties"]["node.rate"] == QStringLiteral("1/44100") &&
                          in["properties"]["client.api"] != QStringLiteral("pipewire-pulse");
            QVERIFY(native);
        }
        QVERIFY(Pactl({"set-default-sink", "out"}));
        QTRY_COMPARE_WITH_TIMEOUT(sinkOfPlayer(), QStringLiteral("out"), 10000);
        mp.Close();
        QVERIFY(Pactl({"unload-module", QString::fromLatin1(module.trimmed())}));
    }

    // The server goes away mid-track. Back 2 s later, the sound goes on from where it
    // stopped; gone for good, the device stands paused there, says so once, and plays on
    // when resumed once a server answers again.
    void serverGoneMidTrack_data()
    {
        QTest::addColumn<bool>("backInTime");
        QTest::newRow("back after 2 s") << true;
        QTest::newRow("gone for good") << false;
    }
    void serverGoneMidTrack()
    {
        QFETCH(bool, backInTime);
        const int frames = 5 * kRate;
        TMediaPlayer mp;
        int gone = 0;
        mp.OnOutputGone = [&](TMediaPlayer *) { ++gone; };
        PlayFile(mp, Indexed(frames));
        QTRY_VERIFY_WITH_TIMEOUT(mp.Position() >= 1500, 20000);
        KillServer();
        recorder_.waitForFinished(20000);
        const auto before = Runs(Heard(recorder_.readAllStandardOutput()), Slip());
        QCOMPARE(before.size(), std::size_t(1));
        const long stopped = before[0].second;
        if (backInTime) {
            QTest::qWait(2000);
            QCOMPARE(mp.Mode(), TMPModes::mpPlaying); // still looking for its output
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(mp.Mode(), TMPModes::mpPaused, 20000);
            QCOMPARE(gone, 1);
        }
        // The position holds where the sound stopped (what the server last said was played;
        // the recorder, killed with the server, may have lost its last few ms).
        const long held = Frames(mp.Position());
        QVERIFY2(held <= stopped + kEdge && held >= stopped - 2 * kFramesPer100Ms,
                 qPrintable(QStringLiteral("held at %1, the sound stopped at %2").arg(held).arg(stopped)));
        QVERIFY(StartServer());
        if (!backInTime) {
            QCOMPARE(mp.Mode(), TMPModes::mpPaused);
            mp.Resume();
            QCOMPARE(mp.LastError(), media::kOk);
            QCOMPARE(mp.Mode(), TMPModes::mpPlaying);
        }
        QTRY_COMPARE_WITH_TIMEOUT(mp.Mode(), TMPModes::mpStopped, 30000);
        QCOMPARE(mp.Position(), mp.Length());
        QCOMPARE(gone, backInTime ? 0 : 1);
        const auto after = Runs(Heard(Recorded()), Slip());
        QCOMPARE(after.size(), std::size_t(1));
        QVERIFY2(after[0].first >= held && after[0].first <= held + kEdge,
                 qPrintable(QStringLiteral("went on at %1, held at %2").arg(after[0].first).arg(held)));
        QCOMPARE(after[0].second, long(frames - 1));
    }
};

QTEST_GUILESS_MAIN(MediaPulseTest)
#include "tst_media_pulse.moc"
