// CPU and wake-ups while a file plays, against the floor for that file.
//
//   playback_floor floor FILE SECONDS   the floor: decode an MP3 with bare libmpg123 (or read a
//                                       WAV's bytes) paced in real time, in half-second batches
//   playback_floor play FILE SECONDS    the media back end (TMediaPlayer over SDL) playing FILE
//   playback_floor output - SECONDS     SDL's output alone, opened as the back end opens it for
//                                       a 44.1 kHz stereo file, its callback writing silence:
//                                       the floor of any player that feeds SDL at that period
//
// Prints one line: "cpu_percent=X wakes_per_s=Y" (and, for play, the wakes of each thread),
// CPU as a share of one core over the measured span, wake-ups as the voluntary context
// switches of every thread of the process. SDL_AUDIODRIVER defaults to dummy.
#include "OpenNow.h"
#include "media/MPlayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <SDL.h>

#include <mpg123.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Voluntary context switches per thread name: each one is the thread going to sleep, so
// the next run is a wake-up.
std::map<std::string, long> Switches()
{
    std::map<std::string, long> out;
    for (const QString &tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream in(("/proc/self/task/" + tid + "/status").toStdString());
        std::string line, name;
        long n = 0;
        while (std::getline(in, line)) {
            if (line.rfind("Name:", 0) == 0)
                name = line.substr(line.find_first_not_of(" \t", 5));
            else if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                n = std::atol(line.substr(line.find(':') + 1).c_str());
        }
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

double Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void SleepUntil(double when)
{
    timespec t{};
    t.tv_sec = static_cast<time_t>(when);
    t.tv_nsec = static_cast<long>((when - double(t.tv_sec)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

bool IsWav(const char *path)
{
    char head[12] = {};
    const int fd = ::open(path, O_RDONLY);
    const bool ok = fd >= 0 && ::read(fd, head, 12) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
                    std::memcmp(head + 8, "WAVE", 4) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// Half a second of audio at a time, each batch due when the previous one would have played.
int Floor(const char *path, int seconds)
{
    constexpr double kBatch = 0.5;
    std::vector<unsigned char> buf;
    mpg123_handle *mh = nullptr;
    int fd = -1;
    std::size_t batchBytes = 0;
    if (IsWav(path)) {
        fd = ::open(path, O_RDONLY);
        batchBytes = std::size_t(44100 * 4 * kBatch); // the fixture is 44.1 kHz 16-bit stereo
    } else {
        mpg123_init();
        int err = 0;
        mh = mpg123_new(nullptr, &err);
        mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
        long rate = 0;
        int ch = 0, enc = 0;
        if (!mh || mpg123_open(mh, path) != MPG123_OK || mpg123_getformat(mh, &rate, &ch, &enc) != MPG123_OK) {
            std::fprintf(stderr, "playback_floor: %s is not MPEG audio\n", path);
            return 1;
        }
        batchBytes = std::size_t(double(rate) * ch * 2 * kBatch);
    }
    buf.resize(batchBytes);
    const double cpu0 = CpuSeconds();
    const long sw0 = Total(Switches());
    const double t0 = Now();
    double due = t0;
    while (due - t0 < seconds) {
        std::size_t done = 0;
        if (mh)
            mpg123_read(mh, buf.data(), batchBytes, &done);
        else
            done = std::size_t(std::max<ssize_t>(0, ::read(fd, buf.data(), batchBytes)));
        if (done == 0) {
            std::fprintf(stderr, "playback_floor: %s is shorter than %d s\n", path, seconds);
            return 1;
        }
        due += kBatch;
        SleepUntil(due);
    }
    const double span = Now() - t0;
    std::printf("cpu_percent=%.4f wakes_per_s=%.1f\n", 100.0 * (CpuSeconds() - cpu0) / span,
                double(Total(Switches()) - sw0) / span);
    if (mh) {
        mpg123_close(mh);
        mpg123_delete(mh);
    }
    if (fd >= 0)
        ::close(fd);
    return 0;
}

int Output(int seconds)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "playback_floor: no SDL audio\n");
        return 1;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    Uint16 samples = 256; // the back end's rule: the longest power of two within 50 ms
    while (samples < 16384 && 2 * samples * 20 <= want.freq)
        samples = static_cast<Uint16>(samples * 2);
    want.samples = samples;
    want.callback = [](void *, Uint8 *stream, int len) { std::memset(stream, 0, std::size_t(len)); };
    const SDL_AudioDeviceID dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (dev == 0) {
        std::fprintf(stderr, "playback_floor: no SDL output\n");
        return 1;
    }
    SDL_PauseAudioDevice(dev, 0);
    SleepUntil(Now() + 1.0); // as for play: measured from a second after the start
    const double cpu0 = CpuSeconds();
    const long sw0 = Total(Switches());
    const double t0 = Now();
    SleepUntil(t0 + seconds);
    const double span = Now() - t0;
    std::printf("cpu_percent=%.4f wakes_per_s=%.1f period_frames=%d\n", 100.0 * (CpuSeconds() - cpu0) / span,
                double(Total(Switches()) - sw0) / span, int(have.samples));
    SDL_CloseAudioDevice(dev);
    return 0;
}

int Play(const char *path, int seconds)
{
    TMediaPlayer mp;
    mp.FileName = path;
    try {
        OpenNow(mp);
    } catch (const EMCIDeviceError &e) {
        std::fprintf(stderr, "playback_floor: %s\n", e.what());
        return 1;
    }
    mp.Play();
    if (mp.Mode() != TMPModes::mpPlaying) {
        std::fprintf(stderr, "playback_floor: the file did not start\n");
        return 1;
    }
    // Measured from a second after the output has started: a PulseAudio null sink that has
    // just lost a client can keep a new one waiting up to two seconds.
    for (int i = 0; i < 100 && mp.Position() == 0; ++i) {
        QTimer::singleShot(50, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
    }
    QTimer::singleShot(1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double cpu0 = CpuSeconds();
    const auto sw0 = Switches();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double span = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = 100.0 * (CpuSeconds() - cpu0) / span;
    const auto sw1 = Switches();
    if (mp.Mode() != TMPModes::mpPlaying) {
        std::fprintf(stderr, "playback_floor: the file stopped before %d s\n", seconds);
        return 1;
    }
    std::printf("cpu_percent=%.4f wakes_per_s=%.1f threads:", cpu, double(Total(sw1) - Total(sw0)) / span);
    for (const auto &[name, n] : sw1) {
        const auto before = sw0.find(name);
        std::printf(" %s=%.1f", name.c_str(), double(n - (before == sw0.end() ? 0 : before->second)) / span);
    }
    // How long the commands that must answer at once take, the output's release included.
    auto timed = [](auto &&f) {
        QElapsedTimer t;
        t.start();
        f();
        return double(t.nsecsElapsed()) / 1e6;
    };
    const double pauseMs = timed([&] { mp.Pause(); });
    const double resumeMs = timed([&] { mp.Resume(); });
    QTimer::singleShot(300, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double seekMs = timed([&] {
        mp.setStartPos(1000);
        mp.Play();
    });
    QTimer::singleShot(300, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double closeMs = timed([&] { mp.Close(); });
    std::printf(" pause_ms=%.1f resume_ms=%.1f seek_ms=%.1f close_ms=%.1f\n", pauseMs, resumeMs, seekMs, closeMs);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "floor") != 0 && std::strcmp(argv[1], "play") != 0 &&
                      std::strcmp(argv[1], "output") != 0)) {
        std::fprintf(stderr, "usage: playback_floor floor|play FILE SECONDS, or output - SECONDS\n");
        return 2;
    }
    const int seconds = std::max(1, std::atoi(argv[3]));
    if (std::strcmp(argv[1], "floor") == 0)
        return Floor(argv[2], seconds);
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    if (std::strcmp(argv[1], "output") == 0)
        return Output(seconds);
    QCoreApplication app(argc, argv);
    return Play(argv[2], seconds);
}
