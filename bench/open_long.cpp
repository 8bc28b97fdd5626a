// Opens each file named as the player's opener does (the file and its decoder: everything
// of opening that reads it, the length found by the decoder) and prints the wall time it took, the reads it made and the
// length it gives.
//
//   open_long FILE...
#include "media/Decoder.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::atomic<std::uint64_t> reads{0};
        media::CountReads(&reads);
        int error = media::kOk;
        const auto t0 = std::chrono::steady_clock::now();
        const int fd = ::open(argv[i], O_RDONLY | O_CLOEXEC);
        const char *dot = std::strrchr(argv[i], '.');
        const auto dec = fd >= 0 ? media::OpenDecoder(fd, dot ? dot + 1 : nullptr, &error) : nullptr;
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        media::CountReads(nullptr);
        if (fd >= 0)
            ::close(fd);
        if (!dec) {
            std::printf("%s: error %d after %.1f ms\n", argv[i], error, ms);
            status = 1;
            continue;
        }
        std::printf("%s: opened in %.1f ms, %llu reads, length %llu frames\n", argv[i], ms,
                    static_cast<unsigned long long>(reads.load()), static_cast<unsigned long long>(dec->lengthFrames));
    }
    return status;
}
