// Exclusive use of a network printer: one port per printer across spellings, users and
// processes, the one system-wide lock directory, and no open without a lock.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "PortTestSupport.h"
#include "so/io/ErrorText.h"
#include "so/io/TCPIPPort.h"

namespace QVO::IO {
namespace {

namespace fs = std::filesystem;
using Peers::LoopbackPrinter;
using Peers::TempDir;
using Platform::UniqueFd;

std::unique_ptr<TCPIPPort> MakePort(uint16_t port, const PortEnvironment& env,
                                    const std::wstring& address = L"127.0.0.1") {
    TCPIPPortSettings s;
    s.ParseSettings((address + L"," + std::to_wstring(port)).c_str());
    return std::make_unique<TCPIPPort>(s, env);
}

PortEnvironment WithLockDir(const std::string& dir) {
    PortEnvironment env;
    env.lockDir = dir;
    return env;
}

std::wstring Text(IPort& port) { return port.GetLastErrorText(); }

TEST(PortTcpLockTest, OnePortPerPrinterAddress) {
    TempDir dir;
    LoopbackPrinter printer;
    auto first = MakePort(printer.port(), WithLockDir(dir / "locks"));
    auto second = MakePort(printer.port(), WithLockDir(dir / "locks"));
    ASSERT_EQ(first->Open(), 1);
    EXPECT_EQ(second->Open(), 0);
    EXPECT_EQ(second->GetSystemError(), EBUSY);
    EXPECT_EQ(second->GetLastErrorCode(), kPortLockError);
    EXPECT_EQ(Text(*second),
              L"The printer at 127.0.0.1:" + std::to_wstring(printer.port()) + L" is in use by another port");
    EXPECT_EQ(second->IsOpen(), 0);
    first->Close();
    EXPECT_EQ(second->Open(), 1);
    EXPECT_EQ(second->GetLastErrorCode(), 0) << "a successful open keeps no error";

    // Another process is kept out the same way.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto other = MakePort(printer.port(), WithLockDir(dir / "locks"));
        ::_exit(other->Open() == 0 && other->GetSystemError() == EBUSY ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process opened the held printer";
}

// Every spelling of one printer is one printer: other digits, a host name.
TEST(PortTcpLockTest, LockFollowsTheResolvedAddress) {
    TempDir dir;
    LoopbackPrinter printer;
    auto first = MakePort(printer.port(), WithLockDir(dir / "locks"));
    ASSERT_EQ(first->Open(), 1);
    for (const wchar_t* alias : {L"127.000.000.001", L"localhost"}) {
        auto second = MakePort(printer.port(), WithLockDir(dir / "locks"), alias);
        EXPECT_EQ(second->Open(), 0) << "the same printer was opened twice as " << alias;
        EXPECT_EQ(second->GetSystemError(), EBUSY);
    }
}

// Lock files of one user must be lockable by every other: the directory is made sticky and
// world-writable and the files 0666 whatever the umask; a closed port leaves no file behind
// (the shared directory would otherwise fill with one file per printer and port ever used).
TEST(PortTcpLockTest, LockFilesServeEveryUserAndGoAtClose) {
    TempDir dir;
    LoopbackPrinter printer;
    const std::string locks = dir / "locks";
    const mode_t saved = ::umask(077);
    auto port = MakePort(printer.port(), WithLockDir(locks));
    const int32_t opened = port->Open();
    ::umask(saved);
    ASSERT_EQ(opened, 1);
    const std::string lockPath = port->GetLockPath();
    EXPECT_EQ(lockPath, locks + "/tcp-127.0.0.1-" + std::to_string(printer.port()) + ".lock");
    struct stat st {};
    ASSERT_EQ(::stat(locks.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u);
    ASSERT_EQ(::stat(lockPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u);

    port->Close();
    EXPECT_FALSE(fs::exists(lockPath)) << "the lock file was left behind";
    EXPECT_EQ(port->GetLockPath(), "");
    EXPECT_EQ(port->Open(), 1) << "reopening after the file went";
}

// A holder that opened the file just before it was removed ends up holding a removed file;
// that holds nothing: the next port takes a new file, and that one excludes again.
TEST(PortTcpLockTest, ARemovedLockFileHoldsNothing) {
    TempDir dir;
    LoopbackPrinter printer;
    auto first = MakePort(printer.port(), WithLockDir(dir / "locks"));
    ASSERT_EQ(first->Open(), 1);
    UniqueFd late(::open(first->GetLockPath().c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(late.isValid());
    first->Close();
    ASSERT_EQ(::flock(late.get(), LOCK_EX | LOCK_NB), 0);

    auto second = MakePort(printer.port(), WithLockDir(dir / "locks"));
    EXPECT_EQ(second->Open(), 1);
    auto third = MakePort(printer.port(), WithLockDir(dir / "locks"));
    EXPECT_EQ(third->Open(), 0);
    EXPECT_EQ(third->GetSystemError(), EBUSY);
}

// No lock, no open: a lock directory that cannot be made fails the open with a text that
// says why, and the printer is not contacted.
TEST(PortTcpLockTest, UnusableLockDirectoryFailsTheOpen) {
    TempDir dir;
    LoopbackPrinter printer;
    Peers::WriteTextFile(dir / "file", "");
    const std::string locks = dir / "file/locks";
    auto port = MakePort(printer.port(), WithLockDir(locks));
    EXPECT_EQ(port->Open(), 0);
    EXPECT_EQ(port->IsOpen(), 0);
    EXPECT_EQ(port->GetLastErrorCode(), kPortLockError);
    EXPECT_EQ(port->GetSystemError(), ENOTDIR);
    const std::wstring expected = L"Cannot lock the printer at 127.0.0.1:" + std::to_wstring(printer.port()) +
                                  L": cannot create the lock directory " + std::wstring(locks.begin(), locks.end()) +
                                  L": Not a directory (error " + std::to_wstring(ENOTDIR) + L")";
    EXPECT_EQ(Text(*port), expected);
    EXPECT_FALSE(printer.HasPendingConnection()) << "connected without a lock";
}

// Anyone may put things into the shared directory: a link is not followed and a fifo does
// not hang the open; both fail it with a text.
TEST(PortTcpLockTest, HostileLockPathsAreRefused) {
    TempDir dir;
    LoopbackPrinter printer;
    const std::string locks = dir / "locks";
    fs::create_directories(locks);
    const std::string name = locks + "/tcp-127.0.0.1-" + std::to_string(printer.port()) + ".lock";
    for (bool fifo : {false, true}) {
        std::error_code ec;
        fs::remove(name, ec);
        if (fifo)
            ASSERT_EQ(::mkfifo(name.c_str(), 0666), 0);
        else
            fs::create_symlink(dir / "elsewhere", name);
        auto port = MakePort(printer.port(), WithLockDir(locks));
        EXPECT_EQ(port->Open(), 0);
        EXPECT_EQ(port->GetLastErrorCode(), kPortLockError);
        EXPECT_NE(Text(*port).find(L"lock file"), std::wstring::npos) << fifo;
        EXPECT_FALSE(fs::exists(dir / "elsewhere")) << "the link was followed";
    }
    EXPECT_FALSE(printer.HasPendingConnection());
}

// Sets an environment variable for the scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Two users (or a desktop session and a service) have different runtime directories; they
// must still lock one printer in one place.
TEST(PortTcpLockTest, OneLockDirectoryForEveryUserAndSession) {
    ScopedEnv noOverride("QUVO_LOCK_DIR", nullptr);
    PortEnvironment a, b;
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1000");
        a = PortEnvironment::FromProcess();
    }
    {
        ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1001");
        b = PortEnvironment::FromProcess();
    }
    EXPECT_EQ(a.lockDir, kDefaultLockDir);
    EXPECT_EQ(b.lockDir, kDefaultLockDir);
    {
        ScopedEnv testDir("QUVO_LOCK_DIR", "/tmp/quvo-test-locks");
        EXPECT_EQ(PortEnvironment::FromProcess().lockDir, "/tmp/quvo-test-locks");
    }

    if (::access(fs::path(kDefaultLockDir).parent_path().c_str(), W_OK) != 0 && ::access(kDefaultLockDir, W_OK) != 0)
        GTEST_SKIP() << "the system lock directory is not writable here";
    LoopbackPrinter printer;
    auto first = MakePort(printer.port(), a);
    auto second = MakePort(printer.port(), b);
    ASSERT_EQ(first->Open(), 1) << Text(*first).c_str();
    EXPECT_EQ(second->Open(), 0) << "a second session opened the held printer";
    EXPECT_EQ(second->GetSystemError(), EBUSY);
    first->Close();
}

}  // namespace
}  // namespace QVO::IO
