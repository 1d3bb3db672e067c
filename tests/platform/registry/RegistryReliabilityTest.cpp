// Reliability of the hive files: concurrent writers, killed writers, damaged and unwritable hives.
#include "platform/registry/HiveFile.h"
#include "platform/registry/Registry.h"

#include "tests/platform/registry/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <cstring>
#include <unistd.h>

namespace QVO::Platform::Registry {
namespace {

using Testing::ReadBytes;
using Testing::WriteBytes;

// Runs `body` in a child process; its return value is the exit status.
pid_t Spawn(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class RegistryReliabilityTest : public Testing::TempRegistry {
protected:
    void TearDown() override {
        if (!shm_.empty()) std::filesystem::remove_all(shm_);
        TempRegistry::TearDown();
    }

    std::filesystem::path shm_;  // a tmpfs folder, when a test uses one
};

// Two processes change one hive at once; with a lost update (read-modify-write without the
// lock, or a lock that does not cover the re-read) some of the 1000 values disappear.
TEST_F(RegistryReliabilityTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kPerProcess = 500;
    // Locking is under test here, not the disk: on tmpfs the 2000 fsyncs cost nothing.
    if (std::filesystem::is_directory("/dev/shm")) {
        std::string pattern = "/dev/shm/quvo-reg-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        shm_ = pattern;
        setenv("QUVO_REGISTRY_DIR", pattern.c_str(), 1);
    }
    Key key;
    ASSERT_TRUE(Key::Create(Hive::LocalMachine, L"SOFTWARE\\Shared", key).ok());
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        children.push_back(Spawn([p, key] {
            for (int i = 0; i < kPerProcess; ++i) {
                const std::wstring name = L"p" + std::to_wstring(p) + L"_" + std::to_wstring(i);
                if (!key.SetValue(name, Value::DWord(static_cast<uint32_t>(i))).ok()) return 1;
            }
            return 0;
        }));
    }
    for (pid_t pid : children) EXPECT_EQ(WaitExit(pid), 0);
    std::vector<NamedValue> values;
    ASSERT_TRUE(key.EnumValues(values).ok());
    EXPECT_EQ(values.size(), 2u * kPerProcess);
}

// Threads of one process serialise on the same lock file as processes do (each change opens
// its own descriptor) and share the parsed-hive cache; readers run alongside the writers.
TEST_F(RegistryReliabilityTest, ThreadsWritingAndReadingAtOnceLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 40;
    Key key;
    ASSERT_TRUE(Key::Create(Hive::CurrentUser, L"Threads", key).ok());
    std::vector<int> failures(kThreads * 2, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i)
                if (!key.SetValue(L"t" + std::to_wstring(t) + L"_" + std::to_wstring(i), Value::DWord(1)).ok())
                    ++failures[t];
        });
        threads.emplace_back([&, t] {
            std::vector<NamedValue> values;
            for (int i = 0; i < kPerThread; ++i)
                if (!key.EnumValues(values).ok()) ++failures[kThreads + t];
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads * 2, 0));
    std::vector<NamedValue> values;
    ASSERT_TRUE(key.EnumValues(values).ok());
    EXPECT_EQ(values.size(), static_cast<size_t>(kThreads * kPerThread));
}

// A writer killed at any moment leaves the previous hive or the next one, never a torn
// file: the hive must parse after every kill and hold one whole generation of the value.
TEST_F(RegistryReliabilityTest, KilledWriterLeavesOldOrNewHive) {
    constexpr size_t kSize = 150000;
    constexpr int kRounds = 12;
    Key key;
    ASSERT_TRUE(Key::Create(Hive::LocalMachine, L"SOFTWARE\\Big", key).ok());
    std::mt19937 rng(12345);
    uint32_t generation = 0;
    for (int round = 0; round < kRounds; ++round) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const uint32_t start = generation + 1000;
        const pid_t pid = Spawn([&, start] {
            close(pipeFds[0]);
            for (uint32_t g = start;; ++g) {
                std::vector<uint8_t> data(kSize, static_cast<uint8_t>(g));
                std::memcpy(data.data(), &g, sizeof g);
                if (!key.SetValue(L"Data", Value::Binary(std::move(data))).ok()) return 1;
                if (write(pipeFds[1], "w", 1) != 1) return 1;  // one whole write is done
            }
        });
        close(pipeFds[1]);
        // Kill only once the child is in its write loop, then at a random point of a write.
        pollfd pfd{pipeFds[0], POLLIN, 0};
        ASSERT_EQ(poll(&pfd, 1, 30000), 1) << "child made no write";
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 40000));  // the kill point, not a wait
        kill(pid, SIGKILL);
        EXPECT_EQ(WaitExit(pid), 128 + SIGKILL);
        close(pipeFds[0]);
        generation = start;

        KeyNode root;
        const Status parsed = HiveFile::ParseHive(ReadBytes(HklmFile()), Hive::LocalMachine, "HKLM.reg", root);
        ASSERT_TRUE(parsed.ok()) << "round " << round << ": " << parsed.message;
        const KeyNode* node = FindKey(root, {L"SOFTWARE", L"Big"});
        ASSERT_NE(node, nullptr);
        const auto& bytes = node->values.at(L"DATA").value.bytes;
        ASSERT_EQ(bytes.size(), kSize);
        uint32_t g;
        std::memcpy(&g, bytes.data(), sizeof g);
        EXPECT_EQ(bytes.back(), static_cast<uint8_t>(g)) << "round " << round;
    }
    // Temporary files of the killed writers go with the next change.
    ASSERT_TRUE(key.SetValue(L"After", Value::DWord(1)).ok());
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".tmp."), std::string::npos) << entry.path();
}

