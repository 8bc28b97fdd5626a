// CPU used by the running player while it plays an MP3 through SDL, while paused
// and while stopped, as a share of one core. Usage: bench_playback_cpu [seconds playing] [FILE]
// With FILE the player plays that file instead, only the playing span is measured, and the
// line printed is "cpu_percent=X wakes_per_s=Y threads: NAME=Z ..." (voluntary context
// switches of all threads, then of the threads of each name).
#include "info/about.h"
#include "media/MPlayer.h"
#include "player/Unit1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <sys/resource.h>

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for the given time and returns the CPU share of one core meanwhile.
double Measure(int seconds)
{
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QApplication::exec();
    return 100.0 * (CpuSeconds() - cpu0) / (double(wall.nsecsElapsed()) / 1e9);
}

// Voluntary context switches by thread name: each one is the thread going to sleep, so the
// next run is a wake-up.
std::map<std::string, long> VoluntarySwitches()
{
    std::map<std::string, long> out;
    for (const QString &tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream in(("/proc/self/task/" + tid + "/status").toStdString());
        std::string line, name;
        long n = 0;
        while (std::getline(in, line)) {
            if (line.rfind("Name:", 0) == 0)
                name = line.substr(std::min(line.size(), line.find_first_not_of(" \t", 5)));
            else if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                n = std::atol(line.substr(line.find(':') + 1).c_str());
        }
        std::replace(name.begin(), name.end(), ' ', '_'); // one word, for the script's reading
        out[name] += n;
    }
    return out;
}

long Total(const std::map<std::string, long> &m)
{
    long t = 0;
    for (const auto &[name, n] : m)
        t += n;
    return t;
}

bool Run(const QString &program, const QStringList &args)
{
    return QProcess::execute(program, args) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication app(argc, argv);
    const int playing = argc > 1 ? std::atoi(argv[1]) : 60;
    const int idle = std::max(5, playing / 3);

    const QString given = argc > 2 ? QFileInfo(QFile::decodeName(argv[2])).absoluteFilePath() : QString();

    QTemporaryDir work;
    QDir::setCurrent(work.path());
    QDir().mkdir(QStringLiteral("music"));
    const int trackSeconds = playing + 10;
    if (!given.isEmpty()) {
        if (!QFile::link(given, QStringLiteral("music/") + QFileInfo(given).fileName()))
            return 1;
    } else if (!Run(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                                     QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("music/t.wav"),
                                     QStringLiteral("synth"), QString::number(trackSeconds), QStringLiteral("pinknoise"),
                                     QStringLiteral("vol"), QStringLiteral("0.3")}) ||
        !Run(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-V2"), QStringLiteral("music/t.wav"),
                                      QStringLiteral("music/t.mp3")})) {
        std::fprintf(stderr, "bench_playback_cpu: sox and lame are needed to make the test file\n");
        return 1;
    } else {
        QFile::remove(QStringLiteral("music/t.wav"));
    }
    QFile rez(QStringLiteral("rez.dat"));
    if (!rez.open(QIODevice::WriteOnly))
        return 1;
    rez.write(QFile::encodeName(work.path()) + "/music/");
    rez.close();

    TForm1 form;
    AboutBox = new TAboutBox;
    form.show();
    form.Play();
    if (form.MediaPlayer1->Mode() != TMPModes::mpPlaying) {
        std::fprintf(stderr, "bench_playback_cpu: the track did not start\n");
        return 1;
    }
    if (!given.isEmpty()) {
        // From a second after the output has started (a PulseAudio null sink that has just
        // lost a client can keep a new one waiting up to two seconds).
        for (int i = 0; i < 100 && form.MediaPlayer1->Position() == 0; ++i) {
            QTimer::singleShot(50, qApp, &QCoreApplication::quit);
            QApplication::exec();
        }
        Measure(1);
        const auto sw0 = VoluntarySwitches();
        QElapsedTimer wall;
        wall.start();
        const double cpu = Measure(playing);
        const double span = double(wall.nsecsElapsed()) / 1e9;
        const auto sw1 = VoluntarySwitches();
        std::printf("cpu_percent=%.4f wakes_per_s=%.1f threads:", cpu, double(Total(sw1) - Total(sw0)) / span);
        for (const auto &[name, n] : sw1) {
            const auto before = sw0.find(name);
            std::printf(" %s=%.1f", name.c_str(), double(n - (before == sw0.end() ? 0 : before->second)) / span);
        }
        std::printf("\n");
        delete AboutBox;
        return form.MediaPlayer1->Mode() == TMPModes::mpPlaying ? 0 : 1;
    }
    const double play = Measure(playing);
    form.SpeedButton6Click();
    const double paused = Measure(idle);
    form.SpeedButton2Click();
    const double stopped = Measure(idle);
    std::printf("CPU of one core (SDL driver %s): playing VBR MP3 %.3f%% over %d s (%.2f s per minute of playback); "
                "paused %.3f%% over %d s; stopped %.3f%% over %d s\n",
                qgetenv("SDL_AUDIODRIVER").constData(), play, playing, play * 60 / 100, paused, idle, stopped, idle);
    delete AboutBox;
    return 0;
}
