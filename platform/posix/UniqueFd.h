// Move-only owner of a POSIX file descriptor: the descriptor is closed exactly once.
#pragma once

#include <unistd.h>

namespace QVO::Platform {

// Owns one descriptor (or none, -1). Not thread-safe: one owner uses it at a time.
class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return fd_; }
    bool isValid() const noexcept { return fd_ >= 0; }

    // Hands the descriptor to the caller, who then closes it.
    int release() noexcept {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

    // Closes the current descriptor (close is not retried on EINTR: on Linux the
    // descriptor is gone either way) and takes the new one.
    void reset(int fd = -1) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

}  // namespace QVO::Platform
