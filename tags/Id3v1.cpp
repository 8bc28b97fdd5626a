#include "tags/Id3v1.h"

#include "runtime/Errors.h"
#include "runtime/FileHandle.h"
#include "runtime/TextCodec.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const std::array<const char *, kID3v1GenreCount> ID3v1GenreNames = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop",
    "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap",
    "Reggae", "Rock", "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks",
    "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance",
    "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock",
    "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // Winamp's extension of the list.
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera",
    "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam",
    "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle",
    "Duet", "Punk Rock", "Drum Solo", "Acapella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass",
    "Club-House", "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Trash Metal", "Anime", "Jpop", "Synthpop",
};

QString ID3v1GenreText(unsigned char genre)
{
    if (genre < kID3v1GenreCount)
        return QString::fromLatin1(ID3v1GenreNames[genre]);
    return QString::number(genre);
}

namespace {

constexpr int kTagSize = 128;

// A field's bytes up to its first zero byte; a field without one is taken whole.
QByteArray FieldBytes(const char *field, int width)
{
    const void *zero = std::memchr(field, 0, size_t(width));
    return QByteArray(field, zero ? static_cast<const char *>(zero) - field : width);
}

QString FieldText(const char *field, int width)
{
    return DisplayText(FieldBytes(field, width));
}


// Opens the file for reading with nobody else using it. Linux has no sharing
// modes, so the nearest thing is an exclusive flock: it fails while another
// process that takes part in flock locking (shared or exclusive) holds the
// file, and the lock goes away with the descriptor. Opening without waiting keeps a FIFO
// from blocking the window while it waits for a writer.
int OpenExclusive(const QByteArray &path)
{
    struct stat st;
    FileHandle handle(OpenAndLook(path.constData(), O_RDONLY, &st));
    const int fd = handle.get();
    if (fd < 0)
        EFOpenError::Raise(path, errno);
    // open() accepts a folder on Linux; it is not a file that can be read.
    if (S_ISDIR(st.st_mode))
        EFOpenError::Raise(path, EISDIR);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Only someone else's lock counts: a file system without flock
        // support leaves the file readable as it is.
        if (errno == EWOULDBLOCK)
            EFOpenError::Raise(path, errno);
    }
    return handle.release();
}

} // namespace

ID3v1Fields ReadID3v1Fields(const QByteArray &path)
{
    // A path with a zero byte inside would silently name another file.
    if (path.contains('\0'))
        EFOpenError::Raise(path.left(path.indexOf('\0')), EINVAL);

    FileHandle file(OpenExclusive(path));

    char tag[kTagSize] = {};
    struct stat st;
    // Only a regular file has a size worth seeking in; anything else (a FIFO,
    // a device) is read as a file without a tag rather than waited on.
    if (::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= kTagSize) {
        const off_t start = st.st_size - kTagSize;
        std::size_t got = 0;
        while (got < sizeof tag) {
            const ssize_t n = ::pread(file.get(), tag + got, sizeof tag - got, start + off_t(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // a short read leaves the rest zero: no tag, no error
            got += std::size_t(n);
        }
    }

    ID3v1Fields f;
    if (FieldBytes(tag, 3) != "TAG")
        return f;
    f.title = FieldText(tag + 3, 30);
    f.artist = FieldText(tag + 33, 30);
    f.album = FieldText(tag + 63, 30);
    f.year = FieldText(tag + 93, 4);
    f.comment = FieldText(tag + 97, 30);
    f.genre = ID3v1GenreText(static_cast<unsigned char>(tag[127]));
    return f;
}
