// `quvo check` against the service object and a virtual printer on a loopback port.
#include <gtest/gtest.h>

#include "tests/tools/DeviceToolSupport.h"

namespace QVO::Test {
namespace {

// Catches a bad command line that is not refused with exit 2 and the usage, or help that fails.
TEST(ToolCheckUsageTest, HelpAndBadCommandLines) {
    auto r = RunQuvo({"check", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("Usage: quvo check DEVICE", 0), 0u) << r.out;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"check"},
                                               {"check", "Receipt", "--level", "deep"},
                                               {"check", "Receipt", "--level"},
                                               {"check", "A", "B"}}) {
        r = RunQuvo(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("Usage: quvo check"), std::string::npos) << r.err;
    }
}

#ifdef QUVO_SO_BUILT

class ToolCheckTest : public DeviceToolTest {};

// Catches the wrong level passed on, the report not printed, or the text not shown.
TEST_F(ToolCheckTest, InternalAndExternalLevelsOfAPrinter) {
    auto r = RunQuvo({"check", "Receipt"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Internal HealthCheck: Successful.\n");
    EXPECT_EQ(TraceCount("text \"OPOS Printer CheckHealth EXTERNAL:\""), 0u);

    r = RunQuvo({"check", "Receipt", "--level", "external"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "External HealthCheck: Complete.\n\nSuccessful\n");
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("text \"OPOS Printer CheckHealth EXTERNAL:\"") == 1; }));
}

// Catches the question not asked in the terminal, the answer not read, or a cancelled check
// (an answer of c, or no answer at all) reported as a success.
TEST_F(ToolCheckTest, InteractiveLevelAsksInTheTerminal) {
    auto r = RunQuvoWithInput({"check", "TM-T88IV", "--level", "interactive"}, "\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Opos: OPOS Printer Check Health:INTERACTIVE!\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "INTERACTIVE HealthCheck: Complete.\n\nSuccessful\n");
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("text \"Firmware Version: 1.00\"") == 1; }));
    EXPECT_EQ(TraceCount("text \"OPOS Printer CheckHealth INTERACTIVE:\""), 1u);

    for (const char* input : {"c\n", ""}) {
        r = RunQuvoWithInput({"check", "TM-T88IV", "--level", "interactive"}, input);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.out.find("Cancelled by the operator."), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("CheckHealth failed: ResultCode 111 E_FAILURE"), std::string::npos) << r.err;
    }
    EXPECT_EQ(TraceCount("text \"OPOS Printer CheckHealth INTERACTIVE:\""), 1u);
}

// Catches a drawer name not tried as a drawer, or the drawer's check sent to the printer.
TEST_F(ToolCheckTest, DrawerIsCheckedByItsName) {
    auto r = RunQuvo({"check", "Front", "--level", "external"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "External HealthCheck: Success!\n");
    r = RunQuvoWithInput({"check", "Till", "--level", "interactive"}, "ok\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("OPOS CashDrawer Check Health:INTERACTIVE!"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "INTERACTIVE HealthCheck: Success!\n");
    EXPECT_EQ(TraceWithPrefix("text "), 0u);
}

// Catches a printer that is off reported as healthy.
TEST_F(ToolCheckTest, PrinterSwitchedOffFails) {
    server_.reset();  // no connection, nothing listening
    const auto r = RunQuvo({"check", "Receipt", "--level", "external"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find("failed"), std::string::npos) << r.err;
}

#endif  // QUVO_SO_BUILT

}  // namespace
}  // namespace QVO::Test
