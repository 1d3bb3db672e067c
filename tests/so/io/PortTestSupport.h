// Test peers for the port tests: pseudo-terminal pairs, temporary directories, loopback
// listeners and deadline waits.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "so/io/UniqueFd.h"

namespace QVO::IO::Peers {

inline constexpr int kPeerDeadlineMs = 5000;

// A temporary directory removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quvo-io-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteTextFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A pseudo-terminal: the test holds the master and plays the printer on it.
class PtyPair {
public:
    PtyPair() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (master_.isValid() && ::grantpt(master_.get()) == 0 && ::unlockpt(master_.get()) == 0)
            slavePath_ = ::ptsname(master_.get());
    }
    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }

    // Opens the slave once in raw mode and keeps it open, so the line keeps those
    // settings for a port that sets none itself (parallel, USB node).
    void HoldSlaveRaw() {
        heldSlave_.reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios tio{};
        ::tcgetattr(heldSlave_.get(), &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(heldSlave_.get(), TCSANOW, &tio);
    }

    void Send(const std::vector<uint8_t>& bytes) const { (void)!::write(master_.get(), bytes.data(), bytes.size()); }

    // Reads until `count` bytes came or the deadline passed.
    std::vector<uint8_t> Receive(size_t count, int deadlineMs = kPeerDeadlineMs) const {
        return ReceiveFrom(master_.get(), count, deadlineMs);
    }

    // True when bytes are waiting for the printer side right now.
    bool HasPending() const {
        pollfd pfd{master_.get(), POLLIN, 0};
        return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0;
    }

    static std::vector<uint8_t> ReceiveFrom(int fd, size_t count, int deadlineMs) {
        std::vector<uint8_t> got;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
        while (got.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
            uint8_t buf[512];
            ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

private:
    UniqueFd master_;
    UniqueFd heldSlave_;
    std::string slavePath_;
};

inline std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// Polls `condition` until it holds or the deadline passes.
template <typename Condition>
bool WaitUntil(Condition condition, int deadlineMs = kPeerDeadlineMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 1);  // yield a millisecond between checks
    }
    return true;
}

}  // namespace QVO::IO::Peers
