#include "media/Decoder.h"

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace media {

const char *ErrorString(int code)
{
    switch (code) {
    case kOk: return "The specified command was carried out.";
    case kErrFileNotFound: return "The file cannot be found. Make sure the path and the file name are correct.";
    case kErrAccessDenied: return "The file cannot be read: access is denied.";
    case kErrIsDirectory: return "The name is a folder, not an audio file.";
    case kErrNotRegularFile: return "The name is not an ordinary file.";
    case kErrEmptyFile: return "The file is empty.";
    case kErrReadFailed: return "The file cannot be read (input/output error).";
    case kErrUnknownFormat: return "The file is neither WAV nor MPEG audio.";
    case kErrBadWave: return "The WAV file is damaged or its encoding cannot be played.";
    case kErrBadMpeg: return "The MPEG audio file is damaged: it holds no playable audio.";
    case kErrNoAudio: return "The file holds no audio.";
    case kErrUnsupportedFormat: return "The file's sample rate or channel layout cannot be played.";
    case kErrNoOutput: return "No audio output device can be opened.";
    case kErrNoDevice: return "No device is open.";
    case kErrOutOfRange: return "The position is beyond the end of the file.";
    case kErrNotPaused: return "The device is not paused.";
    case kErrReadStalled: return "The file cannot be read: the storage it is on does not answer.";
    default: return nullptr;
    }
}

namespace {

constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;
constexpr int kMaxChannels = 64;

// ---- content sniffing --------------------------------------------------------------

struct FrameHeader {
    int version = 0; // 0: MPEG 1, 1: MPEG 2, 2: MPEG 2.5
    int layer = 0;   // 1..3
    int rate = 0;
    int size = 0;    // bytes, header included; 0 for a free-format frame
    bool padded = false;
};

constexpr int kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

// Size of an unpadded frame at `bitrate` bits per second.
int FrameBytes(const FrameHeader &h, int bitrate)
{
    if (h.layer == 1)
        return 12 * bitrate / h.rate * 4;
    if (h.layer == 3 && h.version != 0)
        return 72 * bitrate / h.rate;
    return 144 * bitrate / h.rate;
}

// Parses a 4-byte MPEG audio frame header. A free-format header (bitrate index 0) parses
// with size 0: its frames can only be measured by finding the next one.
bool ParseHeader(const unsigned char *p, FrameHeader *h)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int verBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int brIndex = p[2] >> 4;
    const int srIndex = (p[2] >> 2) & 3;
    if (verBits == 1 || layerBits == 0 || brIndex == 15 || srIndex == 3 || (p[3] & 3) == 2)
        return false;
    static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    h->version = verBits == 3 ? 0 : verBits == 2 ? 1 : 2;
    h->layer = 4 - layerBits;
    h->rate = kRates[h->version][srIndex];
    h->padded = (p[2] >> 1) & 1;
    if (brIndex == 0) {
        h->size = 0;
        return true;
    }
    h->size = FrameBytes(*h, kBitrates[h->version == 0 ? 0 : 1][h->layer - 1][brIndex] * 1000) +
              (h->padded ? (h->layer == 1 ? 4 : 1) : 0);
    return h->size >= 4;
}

// Two headers of one stream: everything equal but the padding, private and mode-extension
// bits, which may change from frame to frame.
bool SameStream(const unsigned char *a, const unsigned char *b)
{
    return a[0] == b[0] && a[1] == b[1] && (a[2] & 0xFC) == (b[2] & 0xFC) && (a[3] & 0xCF) == (b[3] & 0xCF);
}

// Layer I allocations are 4-bit codes of which 15 is forbidden; PCM around zero, which
// can look like a Layer I header, is full of 0xF nibbles.
bool LayerOneAllocationsValid(const unsigned char *frame, std::size_t available)
{
    const std::size_t start = (frame[1] & 1) ? 4 : 6; // after the CRC when there is one
    if (available < start + 16)
        return false;
    for (std::size_t k = start; k < start + 16; ++k)
        if ((frame[k] & 0x0F) == 0x0F || (frame[k] & 0xF0) == 0xF0)
            return false;
    return true;
}

enum class Mpeg { None, Weak, Strong };

// A free-format stream at the start of the audio: frames of one size (a padding slot
// aside) that the size of a real bitrate bounds, each starting with a matching header.
Mpeg SniffFreeFormat(const unsigned char *w, std::size_t n, bool windowIsWholeRest, std::uint64_t restSize)
{
    FrameHeader first;
    if (n < 4 || !ParseHeader(w, &first) || first.size != 0)
        return Mpeg::None;
    if (first.layer == 1 && !LayerOneAllocationsValid(w, n))
        return Mpeg::None;
    const int slot = first.layer == 1 ? 4 : 1;
    const int minSize = FrameBytes(first, kBitrates[first.version == 0 ? 0 : 1][first.layer - 1][1] * 1000);
    constexpr int kMaxSize = 3456; // libmpg123's largest frame
    const std::size_t padFirst = first.padded ? std::size_t(slot) : 0;
    // The first frame's size is the distance to the next matching header; a match inside
    // the frame's data is possible, so each candidate distance is tried in turn.
    int tried = 0;
    for (std::size_t d = std::size_t(minSize) + padFirst; d <= std::size_t(kMaxSize) + padFirst && tried < 8; ++d) {
        if (d + 4 > n)
            break;
        if (!SameStream(w, w + d))
            continue;
        ++tried;
        const std::size_t base = d - padFirst; // the unpadded frame size
        std::size_t pos = d;
        int count = 1;
        bool reachedEnd = false;
        for (;;) {
            FrameHeader h;
            if (!ParseHeader(w + pos, &h) || !SameStream(w, w + pos))
                break;
            if (first.layer == 1 && !LayerOneAllocationsValid(w + pos, n - pos))
                break;
            ++count;
            pos += base + (h.padded ? std::size_t(slot) : 0);
            if (count >= 4)
                return Mpeg::Strong;
            if (windowIsWholeRest && (pos == restSize || (pos + 128 == restSize && std::memcmp(w + pos, "TAG", 3) == 0))) {
                reachedEnd = true;
                break;
            }
            if (pos + 4 > n)
                break;
        }
        if (reachedEnd && count >= 2)
            return Mpeg::Weak;
    }
    return Mpeg::None;
}

// Looks for a chain of MPEG frames in a window of the file that starts at the first byte
// after any ID3v2 tags. Four chained frames with one version, layer and rate are proof.
// A shorter chain counts only when it starts the audio or runs to the end of the file
// (a short or truncated file, or one with a trailer after its frames).
Mpeg SniffMpeg(const unsigned char *w, std::size_t n, bool windowIsWholeRest, std::uint64_t restSize)
{
    Mpeg best = SniffFreeFormat(w, n, windowIsWholeRest, restSize);
    if (best == Mpeg::Strong)
        return best;
    for (std::size_t i = 0; i + 4 <= n; ++i) {
        FrameHeader first;
        if (!ParseHeader(w + i, &first) || first.size == 0)
            continue;
        std::size_t pos = i;
        int count = 0;
        bool reachedEnd = false;
        FrameHeader h = first;
        for (;;) {
            ++count;
            pos += static_cast<std::size_t>(h.size);
            if (count >= 4)
                break;
            if (pos >= n) {
                reachedEnd = windowIsWholeRest;
                break;
            }
            if (windowIsWholeRest && pos + 128 == restSize && n - pos >= 3 && std::memcmp(w + pos, "TAG", 3) == 0) {
                reachedEnd = true;
                break;
            }
            if (pos + 4 > n) {
                reachedEnd = windowIsWholeRest;
                break;
            }
            FrameHeader next;
            if (!ParseHeader(w + pos, &next) || next.size == 0 || next.version != first.version ||
                next.layer != first.layer || next.rate != first.rate)
                break;
            h = next;
        }
        if (count >= 4)
            return Mpeg::Strong;
        if ((reachedEnd && (count >= 2 || i == 0)) || (i == 0 && count >= 2))
            best = Mpeg::Weak;
    }
    return best;
}

thread_local std::atomic<std::uint64_t> *t_readsDone = nullptr;

bool ReadAt(int fd, std::uint64_t offset, unsigned char *buf, std::size_t size, std::size_t *got)
{
    std::size_t total = 0;
    while (total < size) {
        const ssize_t r = pread(fd, buf + total, size - total, static_cast<off_t>(offset + total));
        if (t_readsDone)
            t_readsDone->fetch_add(1, std::memory_order_relaxed);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0)
            break;
        total += static_cast<std::size_t>(r);
    }
    *got = total;
    return true;
}