struct Damage {
    const char* label;
    std::string bytes;
    int line;
};

// A damaged hive must stop both readers and writers: reading it as empty would make the
// devices vanish, and writing would replace it and lose whatever the damage did not reach.
TEST_F(RegistryReliabilityTest, DamagedHiveIsReportedAndNeverOverwritten) {
    const std::string good =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"1\"\n\n";
    const std::vector<Damage> cases = {
        {"bad syntax", good + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n\"v\" \"2\"\n", 7},
        {"truncated entry", good + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n\"v\"=hex:01,02,\\", 7},
        {"binary junk", good + std::string("\x00\x01\x02\xff\xfe", 5), 6},
        {"wrong encoding", good + "\"caf\xe9\"=\"latin-1 in a UTF-8 file\"\n", 6},
        {"foreign root", good + "[HKEY_CURRENT_USER\\X]\n", 6},
    };
    for (const auto& c : cases) {
        std::filesystem::create_directories(dir_);
        WriteBytes(HklmFile(), c.bytes);
        Key key;
        const Status read = Key::Open(Hive::LocalMachine, L"SOFTWARE\\A", key);
        EXPECT_EQ(read.error, Error::Corrupt) << c.label;
        EXPECT_NE(read.message.find("HKLM.reg:" + std::to_string(c.line) + ":"), std::string::npos)
            << c.label << ": " << read.message;
        const Status write = Key::Create(Hive::LocalMachine, L"SOFTWARE\\New", key);
        EXPECT_EQ(write.error, Error::Corrupt) << c.label;
        EXPECT_EQ(ReadBytes(HklmFile()), c.bytes) << c.label;
    }
}

// When the hive's folder cannot be created the write fails with AccessDenied naming the
// file, and reading still works (an empty hive: there can be no file there).
TEST_F(RegistryReliabilityTest, FolderThatCannotExistGivesAccessDenied) {
    WriteBytes(root_ / "plainfile", "not a folder");
    setenv("QUVO_REGISTRY_DIR", (root_ / "plainfile" / "registry").c_str(), 1);
    Key key;
    const Status s = Key::Create(Hive::LocalMachine, L"SOFTWARE\\X", key);
    EXPECT_EQ(s.error, Error::AccessDenied);
    EXPECT_NE(s.message.find("plainfile/registry/HKLM.reg"), std::string::npos) << s.message;
    EXPECT_TRUE(Key::Open(Hive::LocalMachine, L"", key).ok());
}

// A read-only folder: writes fail with AccessDenied naming the file, and the existing hive
// still reads. Root ignores permissions, so as root the check runs in a child that has
// given up root.
TEST_F(RegistryReliabilityTest, ReadOnlyFolderRefusesWritesButReads) {
    Key key;
    ASSERT_TRUE(Key::Create(Hive::LocalMachine, L"SOFTWARE\\Kept", key).ok());
    ASSERT_TRUE(key.SetValue(L"v", Value::String(L"still here")).ok());
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
    const bool root = geteuid() == 0;
    // Once with the lock file left by the writes above, once without it (a fresh install).
    for (bool removeLock : {false, true}) {
        if (removeLock) std::filesystem::remove(dir_ / "HKLM.reg.lock");
        ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
        const pid_t pid = Spawn([root] {
            if (root && (setgid(65534) != 0 || setuid(65534) != 0)) return 3;
            Key kept;
            if (!Key::Open(Hive::LocalMachine, L"SOFTWARE\\Kept", kept).ok()) return 4;
            if (kept.GetString(L"v") != L"still here") return 5;
            const Status s = kept.SetValue(L"w", Value::DWord(1));
            if (s.error != Error::AccessDenied) return 6;
            if (s.message.find("HKLM.reg") == std::string::npos) return 7;
            return 0;
        });
        const int rc = WaitExit(pid);
        chmod(dir_.c_str(), 0755);
        if (rc == 3) GTEST_SKIP() << "cannot drop root privileges here, so permissions cannot be tested";
        EXPECT_EQ(rc, 0) << "lock removed " << removeLock << ": 3 setuid, 4 open, 5 read, 6 no AccessDenied, 7 message";
    }
}

// A hive path that is not a regular file stops readers and writers at once, naming the
// file: a folder failed only on reading, a FIFO blocked every call forever, a device was
// read as a hive (/dev/zero until memory ran out, /dev/null as an empty hive).
TEST_F(RegistryReliabilityTest, HiveThatIsNoRegularFileIsRefused) {
    const struct {
        const char* label;
        std::function<void()> make;
        const char* kind;
    } cases[] = {
        {"folder", [&] { std::filesystem::create_directories(HklmFile()); }, "a folder"},
        {"FIFO", [&] { ASSERT_EQ(mkfifo(HklmFile().c_str(), 0600), 0); }, "a FIFO"},
        {"device", [&] { std::filesystem::create_symlink("/dev/null", HklmFile()); }, "a character device"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        c.make();
        const std::string expected = "cannot read " + HklmFile().string() + ": not a regular file (" + c.kind + ")";
        const int rc = Testing::RunInChild(
            [&] {
                Key key;
                if (Key::Open(Hive::LocalMachine, L"", key).message != expected) return 1;
                if (Key::Create(Hive::LocalMachine, L"SOFTWARE\\New", key).message != expected) return 2;
                return 0;
            },
            std::chrono::seconds(10));
        EXPECT_EQ(rc, 0) << c.label << ": 1 read, 2 write not refused as expected, -1 blocked";
    }
}

}  // namespace
}  // namespace QVO::Platform::Registry
