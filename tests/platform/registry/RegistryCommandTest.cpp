// Tests of `quvo registry` through the built tool: verbs, output and exit codes.
#include "tests/platform/registry/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

    // Runs `quvo registry ARGS`, keeping stdout and stderr; returns the exit code.
    int Run(const std::string& args) {
#ifdef QUVO_BIN
        const std::string command = std::string("'") + QUVO_BIN + "' registry " + args + " >'" +
                                    (root_ / "out").string() + "' 2>'" + (root_ / "err").string() + "'";
        const int status = std::system(command.c_str());
        out_ = ReadBytes(root_ / "out");
        err_ = ReadBytes(root_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
        (void)args;
        return -1;
#endif
    }

    std::string out_;
    std::string err_;
};

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

}  // namespace
}  // namespace QVO::Platform::Registry
