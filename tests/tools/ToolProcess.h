// Runs the quvo binary as a child process for the command tests: to completion with its
// output captured, or kept running (status --watch) with its output read as it comes.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/WaitUntil.h"

extern char** environ;

namespace QVO::Test {

struct ToolResult {
    int exitCode = -1;  // -1 when the child did not exit normally
    std::string out, err;
};

inline std::vector<char*> ArgvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

inline int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quvo-tool-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `quvo args...` in the test's environment (in folder `cwd` when given) and waits for
// it to end.
inline ToolResult RunQuvo(std::vector<std::string> args, const std::string& cwd = {}) {
    TempDir dir;
    const std::string out = (dir.Path() / "out").string(), err = (dir.Path() / "err").string();
    args.insert(args.begin(), QUVO_BIN);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> argv = ArgvOf(args);
    pid_t pid = -1;
    ToolResult result;
    if (posix_spawn(&pid, QUVO_BIN, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        result.exitCode = ExitCodeOf(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

// `quvo args...` kept running: its standard output is read as it comes, its standard error
// goes to a file. The destructor kills a child that is still running.
class RunningQuvo {
public:
    explicit RunningQuvo(std::vector<std::string> args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        readFd_ = fds[0];
        args.insert(args.begin(), QUVO_BIN);
        const std::string err = (dir_.Path() / "err").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv = ArgvOf(args);
        if (posix_spawn(&pid_, QUVO_BIN, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
    }
    ~RunningQuvo() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (readFd_ >= 0) close(readFd_);
    }
    RunningQuvo(const RunningQuvo&) = delete;
    RunningQuvo& operator=(const RunningQuvo&) = delete;

    bool Started() const { return pid_ > 0; }

    // Reads standard output until it holds `text` at or after offset `from` (true) or the
    // deadline or the end of the output comes first (false).
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20),
                       size_t from = 0) {
        bool ended = false;
        WaitUntil(
            [&] {
                if (out_.find(text, from) != std::string::npos) return true;
                pollfd p{readFd_, POLLIN, 0};
                if (poll(&p, 1, 0) <= 0) return false;
                char chunk[512];
                const ssize_t n = read(readFd_, chunk, sizeof chunk);
                if (n <= 0) return ended = true;
                out_.append(chunk, static_cast<size_t>(n));
                return out_.find(text, from) != std::string::npos;
            },
            timeout);
        return !ended && out_.find(text, from) != std::string::npos;
    }

    // Sends `signal` and waits for the child to end; its exit code, -1 when it did not exit
    // normally or not in time.
    int StopWith(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        if (pid_ <= 0) return -1;
        kill(pid_, signal);
        int status = 0;
        if (!WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) return -1;
        pid_ = -1;
        // Everything the child wrote is in the pipe now.
        char chunk[512];
        ssize_t n;
        while ((n = read(readFd_, chunk, sizeof chunk)) > 0) out_.append(chunk, static_cast<size_t>(n));
        return ExitCodeOf(status);
    }

    const std::string& Out() const { return out_; }
    std::string Err() const { return ReadFile(dir_.Path() / "err"); }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    int readFd_ = -1;
    std::string out_;
};

}  // namespace QVO::Test
