// CPU used by the media back end alone (no windows) while a file plays through SDL, while
// it is paused and while it stands stopped at its end with the file still open, as a share
// of one core, with how often threads other than the main one woke meanwhile.
//
//   media_idle_cpu [seconds per phase]     (default 10; SDL_AUDIODRIVER defaults to dummy)
#include "OpenNow.h"
#include "media/Device.h"
#include "media/MPlayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Context switches of every thread but the main one: each is a wake-up, or a preemption.
// From getrusage, which also counts threads that have ended meanwhile (a released output's),
// less the main thread's own.
long OtherThreadSwitches()
{
    rusage all{}, main{};
    getrusage(RUSAGE_SELF, &all);
    getrusage(RUSAGE_THREAD, &main);
    return (all.ru_nvcsw + all.ru_nivcsw) - (main.ru_nvcsw + main.ru_nivcsw);
}

struct Figures {
    double cpu;
    double wakes;
};

Figures Measure(int seconds)
{
    const double cpu0 = CpuSeconds();
    const long sw0 = OtherThreadSwitches();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double s = double(wall.nsecsElapsed()) / 1e9;
    return {100.0 * (CpuSeconds() - cpu0) / s, double(OtherThreadSwitches() - sw0) / s};
}

bool WriteWav(const QString &path, int seconds)
{
    const int rate = 44100, frames = rate * seconds;
    std::vector<std::int16_t> s(std::size_t(frames) * 2);
    for (int i = 0; i < frames; ++i)
        s[2 * std::size_t(i)] = s[2 * std::size_t(i) + 1] =
            static_cast<std::int16_t>(6000 * std::sin(2 * M_PI * 440.0 * i / rate));
    auto le = [](QByteArray &b, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
    };
    const auto data = std::uint32_t(s.size() * 2);
    QByteArray b("RIFF");
    le(b, 36 + data, 4);
    b += "WAVEfmt ";
    le(b, 16, 4), le(b, 1, 2), le(b, 2, 2), le(b, rate, 4), le(b, rate * 4, 4), le(b, 4, 2), le(b, 16, 2);
    b += "data";
    le(b, data, 4);
    b.append(reinterpret_cast<const char *>(s.data()), qsizetype(data));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tone.wav"));
    if (!WriteWav(path, seconds + 3))
        return 1;
    TMediaPlayer mp;
    mp.FileName = QFile::encodeName(path);
    OpenNow(mp);
    mp.Play();
    if (mp.Mode() != TMPModes::mpPlaying) {
        std::fprintf(stderr, "media_idle_cpu: the file did not start\n");
        return 1;
    }
    const Figures play = Measure(seconds);
    mp.Pause();
    media::OpenOutputs(); // waits until the output's release has finished and its thread is gone
    const Figures paused = Measure(seconds);
    mp.Resume();
    while (mp.Mode() == TMPModes::mpPlaying)
        Measure(1);
    if (mp.Position() != mp.Length()) {
        std::fprintf(stderr, "media_idle_cpu: the file did not end at its length\n");
        return 1;
    }
    const Figures atEnd = Measure(seconds);
    std::printf("media back end, SDL driver %s, %d s each: playing %.3f%% (%.0f wakes/s); paused %.3f%% "
                "(%.1f wakes/s); stopped at end %.3f%% (%.1f wakes/s)\n",
                qgetenv("SDL_AUDIODRIVER").constData(), seconds, play.cpu, play.wakes, paused.cpu, paused.wakes,
                atEnd.cpu, atEnd.wakes);
    return 0;
}
