#include "app/RezFile.h"

#include "app/Errors.h"
#include "app/TextCodec.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    // Closes now so a failing close is reported too.
    void close()
    {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            EInOutError::Raise(errno);
    }
private:
    int fd_;
};

} // namespace

QByteArray ReadFirstLine(const char *path, int maxChars)
{
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
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
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            EInOutError::Raise(errno);
        }
        if (n == 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
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
    fd.close();
    return CutToChars(line, maxChars);
}

void EnsureRezFile(const char *path)
{
    struct stat st;
    if (::stat(path, &st) == 0 && !S_ISDIR(st.st_mode))
        return;
    Fd fd(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        EInOutError::Raise(errno);
    fd.close();
}

void WriteRezFile(const QByteArray &text, const char *path)
{
    Fd fd(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
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
    fd.close();
}
