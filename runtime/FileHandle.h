#pragma once
// Owns one file descriptor and closes it when it goes out of scope.
#include "runtime/Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() { if (fd_ >= 0) ::close(fd_); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    int get() const { return fd_; }
    int release() { const int fd = fd_; fd_ = -1; return fd; }
    // Closes now, so a failing close can be reported: 0, or -1 with errno set.
    int close() { return ::close(release()); }
    // Reads what is there, up to size bytes: 0 at the end. A failed read raises EInOutError.
    size_t Read(char *buf, size_t size)
    {
        for (;;) {
            const ssize_t n = ::read(fd_, buf, size);
            if (n >= 0)
                return size_t(n);
            if (errno != EINTR)
                EInOutError::Raise(errno);
        }
    }
private:
    int fd_;
};

// Opens path without waiting on it (a FIFO with nobody at its other end must not
// hang the caller) and looks at what it opened, for the caller to refuse what it
// cannot read. The descriptor, or -1 with errno set and nothing left open.
inline int OpenAndLook(const char *path, int flags, struct stat *st, mode_t mode = 0)
{
    const int fd = ::open(path, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
    if (fd < 0)
        return -1;
    if (::fstat(fd, st) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}
