#include "TestFiles.h"

#include <QtEndian>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

bool WriteBytes(const QByteArray &path, const QByteArray &content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

QByteArray ReadBytes(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return QByteArray();
    QByteArray out("");
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, n);
    ::close(fd);
    return out;
}

std::vector<std::int16_t> Tone(int rate, int channels, int frames, double freq, double amp)
{
    std::vector<std::int16_t> s(static_cast<std::size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s[std::size_t(i) * channels + c] =
                static_cast<std::int16_t>(amp * std::sin(2 * M_PI * freq * (c + 1) * i / rate));
    return s;
}

QByteArray WavBytes(int rate, int channels, const std::vector<std::int16_t> &samples, std::uint32_t mask)
{
    QByteArray b("RIFF");
    const auto put = [&b](std::uint32_t v, int bytes) {
        char le[4];
        qToLittleEndian(v, le);
        b.append(le, bytes);
    };
    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    const std::uint32_t fmt = mask ? 40 : 16;
    put(20 + fmt + data, 4);
    b += "WAVEfmt ";
    put(fmt, 4);
    put(mask ? 0xFFFE : 1, 2);
    put(std::uint32_t(channels), 2);
    put(std::uint32_t(rate), 4);
    put(std::uint32_t(rate * channels * 2), 4);
    put(std::uint32_t(channels * 2), 2);
    put(16, 2);
    if (mask) {
        put(22, 2);
        put(16, 2);
        put(mask, 4);
        b += QByteArray("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16); // PCM
    }
    b += "data";
    put(data, 4);
    b.append(reinterpret_cast<const char *>(samples.data()), qsizetype(data));
    return b;
}

QByteArray MakeWav(std::uint32_t milliseconds, int rate, int channels)
{
    const auto frames = int(std::uint64_t(milliseconds) * std::uint32_t(rate) / 1000);
    return WavBytes(rate, channels, Tone(rate, channels, frames, 440, 8000));
}
