#pragma once
// Owns one file descriptor and closes it when it goes out of scope.
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
private:
    int fd_;
};
