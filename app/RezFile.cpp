#include "app/RezFile.h"

#include "app/Errors.h"
#include "app/FileHandle.h"
#include "app/TextCodec.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes now so a failing close is reported too.
void CloseOrRaise(FileHandle &file)
{
    if (file.close() != 0 && errno != EINTR)
        EInOutError::Raise(errno);
}

} // namespace

QByteArray ReadFirstLine(const char *path, int maxChars)
{
    FileHandle fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        EInOutError::Raise(errno);

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

void EnsureRezFile(const char *path)
{
    struct stat st;
    if (::stat(path, &st) == 0 && !S_ISDIR(st.st_mode))
        return;
    FileHandle fd(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        EInOutError::Raise(errno);
    CloseOrRaise(fd);
}

void WriteRezFile(const QByteArray &text, const char *path)
{
    FileHandle fd(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        EInOutError::Raise(errno);
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
