#pragma once
// An owned file descriptor, closed with the object.

#include <unistd.h>

namespace volm {

class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }
    // Gives up ownership: the caller closes the descriptor.
    int release()
    {
        int f = fd_;
        fd_ = -1;
        return f;
    }

private:
    int fd_;
};

} // namespace volm
