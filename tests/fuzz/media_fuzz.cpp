// Feeds arbitrary bytes to the decoder choice and the decoders, as a file named .mp3 and
// as one named .wav: opening, decoding, seeking to the middle and past the end.
#include "media/Decoder.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Exercise(int fd, const char *extension)
{
    int error = 0;
    auto dec = media::OpenDecoder(fd, extension, &error);
    if (!dec) {
        if (error == 0 || media::ErrorString(error) == nullptr)
            std::abort(); // a refusal must say why
        return;
    }
    if (dec->rate <= 0 || dec->channels <= 0 || dec->lengthFrames == 0)
        std::abort();
    std::vector<std::int16_t> buf(4096 * static_cast<std::size_t>(dec->channels));
    // Enough to cover every input the fuzzer makes, bounded so one input cannot run for long.
    std::uint64_t total = 0;
    while (total < (1u << 20)) {
        const std::size_t got = dec->Read(buf.data(), 4096);
        if (got == 0)
            break;
        if (got > 4096)
            std::abort();
        total += got;
    }
    if (dec->Seek(dec->lengthFrames / 2))
        dec->Read(buf.data(), 4096);
    dec->Seek(dec->lengthFrames + 1000);
    dec->Read(buf.data(), 4096);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const int fd = memfd_create("media-fuzz", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = write(fd, data + done, size - done);
        if (w <= 0)
            break;
        done += static_cast<std::size_t>(w);
    }
    Exercise(fd, "mp3");
    Exercise(fd, "wav");
    close(fd);
    return 0;
}