std::uint32_t BigEndian32(const unsigned char *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Whether a header's byte count is borne out by the file: one cut short or stitched
// together has fewer or more bytes than its header says. Tags may follow the audio
// (ID3v1, APE): a little more is fine.
bool BytesAgree(std::uint64_t bytes, std::uint64_t audioBytes)
{
    return bytes <= audioBytes && audioBytes - bytes <= audioBytes / 100 + 16384;
}

// What the stream's first frame says of its length. A Xing or Info header that counts the
// frames: libmpg123 then takes the exact length from it, the LAME tag's encoder delay and
// padding trimmed as it decodes (returns true, *vbriSamples 0). A VBRI header (Fraunhofer's):
// libmpg123 knows nothing of it and decodes its frame as one of silence, so the length is
// the frames it counts and that one, in samples (*vbriSamples). False: no header gives it.
bool HeaderCountsFrames(const unsigned char *w, std::size_t n, std::uint64_t audioBytes, std::uint64_t *vbriSamples)
{
    *vbriSamples = 0;
    FrameHeader h;
    if (n < 4 || !ParseHeader(w, &h) || h.layer != 3 || h.size == 0)
        return false;
    constexpr std::size_t kVbriAt = 4 + 32;
    if (kVbriAt + 18 <= n && std::memcmp(w + kVbriAt, "VBRI", 4) == 0) {
        const std::uint32_t frames = BigEndian32(w + kVbriAt + 14);
        if (frames == 0 || !BytesAgree(BigEndian32(w + kVbriAt + 10), audioBytes))
            return false;
        *vbriSamples = (std::uint64_t(frames) + 1) * (h.version == 0 ? 1152 : 576);
        return true;
    }
    const bool mono = (w[3] >> 6) == 3;
    const std::size_t at = 4 + ((w[1] & 1) ? 0 : 2) + (h.version == 0 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (at + 16 > n || (std::memcmp(w + at, "Xing", 4) != 0 && std::memcmp(w + at, "Info", 4) != 0))
        return false;
    const std::uint32_t flags = BigEndian32(w + at + 4);
    if (!(flags & 1) || BigEndian32(w + at + 8) == 0)
        return false;
    return !(flags & 2) || BytesAgree(BigEndian32(w + at + 12), audioBytes);
}

bool IsMpegExtension(const char *ext)
{
    return ext && (strcasecmp(ext, "mp3") == 0 || strcasecmp(ext, "mp2") == 0 || strcasecmp(ext, "mp1") == 0 ||
                   strcasecmp(ext, "mpga") == 0);
}

// ---- libmpg123 ---------------------------------------------------------------------

// libmpg123 reads a frame's header and its body apart, some eighty system calls a second of
// a 128 kbit/s file; it reads through this instead, which takes the file 16 KB at a time
// by pread (so the descriptor's own position never matters).
struct MpegSource {
    static constexpr std::size_t kAhead = 16 * 1024;
    int fd = -1;
    std::uint64_t pos = 0;
    std::vector<unsigned char> ahead = std::vector<unsigned char>(kAhead);
    std::uint64_t aheadAt = 0; // file offset of ahead[0]
    std::size_t aheadLen = 0;

    static mpg123_ssize_t Read(void *user, void *out, std::size_t n)
    {
        auto &s = *static_cast<MpegSource *>(user);
        std::size_t got = 0;
        if (n >= kAhead) {
            if (!ReadAt(s.fd, s.pos, static_cast<unsigned char *>(out), n, &got))
                return -1;
        } else {
            if (s.pos < s.aheadAt || s.pos + n > s.aheadAt + s.aheadLen) {
                s.aheadLen = 0;
                if (!ReadAt(s.fd, s.pos, s.ahead.data(), kAhead, &s.aheadLen))
                    return -1;
                s.aheadAt = s.pos;
            }
            got = std::min(n, std::size_t(s.aheadAt + s.aheadLen - s.pos)); // pos >= aheadAt here
            std::memcpy(out, s.ahead.data() + (s.pos - s.aheadAt), got);
        }
        s.pos += got;
        return static_cast<mpg123_ssize_t>(got);
    }
    static off_t Seek(void *user, off_t offset, int whence)
    {
        auto &s = *static_cast<MpegSource *>(user);
        off_t from = 0;
        if (whence == SEEK_CUR) {
            from = off_t(s.pos);
        } else if (whence == SEEK_END) {
            struct stat st{};
            if (fstat(s.fd, &st) != 0)
                return -1;
            from = st.st_size;
        } else if (whence != SEEK_SET) {
            return -1;
        }
        if (offset < -from)
            return -1;
        s.pos = std::uint64_t(from + offset);
        return off_t(s.pos);
    }
};

class MpegDecoder final : public Decoder {
public:
    ~MpegDecoder() override
    {
        if (mh_) {
            mpg123_close(mh_);
            mpg123_delete(mh_);
        }
    }

    // `counted`: a header gives the length (HeaderCountsFrames); `vbriSamples`: a VBRI one's.
    int Open(int fd, bool counted, std::uint64_t vbriSamples)
    {
        static std::once_flag once;
        std::call_once(once, [] { mpg123_init(); });
        int err = MPG123_OK;
        mh_ = mpg123_new(nullptr, &err);
        if (!mh_)
            return kErrBadMpeg;
        mpg123_param(mh_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
        // Only 16-bit stereo output, at the stream's own rate: no resampling inside the decoder,
        // and stereo whatever the frames say, so a stream whose mode changes midway (mono, then
        // stereo) keeps one format, and mono frames reach both sides at full level.
        mpg123_format_none(mh_);
        const long *rates = nullptr;
        std::size_t nrates = 0;
        mpg123_rates(&rates, &nrates);
        for (std::size_t i = 0; i < nrates; ++i)
            mpg123_format(mh_, rates[i], MPG123_STEREO, MPG123_ENC_SIGNED_16);
        src_.fd = fd;
        if (mpg123_replace_reader_handle(mh_, &MpegSource::Read, &MpegSource::Seek, nullptr) != MPG123_OK ||
            mpg123_open_handle(mh_, &src_) != MPG123_OK)
            return kErrBadMpeg;
        // mpg123_open_fd succeeds on anything; the first real frame is decided here.
        long r = 0;
        int ch = 0, enc = 0;
        if (mpg123_getformat(mh_, &r, &ch, &enc) != MPG123_OK)
            return kErrBadMpeg;
        if (enc != MPG123_ENC_SIGNED_16 || ch != 2 || r < kMinRate || r > kMaxRate)
            return kErrUnsupportedFormat;
        mpg123_format_none(mh_);
        mpg123_format(mh_, r, MPG123_STEREO, enc);
        rate = static_cast<int>(r);
        // Without a header that counts the frames, the length of a VBR file is a guess from
        // the first frame's bitrate, easily several times off: only a full scan tells.
        if (!counted && mpg123_scan(mh_) != MPG123_OK)
            return kErrBadMpeg;
        if (vbriSamples > 0) {
            lengthFrames = vbriSamples;
            return kOk;
        }
        const off_t len = mpg123_length(mh_);
        if (len <= 0)
            return kErrNoAudio;
        lengthFrames = static_cast<std::uint64_t>(len);
        return kOk;
    }

    std::size_t Read(std::int16_t *out, std::size_t frames) override
    {
        const std::size_t frameBytes = static_cast<std::size_t>(channels) * sizeof(std::int16_t);
        for (int attempts = 0; attempts < 4; ++attempts) {
            std::size_t done = 0;
            const int ret = mpg123_read(mh_, out, frames * frameBytes, &done);
            if (done > 0)
                return done / frameBytes;
            if (ret != MPG123_NEW_FORMAT)
                return 0;
            // A stream that changes its format midway ends where the change begins.
            long r = 0;
            int ch = 0, enc = 0;
            if (mpg123_getformat(mh_, &r, &ch, &enc) != MPG123_OK || r != rate || ch != channels ||
                enc != MPG123_ENC_SIGNED_16)
                return 0;
        }
        return 0;
    }

    bool Seek(std::uint64_t frame) override
    {
        return mpg123_seek(mh_, static_cast<off_t>(frame), SEEK_SET) >= 0;
    }

private:
    mpg123_handle *mh_ = nullptr;
    MpegSource src_;
};

// ---- libsndfile --------------------------------------------------------------------

// libsndfile reads through this window onto the file: from `offset` (the first byte after
// any ID3v2 tags) to the end, by pread, so the descriptor's own position never matters.
// The window may show a few header bytes other than the file holds (see TrueSizes).
struct SndSource {
    struct Patch {
        std::uint64_t at = 0; // window offset of 4 bytes shown instead of the file's
        unsigned char bytes[4] = {};
    };
    int fd = -1;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint64_t pos = 0;
    std::vector<Patch> patches;
    // libsndfile reads a few kilobytes at a time: serving those from one larger read saves
    // the decoder thread some forty system calls a second of a CD-quality WAV.
    static constexpr std::size_t kAhead = 64 * 1024;
    std::vector<unsigned char> ahead;
    std::uint64_t aheadAt = 0; // window offset of ahead[0]
    std::size_t aheadLen = 0;

    // Copies `want` bytes from `pos` on; false on a read error.
    bool Fetch(unsigned char *out, std::size_t want, std::size_t *got)
    {
        if (want >= kAhead)
            return ReadAt(fd, offset + pos, out, want, got);
        if (pos < aheadAt || pos + want > aheadAt + aheadLen) {
            ahead.resize(kAhead);
            aheadLen = 0;
            if (!ReadAt(fd, offset + pos, ahead.data(), std::size_t(std::min<std::uint64_t>(kAhead, length - pos)),
                        &aheadLen))
                return false;
            aheadAt = pos;
        }
        *got = std::min(want, std::size_t(aheadAt + aheadLen - pos)); // pos >= aheadAt here
        std::memcpy(out, ahead.data() + (pos - aheadAt), *got);
        return true;
    }

    static SndSource &Of(void *user) { return *static_cast<SndSource *>(user); }
    static sf_count_t Length(void *user) { return static_cast<sf_count_t>(Of(user).length); }
    static sf_count_t Seek(sf_count_t offset, int whence, void *user)
    {
        SndSource &s = Of(user);
        const sf_count_t from = whence == SEEK_CUR ? sf_count_t(s.pos) : whence == SEEK_END ? sf_count_t(s.length) : 0;
        if (offset < -from)
            return -1;
        s.pos = std::uint64_t(from + offset);
        return sf_count_t(s.pos);
    }
    static sf_count_t Read(void *ptr, sf_count_t count, void *user)
    {
        SndSource &s = Of(user);
        if (count <= 0 || s.pos >= s.length)
            return 0;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t(count), s.length - s.pos));
        std::size_t got = 0;
        auto *out = static_cast<unsigned char *>(ptr);
        if (!s.Fetch(out, want, &got))
            return 0;
        for (const Patch &p : s.patches)
            for (std::uint64_t k = 0; k < 4; ++k)
                if (p.at + k >= s.pos && p.at + k < s.pos + got)
                    out[p.at + k - s.pos] = p.bytes[k];
        s.pos += got;
        return static_cast<sf_count_t>(got);
    }
    static sf_count_t Write(const void *, sf_count_t, void *) { return 0; }
    static sf_count_t Tell(void *user) { return sf_count_t(Of(user).pos); }
};

// Where a RIFF/RIFX WAVE file puts its data chunk, and what its format chunk says, from
// the chunk headers (read one by one, so that large chunks before the audio do not hide it).
struct WaveData {
    bool found = false;
    bool bigEndian = false;
    bool unsized = false;       // RIFF and data sizes as a recorder writes them before it ends
    bool formatFirst = false;   // a format chunk came before the data chunk
    std::uint64_t sizeAt = 0;   // offset of the data chunk's size field
    std::uint64_t start = 0;    // offset of the first byte of audio
    std::uint64_t size = 0;     // bytes of audio, the true size when unsized
    unsigned tag = 0, channels = 0, blockAlign = 0, bits = 0; // the format chunk's
};
WaveData FindWaveData(int fd, std::uint64_t offset, std::uint64_t length)
{
    WaveData d;
    unsigned char h[12];
    std::size_t n = 0;
    if (!ReadAt(fd, offset, h, 12, &n) || n < 12 || std::memcmp(h + 8, "WAVE", 4) != 0)
        return d;
    d.bigEndian = std::memcmp(h, "RIFX", 4) == 0;
    if (!d.bigEndian && std::memcmp(h, "RIFF", 4) != 0)
        return d;
    const auto get = [&](const unsigned char *w, int bytes) {
        std::uint32_t v = 0;
        for (int k = 0; k < bytes; ++k)
            v |= std::uint32_t(w[d.bigEndian ? bytes - 1 - k : k]) << (8 * k);
        return v;
    };
    const std::uint32_t riff = get(h + 4, 4);
    for (std::uint64_t at = 12; at + 8 <= length;) {
        unsigned char c[8];
        if (!ReadAt(fd, offset + at, c, 8, &n) || n < 8)
            return d;
        const std::uint32_t size = get(c + 4, 4);
        if (std::memcmp(c, "fmt ", 4) == 0 && size >= 16) {
            unsigned char f[40] = {};
            if (!ReadAt(fd, offset + at + 8, f, std::min<std::size_t>(size, sizeof f), &n) || n < 16)
                return d;
            d.formatFirst = true;
            d.tag = get(f, 2);
            d.channels = get(f + 2, 2);
            d.blockAlign = get(f + 12, 2);
            d.bits = get(f + 14, 2);
            if (d.tag == 0xFFFE && n >= 26) // extensible: the sub-format's first two bytes
                d.tag = get(f + 24, 2);
        } else if (std::memcmp(c, "data", 4) == 0) {
            d.start = at + 8;
            d.found = true;
            d.sizeAt = at + 4;
            d.size = std::min<std::uint64_t>(size, length - std::min(d.start, length));
            // A RIFF size that covers more than the headers belongs to a finished file, whose
            // empty data chunk may well be followed by other chunks.
            d.unsized = size == 0 && d.start < length && std::uint64_t(riff) + 8 <= d.start;
            if (d.unsized)
                d.size = length - d.start;
            return d;
        }
        at += 8 + std::uint64_t(size) + (size & 1);
    }
    return d;
}

// How many frames the bytes of the data chunk encode in full; kUnknown when that is not known. A block of
// ADPCM cut short holds its header's sample and the groups of samples whose bytes are all
// there; libsndfile would decode the whole block, the rest of it from whatever its buffer
// held before.
constexpr std::uint64_t kUnknown = ~std::uint64_t(0);
std::uint64_t FramesInData(const WaveData &d)
{
    const std::uint64_t b = d.blockAlign, c = d.channels;
    if (!d.found || !d.formatFirst || b == 0 || c == 0)
        return kUnknown;
    const std::uint64_t blocks = d.size / b, rest = d.size % b;
    switch (d.tag) {
    case 0x0011: // IMA ADPCM: 4 bytes of header per channel, then 8 samples per 4 bytes per channel
        if (b <= 4 * c)
            return kUnknown;
        return blocks * ((b - 4 * c) * 2 / c + 1) + (rest >= 4 * c ? 1 + (rest - 4 * c) / (4 * c) * 8 : 0);
    case 0x0002: // Microsoft ADPCM: 7 bytes of header (two samples) per channel, then a sample per nibble
        if (b <= 7 * c)
            return kUnknown;
        return blocks * ((b - 7 * c) * 2 / c + 2) + (rest >= 7 * c ? 2 + (rest - 7 * c) * 2 / c : 0);
    case 0x0031: // GSM 6.10: 320 samples in each whole block of 65 bytes
        return blocks * 320;
    case 0x0001: case 0x0003: case 0x0006: case 0x0007: // PCM, float, A-law, u-law: one frame a block
        return blocks;
    default:
        return d.bits ? d.size * 8 / (std::uint64_t(d.bits) * c) : kUnknown;
    }
}

// An interrupted recording holds a whole recording behind sizes of 0: the window shows the
// true sizes, so libsndfile reads the audio to the end of the file.
std::vector<SndSource::Patch> TrueSizes(const WaveData &d, std::uint64_t length)
{
    if (!d.unsized)
        return {};
    const auto patch = [&](std::uint64_t at, std::uint64_t value) {
        const auto v = static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
        SndSource::Patch p;
        p.at = at;
        for (int k = 0; k < 4; ++k)
            p.bytes[k] = static_cast<unsigned char>(v >> (d.bigEndian ? 24 - 8 * k : 8 * k));
        return p;
    };
    return {patch(4, length - 8), patch(d.sizeAt, d.size)};
}

// Where one channel goes in the stereo fold-down: the usual matrix, centre at -3 dB to both
// sides, a surround at -3 dB to its own side, the low-frequency channel left out (it holds
// what small speakers cannot play, and the full-range channels already carry the music).
// No weight exceeds 1, so a full-scale tone on any one channel never clips; loud content
// on several channels at once can add up beyond full scale, which FoldLimiter takes care of.
struct Weights {
    float left, right;
};
Weights FoldDown(int position)
{
    constexpr float kHalfPower = 0.70710678f; // -3 dB
    switch (position) {
    case SF_CHANNEL_MAP_LEFT: case SF_CHANNEL_MAP_FRONT_LEFT: case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
        return {1, 0};
    case SF_CHANNEL_MAP_RIGHT: case SF_CHANNEL_MAP_FRONT_RIGHT: case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
        return {0, 1};
    case SF_CHANNEL_MAP_REAR_LEFT: case SF_CHANNEL_MAP_SIDE_LEFT: case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
        return {kHalfPower, 0};
    case SF_CHANNEL_MAP_REAR_RIGHT: case SF_CHANNEL_MAP_SIDE_RIGHT: case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
        return {0, kHalfPower};
    case SF_CHANNEL_MAP_REAR_CENTER: case SF_CHANNEL_MAP_TOP_CENTER: case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
        return {0.5f, 0.5f}; // a surround at -3 dB, shared by both sides at -3 dB
    case SF_CHANNEL_MAP_LFE:
        return {0, 0};
    default: // centre, and any channel without a place
        return {kHalfPower, kHalfPower};
    }
}

// The layout of a file that names none: the common layouts for up to 8 channels, beyond
// that the order of WAVE_FORMAT_EXTENSIBLE's channel mask.
int UsualPosition(int channels, int c)
{
    enum : int {
        L = SF_CHANNEL_MAP_LEFT, R = SF_CHANNEL_MAP_RIGHT, C = SF_CHANNEL_MAP_CENTER, LFE = SF_CHANNEL_MAP_LFE,
        BL = SF_CHANNEL_MAP_REAR_LEFT, BR = SF_CHANNEL_MAP_REAR_RIGHT, BC = SF_CHANNEL_MAP_REAR_CENTER,
        SL = SF_CHANNEL_MAP_SIDE_LEFT, SR = SF_CHANNEL_MAP_SIDE_RIGHT
    };
    static const int kLayouts[9][8] = {{}, {C}, {L, R}, {L, R, C}, {L, R, BL, BR}, {L, R, C, BL, BR},
                                       {L, R, C, LFE, BL, BR}, {L, R, C, LFE, BC, SL, SR},
                                       {L, R, C, LFE, BL, BR, SL, SR}};
    static const int kMaskOrder[] = {L, R, C, LFE, BL, BR, SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER,
                                     SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER, BC, SL, SR, SF_CHANNEL_MAP_TOP_CENTER,
                                     SF_CHANNEL_MAP_TOP_FRONT_LEFT, SF_CHANNEL_MAP_TOP_FRONT_CENTER,
                                     SF_CHANNEL_MAP_TOP_FRONT_RIGHT, SF_CHANNEL_MAP_TOP_REAR_LEFT,
                                     SF_CHANNEL_MAP_TOP_REAR_CENTER, SF_CHANNEL_MAP_TOP_REAR_RIGHT};
    if (channels <= 8)
        return kLayouts[channels][c];
    return c < int(std::size(kMaskOrder)) ? kMaskOrder[c] : SF_CHANNEL_MAP_INVALID;
}

// A sample in libsndfile's float scale (1.0 = full scale, whatever the encoding: float data
// is not scaled otherwise) to 16 bits, rounded, clipped; NaN gives silence.
inline std::int16_t ToPcm16(float v)
{
    v *= 32768.0f;
    if (v > -32768.0f && v < 32767.0f)
        return static_cast<std::int16_t>(std::lrint(v));
    return v >= 32767.0f ? 32767 : v <= -32768.0f ? -32768 : 0;
}

// Keeps a fold-down that adds up beyond full scale from clipping: a gain that never lets a
// sample past the ceiling, at 1 (the matrix as it is) until something would go past it. It
// goes down ahead of a peak within the block that holds it (over kAttackMs), holds for
// kHoldMs after the last sample that needed it, then comes back at most by kReleasePerS a
// second: steady content settles at one gain and stays there. No look-ahead beyond the block,
// so nothing is delayed; a peak on a block's first frames drops the gain at once.
class FoldLimiter {
public:
    static constexpr float kCeiling = 32767.0f / 32768.0f;
    void Reset(int rate)
    {
        gain_ = 1;
        hold_ = 0;
        attack_ = 1.0f / (0.005f * float(rate));
        release_ = 1.0f / float(rate);
        holdFrames_ = rate / 20;
    }
    // lr: frames of left and right, scaled in place.
    void Apply(float *lr, std::size_t frames)
    {
        need_.resize(frames);
        float next = 1;
        for (std::size_t i = frames; i-- > 0;) {
            const float peak = std::max(std::fabs(lr[2 * i]), std::fabs(lr[2 * i + 1])); // NaN asks for nothing
            const float need = peak > kCeiling ? kCeiling / peak : 1.0f;
            next = std::min(need, next + attack_);
            need_[i] = next;
        }
        for (std::size_t i = 0; i < frames; ++i) {
            const float a = need_[i];
            if (a < gain_) {
                gain_ = a;
                hold_ = holdFrames_;
            } else if (a <= gain_ * 1.001f) {
                hold_ = holdFrames_; // still needed, near enough
            } else if (hold_ > 0) {
                --hold_;
            } else {
                gain_ = std::min(a, gain_ + release_);
            }
            if (gain_ < 1) {
                lr[2 * i] *= gain_;
                lr[2 * i + 1] *= gain_;
            }
        }
    }

private:
    float gain_ = 1, attack_ = 0, release_ = 0;
    int hold_ = 0, holdFrames_ = 0;
    std::vector<float> need_;
};

class SndDecoder final : public Decoder {
public:
    ~SndDecoder() override
    {
        if (sf_)
            sf_close(sf_);
    }

    int Open(int fd, std::uint64_t offset, std::uint64_t fileSize, int failure)
    {
        src_.fd = fd;
        src_.offset = offset;
        src_.length = fileSize - offset;
        const WaveData wave = FindWaveData(fd, offset, src_.length);
        src_.patches = TrueSizes(wave, src_.length);
        // No codec plays a byte that is not audio: libsndfile sees the file end where the
        // data chunk does (what follows it, a cue or a list, is no business of ours).
        if (wave.found && wave.formatFirst)
            src_.length = std::min(src_.length, wave.start + wave.size);
        SF_INFO info{};
        if (!Reopen(&info))
            return failure;
        const int major = info.format & SF_FORMAT_TYPEMASK;
        // MPEG through libsndfile would bypass the checks of the MPEG path.
        if (major == SF_FORMAT_MPEG || major == SF_FORMAT_RAW)
            return failure;
        if (info.channels < 1 || info.channels > kMaxChannels || info.samplerate < kMinRate ||
            info.samplerate > kMaxRate)
            return kErrUnsupportedFormat;
        if (info.frames <= 0)
            return kErrNoAudio;
        rate = info.samplerate;
        srcChannels_ = info.channels;
        lengthFrames = static_cast<std::uint64_t>(info.frames);
        // libsndfile counts a block that the data holds only part of, and decodes its missing
        // bytes from stale ones: a loud click at the end.
        lengthFrames = std::min(lengthFrames, FramesInData(wave));
        if (lengthFrames == 0)
            return kErrNoAudio;
        seekable_ = info.seekable != 0;
        std::vector<int> map(std::size_t(srcChannels_), SF_CHANNEL_MAP_INVALID);
        const bool named = sf_command(sf_, SFC_GET_CHANNEL_MAP_INFO, map.data(), int(map.size() * sizeof(int))) == SF_TRUE;
        float sumLeft = 0, sumRight = 0;
        for (int c = 0; c < srcChannels_; ++c) {
            const Weights w = srcChannels_ == 1 ? Weights{1, 1} : FoldDown(named ? map[std::size_t(c)] : UsualPosition(srcChannels_, c));
            left_.push_back(w.left);
            right_.push_back(w.right);
            sumLeft += w.left;
            sumRight += w.right;
        }
        // Only a matrix that can add up beyond full scale is watched; any other plays as it is.
        limit_ = std::max(sumLeft, sumRight) > 1.0001f;
        limiter_.Reset(rate);
        // Integer data of one or two channels comes as 16 bits from libsndfile itself, as fast
        // as a copy; floats (which it does not scale to integers) and surround go through floats.
        const int sub = info.format & SF_FORMAT_SUBMASK;
        pcm16_ = srcChannels_ <= 2 && sub != SF_FORMAT_FLOAT && sub != SF_FORMAT_DOUBLE;
        if (!pcm16_)
            buf_.resize(kBlockFrames * std::size_t(srcChannels_));
        return kOk;
    }

    std::size_t Read(std::int16_t *out, std::size_t frames) override
    {
        std::size_t done = 0;
        while (sf_ && done < frames) {
            const auto want = static_cast<std::size_t>(
                std::min<std::uint64_t>({frames - done, kBlockFrames, lengthFrames - std::min(pos_, lengthFrames)}));
            if (want == 0)
                break;
            std::int16_t *o = out + 2 * done;
            const sf_count_t got = pcm16_ ? sf_readf_short(sf_, o, static_cast<sf_count_t>(want))
                                          : sf_readf_float(sf_, buf_.data(), static_cast<sf_count_t>(want));
            if (got <= 0)
                break;
            if (!pcm16_) {
                folded_.resize(2 * static_cast<std::size_t>(got));
                const float *in = buf_.data();
                for (sf_count_t i = 0; i < got; ++i, in += srcChannels_) {
                    // A channel adds only to the sides it goes to: a NaN silences those alone.
                    float l = 0, r = 0;
                    for (int c = 0; c < srcChannels_; ++c) {
                        if (left_[std::size_t(c)] != 0)
                            l += in[c] * left_[std::size_t(c)];
                        if (right_[std::size_t(c)] != 0)
                            r += in[c] * right_[std::size_t(c)];
                    }
                    folded_[2 * std::size_t(i)] = l;
                    folded_[2 * std::size_t(i) + 1] = r;
                }
                if (limit_)
                    limiter_.Apply(folded_.data(), static_cast<std::size_t>(got));
                for (std::size_t k = 0; k < folded_.size(); ++k)
                    o[k] = ToPcm16(folded_[k]);
            } else if (srcChannels_ == 1) { // spread in place, from the end
                for (auto i = static_cast<std::size_t>(got); i-- > 0;)
                    o[2 * i] = o[2 * i + 1] = o[i];
            }
            done += static_cast<std::size_t>(got);
            pos_ += static_cast<std::uint64_t>(got);
            if (static_cast<std::size_t>(got) < want)
                break;
        }
        return done;
    }

    bool Seek(std::uint64_t frame) override
    {
        if (frame == pos_ && sf_)
            return true;
        limiter_.Reset(rate);
        if (frame > lengthFrames)
            return false;
        if (seekable_ && sf_seek(sf_, static_cast<sf_count_t>(frame), SEEK_SET) == static_cast<sf_count_t>(frame)) {
            pos_ = frame;
            return true;
        }
        // Some encodings (GSM 6.10, G.72x) cannot seek at all, not even to the start:
        // open them afresh and decode forward to the frame.
        if (frame < pos_ || seekable_) {
            SF_INFO info{};
            if (!Reopen(&info))
                return false;
        }
        std::vector<std::int16_t> skip(std::size_t(2) * 1024);
        while (pos_ < frame) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(1024, frame - pos_));
            if (Read(skip.data(), want) == 0)
                return false;
        }
        return true;
    }

