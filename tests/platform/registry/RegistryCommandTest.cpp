// Tests of `quvo registry` through the built tool: verbs, output and exit codes.
#include "tests/platform/registry/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>

namespace QVO::Platform::Registry {
namespace {

using Testing::ReadBytes;

class RegistryCommandTest : public Testing::TempRegistry {
protected:
    void SetUp() override {
        TempRegistry::SetUp();
#ifdef QUVO_BIN
        if (!std::filesystem::exists(QUVO_BIN)) GTEST_SKIP() << "the quvo tool is not built";
#else
        GTEST_SKIP() << "the quvo tool is not part of this build";
#endif
    }

    // Runs `quvo registry ARGS` after the shell commands `prefix`, keeping stdout and stderr;
    // returns the exit code.
    int Run(const std::string& args, const std::string& prefix = "") {
#ifdef QUVO_BIN
        // The deadline turns a tool that blocks into a failure (exit 124) instead of a hang.
        const std::string command = prefix + "timeout 30 '" + QUVO_BIN + "' registry " + args + " >'" +
                                    (root_ / "out").string() + "' 2>'" + (root_ / "err").string() + "'";
        const int status = std::system(command.c_str());
        out_ = ReadBytes(root_ / "out");
        err_ = ReadBytes(root_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
        (void)args;
        (void)prefix;
        return -1;
#endif
    }

    std::string out_;
    std::string err_;
};

#ifdef QUVO_TEST_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

const std::string kSample = std::string(QUVO_SAMPLES_DIR) + "/printer-entry.reg";

TEST_F(RegistryCommandTest, ImportShowAndExportTheSample) {
    ASSERT_EQ(Run("import '" + kSample + "'"), 0) << err_;
    ASSERT_EQ(Run("show 'HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS'"), 0) << err_;
    EXPECT_EQ(out_.rfind("HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\n  CashDrawer\\\n", 0), 0u) << out_;
    EXPECT_NE(out_.find("\n    RX4270_01\\\n      (Default)    REG_SZ    QUVOOposPrinterU1.13\n"), std::string::npos)
        << out_;
    EXPECT_NE(out_.find("      PortSettings    REG_SZ    127.0.0.1,9100\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("      SettingsRevision    REG_DWORD    0x0000000d (13)\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("      ImageRoot    REG_EXPAND_SZ    %ProgramData%\\QUVO\\Logo\n"), std::string::npos) << out_;
    const std::string shown = out_;

    // What regedit's form of the export brings into an empty registry shows back the same.
    const std::string exported = (root_ / "x.reg").string();
    ASSERT_EQ(Run("export 'HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS' '" + exported + "' --utf16"), 0)
        << err_;
    EXPECT_EQ(ReadBytes(exported).substr(0, 4), std::string("\xFF\xFEW\0", 4));
    setenv("QUVO_REGISTRY_DIR", (root_ / "second").c_str(), 1);
    ASSERT_EQ(Run("import '" + exported + "'"), 0) << err_;
    ASSERT_EQ(Run("show 'HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS'"), 0) << err_;
    EXPECT_EQ(out_, shown);
}

// Exit codes: 0 done, 1 the operation failed (message names the file), 2 bad command line.
TEST_F(RegistryCommandTest, ExitCodesAndMessages) {
    const struct {
        const char* args;
        int code;
        const char* inStdout;
        const char* inStderr;
    } cases[] = {
        {"--help", 0, "Verbs:", ""},
        {"export --help", 0, "--utf16", ""},
        {"show --help", 0, "(Default)", ""},
        {"", 2, "", "missing verb"},
        {"frobnicate", 2, "", "unknown verb"},
        {"show", 2, "", "Usage"},
        {"show HKEY_USERS\\\\x", 2, "", "not a key"},
        {"export HKLM x.reg --bogus", 2, "", "unknown option"},
        {"import /nonexistent/file.reg", 1, "", "/nonexistent/file.reg"},
        {"show HKLM\\\\SOFTWARE\\\\Missing", 1, "", "not found"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.code) << c.args;
        EXPECT_NE(out_.find(c.inStdout), std::string::npos) << c.args << ": " << out_;
        EXPECT_NE(err_.find(c.inStderr), std::string::npos) << c.args << ": " << err_;
    }
}

// What is not a regular file is refused with exit 1 and the reason: a folder once ended the
// tool with an uncaught exception (134), a FIFO blocked it, /dev/zero was read until memory
// ran out. A hive in the wrong place is refused the same way.
TEST_F(RegistryCommandTest, NonRegularFilesAreRefusedAtOnce) {
    const std::string fifo = (root_ / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string args;
        std::string inStderr;
    } cases[] = {
        {"import '" + root_.string() + "'", root_.string() + ": not a regular file (a folder)"},
        {"import '" + fifo + "'", fifo + ": not a regular file (a FIFO)"},
        {"import /dev/zero", "/dev/zero: not a regular file (a character device)"},
    };
    for (const auto& c : cases) {
        // Bounds the memory a regression that reads /dev/zero could take.
        const std::string limit = kSanitized ? "" : "ulimit -v 2000000; ";
        EXPECT_EQ(Run(c.args, limit), 1) << c.args << ": " << err_;
        EXPECT_NE(err_.find(c.inStderr), std::string::npos) << c.args << ": " << err_;
    }
    std::filesystem::create_directories(HkcuFile());
    EXPECT_EQ(Run("show HKCU"), 1);
    EXPECT_NE(err_.find("HKCU.reg: not a regular file (a folder)"), std::string::npos) << err_;
}

// A failed import exits 1 and leaves every hive as it was, also the one it could write.
TEST_F(RegistryCommandTest, FailedImportExitsOneAndWritesNothing) {
    const std::string file = (root_ / "both.reg").string();
    Testing::WriteBytes(file,
                        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\n"
                        "[HKEY_CURRENT_USER\\Software\\A]\n");
    std::filesystem::create_directories(dir_ / "HKCU.reg.lock");
    EXPECT_EQ(Run("import '" + file + "'"), 1);
    EXPECT_NE(err_.find("HKCU.reg.lock"), std::string::npos) << err_;
    EXPECT_FALSE(std::filesystem::exists(HklmFile()));
}

}  // namespace
}  // namespace QVO::Platform::Registry
