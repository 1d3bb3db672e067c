// Helpers shared by the registry tests: a private registry folder per test, file access, UTF-16.
#pragma once

#include "platform/registry/Registry.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Sanitizer builds reserve far more address space than any limit a test could set.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUVO_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QUVO_TEST_SANITIZED 1
#endif
#endif

namespace QVO::Platform::Registry::Testing {

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// ASCII/BMP text as UTF-16LE with BOM, LF turned into CRLF: a regedit file.
inline std::string RegeditUtf16(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        if (c == L'\n') out += std::string("\r\0", 2);
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

// Runs `body` in a child process and returns its exit status (128 + signal when it was
// killed, kThrew when `body` threw). A child still running after `deadline` is killed and
// kTimedOut returned, so a call that blocks forever fails the test instead of hanging it.
constexpr int kTimedOut = -1;
constexpr int kThrew = 125;
inline int RunInChild(const std::function<int()>& body, std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
    const pid_t pid = fork();
    if (pid == 0) {
        int rc = kThrew;
        try {
            rc = body();
        } catch (...) {
            // An exception must not unwind into the test runner, which would go on running
            // the other tests in the child.
        }
        _exit(rc);
    }
    if (pid < 0) return -2;
    int status = 0;
    if (!Test::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, deadline)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return kTimedOut;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Caps the calling process's address space, so a runaway allocation ends in bad_alloc
// instead of taking the machine's memory. False where the limit cannot be used.
inline bool LimitAddressSpace(rlim_t bytes) {
#ifdef QUVO_TEST_SANITIZED
    (void)bytes;
    return false;
#else
    const rlimit limit{bytes, bytes};
    return setrlimit(RLIMIT_AS, &limit) == 0;
#endif
}

// Points the store at a fresh folder for the test's life.
class TempRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::path(::testing::TempDir()) / "quvo-reg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        dir_ = root_ / "registry";
        setenv("QUVO_REGISTRY_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("QUVO_REGISTRY_DIR");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    std::filesystem::path HklmFile() const { return dir_ / "HKLM.reg"; }
    std::filesystem::path HkcuFile() const { return dir_ / "HKCU.reg"; }

    std::filesystem::path root_;  // scratch space of the test
    std::filesystem::path dir_;   // QUVO_REGISTRY_DIR
};

}  // namespace QVO::Platform::Registry::Testing

namespace QVO::Platform::Registry {

// Failures name the error instead of printing its bytes.
inline void PrintTo(Error error, std::ostream* os) {
    static const char* const kNames[] = {"None", "NotFound", "AccessDenied", "Corrupt", "IoError", "InvalidArgument"};
    const auto n = static_cast<size_t>(error);
    *os << (n < std::size(kNames) ? kNames[n] : "Error(?)");
}

}  // namespace QVO::Platform::Registry
