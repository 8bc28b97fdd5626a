#include "player/RezFile.h"

#include "runtime/Errors.h"
#include "runtime/FileHandle.h"
#include "runtime/TextCodec.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens rez.dat, which must be a regular file. A FIFO of that name would
// block the open (and start-up with it) until someone wrote to it, and a
// device could be read forever: anything but a regular file is refused with
// the error a folder of that name gets, without ever waiting.
int OpenRegular(const char *path, int flags)
{
    struct stat st;
    if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        EInOutError::Raise(EACCES);
    FileHandle file(OpenAndLook(path, flags, &st, 0666));
    if (file.get() < 0)
        EInOutError::Raise(errno == ENXIO ? EACCES : errno); // ENXIO: a FIFO nobody reads
    // Swapped for something else between the two looks.
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        EInOutError::Raise(EACCES);
    return file.release();
}

// Closes now so a failing close is reported too.
void CloseOrRaise(FileHandle &file)
{
    if (file.close() != 0 && errno != EINTR)
        EInOutError::Raise(errno);
}

} // namespace

QByteArray ReadFirstLine(const char *path, int maxChars)
{
    FileHandle fd(OpenRegular(path, O_RDONLY));

    // A character takes at most four bytes, so this many bytes of line always
    // hold maxChars characters; the rest of a long line is never read.
    const qsizetype enough = qsizetype(maxChars) * 4;
    QByteArray line;
    char buf[4096];
    bool pendingCr = false;
    bool done = false;
    while (!done && line.size() < enough) {
        const size_t n = fd.Read(buf, sizeof buf);
        if (n == 0)
            break;
        for (size_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (pendingCr) {
                pendingCr = false;
                if (c == '\n') { done = true; break; }
                // A lone CR is dropped; this character is handled below.
            }
            if (c == '\n' || c == 26) { done = true; break; }
            if (c == '\r') { pendingCr = true; continue; }
            line.append(c);
        }
    }
    CloseOrRaise(fd);
    return CutToChars(line, maxChars);
}

bool FitsRezLine(const QByteArray &text)
{
    return !text.contains('\n') && !text.contains('\r') && !text.contains(char(26));
}

void EnsureRezFile(const char *path)
{
    struct stat st;
    if (::stat(path, &st) == 0 && !S_ISDIR(st.st_mode))
        return;
    FileHandle fd(OpenRegular(path, O_WRONLY | O_CREAT | O_TRUNC));
    CloseOrRaise(fd);
}

void WriteRezFile(const QByteArray &text, const char *path)
{
    FileHandle fd(OpenRegular(path, O_WRONLY | O_CREAT | O_TRUNC));
    const char *p = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd.get(), p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            EInOutError::Raise(errno);
        }
        p += n;
        left -= n;
    }
    CloseOrRaise(fd);
}
