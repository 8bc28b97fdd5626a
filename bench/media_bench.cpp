// Prints the CPU time to decode and apply the gain to five minutes of MP3 and of WAV
// through the media back end, next to a bare decode of the same file, and the time to
// Open a five-minute VBR MP3 without a Xing/LAME header. Needs lame on PATH.
//
//   media_bench [work-dir]     (default: a temporary directory, removed afterwards)
#include "OpenNow.h"
#include "media/MPlayer.h"
#include "media/ManualClock.h"
#include "media/Volume.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 300;

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double Best(int runs, const std::function<void()> &f, bool wall = false,
            const std::function<void()> &after = {})
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        struct After {
            const std::function<void()> &f;
            ~After()
            {
                if (f)
                    f();
            }
        } afterRun{after};
        const auto w0 = std::chrono::steady_clock::now();
        const double c0 = CpuSeconds();
        f();
        const double cpu = CpuSeconds() - c0;
        const double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
        best = std::min(best, wall ? w : cpu);
    }
    return best;
}

// Something like music: a few drifting tones, a beat of noise bursts, changing loudness,
// so a VBR encoder really varies its bitrate.
bool WriteSignal(const QString &path)
{
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *sf = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!sf)
        return false;
    std::vector<short> buf(2 * kRate);
    std::uint32_t x = 1;
    for (int sec = 0; sec < kSeconds; ++sec) {
        const double loud = 0.2 + 0.7 * std::fabs(std::sin(sec * 0.21));
        for (int i = 0; i < kRate; ++i) {
            const double t = sec + double(i) / kRate;
            x = x * 1664525u + 1013904223u;
            const double noise = ((x >> 8) / double(1u << 24) - 0.5) * ((i % 11025) < 1500 ? 0.8 : 0.02);
            const double l = 0.3 * std::sin(2 * M_PI * (220 + 20 * std::sin(t)) * t) + 0.2 * std::sin(2 * M_PI * 660 * t);
            const double r = 0.3 * std::sin(2 * M_PI * 330 * t) + 0.15 * std::sin(2 * M_PI * 1234 * t);
            buf[2 * i] = short(32767 * std::clamp(loud * (l + noise), -1.0, 1.0));
            buf[2 * i + 1] = short(32767 * std::clamp(loud * (r + noise), -1.0, 1.0));
        }
        sf_writef_short(sf, buf.data(), kRate);
    }
    sf_close(sf);
    return true;
}

void BareMpeg(const QByteArray &path)
{
    mpg123_handle *mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_open(mh, path.constData());
    std::vector<unsigned char> buf(4096 * 4);
    std::size_t done = 0;
    for (;;) {
        const int ret = mpg123_read(mh, buf.data(), buf.size(), &done);
        if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT)
            break;
    }
    mpg123_close(mh);
    mpg123_delete(mh);
}

void BareWave(const QByteArray &path)
{
    SF_INFO info{};
    SNDFILE *sf = sf_open(path.constData(), SFM_READ, &info);
    std::vector<short> buf(4096 * 2);
    while (sf_readf_short(sf, buf.data(), 4096) > 0) {
    }
    sf_close(sf);
}

void Pipeline(const QByteArray &path)
{
    TMediaPlayer mp;
    mp.FileName = path;
    OpenNow(mp);
    mp.Play();
    while (mp.Mode() == TMPModes::mpPlaying)
        media::ManualClock::Advance(1000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QDir().mkpath(dir);
    const QString wav = dir + "/five.wav", mp3 = dir + "/five-vbr-noheader.mp3";
    if (!QFile::exists(wav) && !WriteSignal(wav)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(wav));
        return 1;
    }
    if (!QFile::exists(mp3)) {
        std::printf("encoding five minutes with lame -V 2 -t ...\n");
        std::fflush(stdout);
        if (QProcess::execute("lame", {"--quiet", "-V", "2", "-t", wav, mp3}) != 0) {
            std::fprintf(stderr, "lame failed\n");
            return 1;
        }
    }
    const QByteArray wavPath = QFile::encodeName(wav), mp3Path = QFile::encodeName(mp3);

    media::ManualClock::Install();
    media::WaveOutSetVolume(42250u | (42250u << 16)); // slider position 7: the gain is really applied

    const double bareMp3 = Best(3, [&] { BareMpeg(mp3Path); });
    const double ourMp3 = Best(3, [&] { Pipeline(mp3Path); });
    const double bareWav = Best(3, [&] { BareWave(wavPath); });
    const double ourWav = Best(3, [&] { Pipeline(wavPath); });
    std::printf("five minutes, 44.1 kHz stereo, gain 42250/65535 (CPU seconds, best of 3)\n");
    std::printf("  MP3 (VBR): bare libmpg123 %.3f s   decode+gain %.3f s   ratio %.2f\n", bareMp3, ourMp3,
                ourMp3 / bareMp3);
    std::printf("  WAV      : bare libsndfile %.3f s  decode+gain %.3f s   ratio %.2f\n", bareWav, ourWav,
                ourWav / bareWav);

    TMediaPlayer mp;
    mp.FileName = mp3Path;
    const double openManual = Best(5, [&] { OpenNow(mp); }, true, [&] { mp.Close(); });
    OpenNow(mp);
    const unsigned length = mp.Length();
    mp.Close();
    std::printf("Open of the VBR MP3 without a header (length %u ms): %.1f ms", length, openManual * 1000);
    media::ManualClock::Uninstall();
    try {
        const double openSdl = Best(5, [&] { OpenNow(mp); }, true, [&] { mp.Close(); });
        std::printf(", %.1f ms with the SDL output (%s)\n", openSdl * 1000,
                    qgetenv("SDL_AUDIODRIVER").isEmpty() ? "default driver" : qgetenv("SDL_AUDIODRIVER").constData());
    } catch (const EMCIDeviceError &e) {
        std::printf("; with the SDL output: %s\n", qPrintable(e.Message()));
    }
    return 0;
}
