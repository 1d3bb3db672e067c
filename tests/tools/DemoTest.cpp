// The demo end to end: control objects → COM runtime → libQUVOSO.so (registered in a temporary
// registry) → TCP/IP port → virtual printer → paper picture, with the events shown.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

// Runs a shell command and returns its standard output; the exit status goes to *status.
std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        *status = -1;
        return out;
    }
    char chunk[512];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    *status = pclose(pipe);
    return out;
}

class ToolDemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "quvo-demo-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path dir_;
};

// Catches any break along the whole chain: the service object not registering, an entry it
// cannot open, text or escape sequences the printer does not get, events that do not come
// back, a picture that no longer scans. The run locks its printer in a lock directory of its
// own (never the system's) and must leave no lock file behind there.
TEST_F(ToolDemoTest, ReceiptThroughTheControlObjectsWithEvents) {
    int status = 0;
    const fs::path locks = dir_ / "locks";
    std::string out = RunCommand(
        "QUVO_LOCK_DIR='" + locks.string() + "' " + QUVO_BIN + " demo --out '" + (dir_ / "out").string() + "'",
        &status);
    ASSERT_EQ(status, 0) << out;
    ASSERT_TRUE(fs::is_directory(locks)) << "the demo did not lock its printer where told";
    EXPECT_TRUE(fs::is_empty(locks)) << "the demo left a lock file behind";
    for (const char* event : {"event: printer OutputComplete", "event: printer StatusUpdate REC_NEAREMPTY",
                              "event: printer StatusUpdate COVER_OPEN", "event: printer StatusUpdate COVER_OK",
                              "event: drawer StatusUpdate DRAWEROPEN", "event: drawer StatusUpdate DRAWERCLOSED"})
        EXPECT_NE(out.find(event), std::string::npos) << event << "\n" << out;
    EXPECT_NE(out.find("The paper: " + (dir_ / "out/receipt.png").string()), std::string::npos) << out;
    ASSERT_TRUE(fs::exists(dir_ / "out/receipt.png"));
    // The printer's log says which characters reached the paper.
    std::ifstream log(dir_ / "out/commands.log");
    const std::string commands((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(commands.find("\"printed\":\"QUVO MARKET\""), std::string::npos);
    EXPECT_NE(commands.find("\"printed\":\"Caf\u00e9 cr\u00e8me\""), std::string::npos);

    if (std::system("command -v zbarimg >/dev/null 2>&1") != 0) GTEST_SKIP() << "zbarimg is not installed";
    std::string scanned = RunCommand("zbarimg -q " + (dir_ / "out/receipt.png").string() + " 2>/dev/null", &status);
    // Each barcode either scans or the demo said it could not print it.
    if (out.find("EAN-13 4006381333931: printed") != std::string::npos)
        EXPECT_NE(scanned.find("EAN-13:4006381333931"), std::string::npos) << scanned;
    else
        EXPECT_NE(out.find("note: PrintBarCode EAN-13"), std::string::npos) << out;
    if (out.find("QR Code https://quvo.example/receipt/2026-12-07/0042: printed") != std::string::npos)
        EXPECT_NE(scanned.find("QR-Code:https://quvo.example/receipt/2026-12-07/0042"), std::string::npos) << scanned;
    else
        EXPECT_NE(out.find("note: PrintBarCode QR Code"), std::string::npos) << out;
}

TEST_F(ToolDemoTest, BadArgumentsAreAUsageError) {
    int status = 0;
    RunCommand(std::string(QUVO_BIN) + " demo --bogus 2>/dev/null", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    std::string help = RunCommand(std::string(QUVO_BIN) + " demo --help", &status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(help.find("Usage: quvo demo"), std::string::npos);
}

}  // namespace
