// The file port: output and input files, appending, exclusivity.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "PortTestSupport.h"
#include "so/io/FilePort.h"

namespace QVO::IO {
namespace {

using Peers::TempDir;

FilePortSettings FileSettings(const std::string& out, const std::string& in) {
    FilePortSettings s;
    std::string text = out + (in.empty() ? "" : "," + in);
    s.ParseSettings(std::wstring(text.begin(), text.end()).c_str());
    return s;
}

std::unique_ptr<FilePort> MakePort(const FilePortSettings& s) {
    auto port = std::make_unique<FilePort>(s);
    PortTimings t = port->GetTimings();
    t.backoffStepMs = 0;
    t.failedPassPauseMs = 0;
    t.line.readTotalConstantMs = 5;
    port->SetTimings(t);
    return port;
}

TEST(PortFileTest, MissingOutputFailsMissingInputDoesNot) {
    TempDir dir;
    auto noOutput = MakePort(FileSettings(dir / "out", dir / "in"));
    EXPECT_EQ(noOutput->Open(), 0);
    EXPECT_EQ(noOutput->GetSystemError(), ENOENT);
    EXPECT_EQ(noOutput->IsOpen(), 0);

    Peers::WriteTextFile(dir / "out", "");
    auto noInput = MakePort(FileSettings(dir / "out", dir / "in"));
    EXPECT_EQ(noInput->Open(), 1);
    const uint8_t data[] = {'o', 'k'};
    EXPECT_EQ(noInput->Write(data, 0, 2), 1);
    uint8_t buf[2];
    int32_t got = -1;
    EXPECT_EQ(noInput->Read(buf, 0, 2, got, 0), 0);
    EXPECT_EQ(noInput->ReadOnce(buf, 0, 2, got, 0), 0);
    noInput->Close();
    EXPECT_EQ(Peers::ReadTextFile(dir / "out"), "ok");

    auto empty = MakePort(FilePortSettings());
    EXPECT_EQ(empty->Open(), 0);
}

// A new session appends; writing from the start would leave old bytes behind the new.
TEST(PortFileTest, OutputIsAppendedNotOverwritten) {
    TempDir dir;
    Peers::WriteTextFile(dir / "out", "older session output\n");
    auto port = MakePort(FileSettings(dir / "out", ""));
    ASSERT_EQ(port->Open(), 1);
    const std::string text = "new\n";
    EXPECT_EQ(port->Write(reinterpret_cast<const uint8_t*>(text.data()), 0, 4), 1);
    port->Close();
    EXPECT_EQ(Peers::ReadTextFile(dir / "out"), "older session output\nnew\n");
}

// Reads always wait for all bytes: what the input holds comes back, a request beyond
// its end fails after the passes, keeping what was there.
TEST(PortFileTest, ReadsTheInputFile) {
    TempDir dir;
    Peers::WriteTextFile(dir / "out", "");
    Peers::WriteTextFile(dir / "in", std::string(200, 'r') + "xyz");
    auto port = MakePort(FileSettings(dir / "out", dir / "in"));
    ASSERT_EQ(port->Open(), 1);
    std::vector<uint8_t> buf(300);
    int32_t got = 0;
    EXPECT_EQ(port->Read(buf.data(), 0, 200, got, 0), 1) << "waits for all even without waitAll";
    EXPECT_EQ(got, 200);
    EXPECT_EQ(port->Read(buf.data(), 0, 10, got, 0), 0);
    EXPECT_EQ(got, 3);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + 3), "xyz");
}

TEST(PortFileTest, FilesAreHeldExclusively) {
    TempDir dir;
    Peers::WriteTextFile(dir / "out", "");
    auto first = MakePort(FileSettings(dir / "out", ""));
    auto second = MakePort(FileSettings(dir / "out", ""));
    ASSERT_EQ(first->Open(), 1);
    EXPECT_EQ(second->Open(), 0);
    EXPECT_EQ(second->GetSystemError(), EBUSY);
    first->Close();
    EXPECT_EQ(second->Open(), 1);

    // Another process is kept out the same way.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FilePort other(FileSettings(dir / "out", ""));
        ::_exit(other.Open() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process opened the held file";
}

}  // namespace
}  // namespace QVO::IO
