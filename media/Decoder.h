#pragma once
// Decoders behind the media back end: a file descriptor in, 16-bit interleaved stereo out
// (mono on both sides, more channels folded down).
// No Qt here, so the fuzz target can build this file on its own.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sys/stat.h>

namespace media {

// The back end's error codes. 0 is success; texts are in ErrorString().
enum Error : int {
    kOk = 0,
    kErrFileNotFound = 301,
    kErrAccessDenied = 302,
    kErrIsDirectory = 303,
    kErrNotRegularFile = 304,
    kErrEmptyFile = 305,
    kErrReadFailed = 306,
    kErrUnknownFormat = 307,
    kErrBadWave = 308,
    kErrBadMpeg = 309,
    kErrNoAudio = 310,
    kErrUnsupportedFormat = 311,
    kErrNoOutput = 312,
    kErrNoDevice = 313,
    kErrOutOfRange = 314,
    kErrNotPaused = 315,
    kErrReadStalled = 317,
};

// The text for a code, or nullptr when the back end has none.
const char *ErrorString(int code);

class Decoder {
public:
    virtual ~Decoder() = default;
    int rate = 0;
    int channels = 2; // what Read delivers: always stereo
    std::uint64_t lengthFrames = 0; // frames per channel

    // Decodes up to `frames` frames of `channels` interleaved samples; 0 means the stream is over
    // (end, truncation or a read error: all end playback the same way).
    virtual std::size_t Read(std::int16_t *out, std::size_t frames) = 0;
    // Positions the next Read at `frame`; false when the decoder cannot.
    virtual bool Seek(std::uint64_t frame) = 0;
};


// Opens a decoder on fd, which stays owned by the caller and must outlive the decoder.
// The decoder is chosen from the content; `extension` (e.g. "mp3", may be null) only
// breaks ties when the content is not conclusive. On failure returns null and sets *error.
std::unique_ptr<Decoder> OpenDecoder(int fd, const char *extension, int *error);
// The same for a descriptor already looked at: st is what fstat() said of fd.
std::unique_ptr<Decoder> OpenDecoder(int fd, const struct stat &st, const char *extension, int *error);

// While set, every read of a file the decoders make on the calling thread adds one to
// `counter` as it returns (null: none), so that another thread sees whether they move.
void CountReads(std::atomic<std::uint64_t> *counter);

} // namespace media