private:
    bool Reopen(SF_INFO *info)
    {
        if (sf_)
            sf_close(sf_);
        src_.pos = 0;
        pos_ = 0;
        SF_VIRTUAL_IO io{SndSource::Length, SndSource::Seek, SndSource::Read, SndSource::Write, SndSource::Tell};
        sf_ = sf_open_virtual(&io, SFM_READ, info, &src_);
        return sf_ != nullptr;
    }

    static constexpr std::size_t kBlockFrames = 1024;
    SndSource src_;
    int srcChannels_ = 0;
    std::vector<float> left_, right_; // each channel's weight on either side
    std::vector<float> buf_, folded_;
    bool limit_ = false;
    FoldLimiter limiter_;
    bool pcm16_ = false;
    SNDFILE *sf_ = nullptr;
    std::uint64_t pos_ = 0; // the frame the next Read returns
    bool seekable_ = false;
};

std::unique_ptr<Decoder> TryMpeg(int fd, bool counted, std::uint64_t vbriSamples, int *error)
{
    auto d = std::make_unique<MpegDecoder>();
    *error = d->Open(fd, counted, vbriSamples);
    return *error == kOk ? std::move(d) : nullptr;
}

std::unique_ptr<Decoder> TrySnd(int fd, std::uint64_t offset, std::uint64_t fileSize, int failure, int *error)
{
    auto d = std::make_unique<SndDecoder>();
    *error = d->Open(fd, offset, fileSize, failure);
    return *error == kOk ? std::move(d) : nullptr;
}

