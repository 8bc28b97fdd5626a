#include "TestSupport.h"

#include <QtEndian>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

ScratchDir::~ScratchDir()
{
    QDir::setCurrent(old_);
    ::nftw(QFile::encodeName(dir_.path()).constData(),
           [](const char *path, const struct stat *, int, struct FTW *) { return ::remove(path); }, 16,
           FTW_DEPTH | FTW_PHYS);
}

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

QByteArray MakeWav(std::uint32_t milliseconds, int rate, int channels)
{
    const std::uint32_t frames = std::uint32_t(std::uint64_t(milliseconds) * std::uint32_t(rate) / 1000);
    const std::uint32_t dataBytes = frames * std::uint32_t(channels) * 2;
    QByteArray out;
    auto u32 = [&out](std::uint32_t v) { char b[4]; qToLittleEndian(v, b); out.append(b, 4); };
    auto u16 = [&out](std::uint16_t v) { char b[2]; qToLittleEndian(v, b); out.append(b, 2); };
    out.append("RIFF");
    u32(36 + dataBytes);
    out.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(std::uint16_t(channels));
    u32(std::uint32_t(rate));
    u32(std::uint32_t(rate * channels * 2));
    u16(std::uint16_t(channels * 2));
    u16(16);
    out.append("data");
    u32(dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto s = std::int16_t(8000 * std::sin(2 * M_PI * 440.0 * i / rate));
        for (int c = 0; c < channels; ++c)
            u16(std::uint16_t(s));
    }
    return out;
}
