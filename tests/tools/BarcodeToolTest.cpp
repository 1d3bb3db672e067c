// `quvo barcode`: the command line and its exit codes, and, when the service object is built,
// symbols printed on a virtual printer through the control object and scanned back.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/tools/ToolStore.h"

#ifdef QUVO_SO_BUILT
#include "tests/tools/DeviceToolSupport.h"
#endif

namespace {

using QVO::Test::RunQuvo;

TEST(ToolBarcodeTest, HelpAndBadCommandLines) {
    auto r = RunQuvo({"barcode", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Usage: quvo barcode DEVICE DATA --symbology NAME"), std::string::npos) << r.out;
    const std::vector<std::vector<std::string>> bad = {
        {"barcode"},
        {"barcode", "Receipt"},
        {"barcode", "Receipt", "123"},
        {"barcode", "Receipt", "123", "--symbology", "morse"},
        {"barcode", "Receipt", "123", "--symbology", "code39", "--height", "0"},
        {"barcode", "Receipt", "123", "--symbology", "code39", "--width"},
        {"barcode", "Receipt", "123", "--symbology", "code39", "--align", "middle"},
        {"barcode", "Receipt", "123", "--symbology", "code39", "--hri", "beside"},
        {"barcode", "Receipt", "123", "--symbology", "code39", "--colour", "red"},
        {"barcode", "Receipt", "123", "extra", "--symbology", "code39"},
    };
    for (const auto& args : bad) {
        r = RunQuvo(args);
        EXPECT_EQ(r.exitCode, 2) << args.back() << ": " << r.err;
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << r.err;
    }
}

#ifdef QUVO_SO_BUILT

std::string Shell(const std::string& command) {
    std::string out;
    std::FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ::pclose(p);
    return out;
}

class ToolBarcodePrinterTest : public QVO::Test::DeviceToolTest {
protected:
    std::string Scan() {
        // One picture per test: the tests of this file may run at the same time.
        const std::string path = ::testing::TempDir() + "/quvo_barcode_tool_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
        if (!printer_.WritePng(path)) return "(no picture)";
        return Shell("zbarimg --raw -q '" + path + "' 2>/dev/null");
    }
};

// The symbol reaches the printer with the options given, and reads back as its data.
TEST_F(ToolBarcodePrinterTest, PrintsALinearSymbolThatScansBack) {
    auto r = RunQuvo({"barcode", "Receipt", "QUVO-128", "--symbology", "code128", "--height", "80", "--width", "3",
                      "--align", "left", "--hri", "none"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Printed code128 \"QUVO-128\" on Receipt"), std::string::npos) << r.out;
    EXPECT_TRUE(QVO::Test::WaitUntil([&] { return TraceWithPrefix("GS k 73") == 1; }));
    EXPECT_EQ(TraceCount("GS h 80"), 1u);
    EXPECT_EQ(TraceCount("GS w 3"), 1u);
    EXPECT_EQ(TraceCount("GS H 0"), 1u);
    if (Shell("command -v zbarimg").empty()) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    EXPECT_EQ(Scan(), "QUVO-128\n");
}

TEST_F(ToolBarcodePrinterTest, PrintsAQrCodeThatScansBack) {
    auto r = RunQuvo({"barcode", "Receipt", "https://example.com/q", "--symbology", "qr", "--height", "200"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(QVO::Test::WaitUntil([&] { return TraceWithPrefix("GS ( k 49 81") == 1; }));
    if (Shell("command -v zbarimg").empty()) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    EXPECT_EQ(Scan(), "https://example.com/q\n");
}

// A request the printer cannot carry out fails with the reason, and nothing is printed.
TEST_F(ToolBarcodePrinterTest, RefusedRequestFailsWithTheReason) {
    auto r = RunQuvo({"barcode", "Receipt", "12345", "--symbology", "code39", "--height", "5000"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot print \"12345\" as code39"), std::string::npos) << r.err;
    EXPECT_EQ(TraceWithPrefix("GS k"), 0u);
    r = RunQuvo({"barcode", "NoSuch", "12345", "--symbology", "code39"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("OpenResult 302"), std::string::npos) << r.err;
}

#endif

}  // namespace