// A RIFF (or big-endian RIFX, or RF64) WAVE header, or as much of one as the file holds.
bool LooksLikeWave(const unsigned char *head, std::size_t got)
{
    if (got < 4 || (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RIFX", 4) != 0 &&
                    std::memcmp(head, "RF64", 4) != 0))
        return false;
    return got < 12 || std::memcmp(head + 8, "WAVE", 4) == 0;
}

} // namespace

void CountReads(std::atomic<std::uint64_t> *counter) { t_readsDone = counter; }

std::unique_ptr<Decoder> OpenDecoder(int fd, const char *extension, int *error)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        *error = kErrReadFailed;
        return nullptr;
    }
    return OpenDecoder(fd, st, extension, error);
}

std::unique_ptr<Decoder> OpenDecoder(int fd, const struct stat &st, const char *extension, int *error)
{
    if (S_ISDIR(st.st_mode)) {
        *error = kErrIsDirectory;
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = kErrNotRegularFile;
        return nullptr;
    }
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    if (fileSize == 0) {
        *error = kErrEmptyFile;
        return nullptr;
    }

    // Skip ID3v2 tags (there may be several, each with an optional footer); some
    // taggers put one in front of a WAV file too.
    std::uint64_t audioStart = 0;
    bool hadTag = false;
    std::size_t got = 0;
    for (;;) {
        unsigned char tag[10];
        if (!ReadAt(fd, audioStart, tag, sizeof tag, &got)) {
            *error = errno == EISDIR ? kErrIsDirectory : kErrReadFailed;
            return nullptr;
        }
        if (got < 10 || std::memcmp(tag, "ID3", 3) != 0 || tag[3] == 0xFF || tag[4] == 0xFF ||
            ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80))
            break;
        const std::uint64_t body = (std::uint64_t(tag[6]) << 21) | (std::uint64_t(tag[7]) << 14) |
                                   (std::uint64_t(tag[8]) << 7) | tag[9];
        audioStart += 10 + body + ((tag[5] & 0x10) ? 10 : 0);
        hadTag = true;
    }
    if (audioStart >= fileSize) {
        *error = kErrNoAudio;
        return nullptr;
    }

    constexpr std::size_t kWindow = 128 * 1024;
    std::vector<unsigned char> window(kWindow);
    if (!ReadAt(fd, audioStart, window.data(), window.size(), &got)) {
        *error = kErrReadFailed;
        return nullptr;
    }
    if (LooksLikeWave(window.data(), got))
        return TrySnd(fd, audioStart, fileSize, kErrBadWave, error);

    const std::uint64_t rest = fileSize - audioStart;
    const Mpeg mpeg = SniffMpeg(window.data(), got, got >= rest, rest);
    std::uint64_t vbriSamples = 0;
    const bool counted = HeaderCountsFrames(window.data(), got, rest, &vbriSamples);
    if (mpeg == Mpeg::Strong || (mpeg == Mpeg::Weak && IsMpegExtension(extension)))
        return TryMpeg(fd, counted, vbriSamples, error);

    // Not conclusively MPEG: other containers libsndfile reads (AIFF, FLAC, ...) come next.
    if (auto d = TrySnd(fd, audioStart, fileSize, kErrUnknownFormat, error))
        return d;
    if (*error != kErrUnknownFormat)
        return nullptr;
    if (mpeg == Mpeg::Weak)
        return TryMpeg(fd, counted, vbriSamples, error);
    // A tag followed by nothing but its padding holds no audio; anything else is unknown.
    const bool onlyPadding = hadTag && got >= rest &&
                             std::all_of(window.begin(), window.begin() + std::ptrdiff_t(got), [](unsigned char c) { return c == 0; });
    *error = onlyPadding ? kErrNoAudio : kErrUnknownFormat;
    return nullptr;
}

} // namespace media
