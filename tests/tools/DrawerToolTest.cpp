// `quvo drawer` against the service object and a virtual printer on a loopback port.
#include <gtest/gtest.h>

#include "tests/tools/DeviceToolSupport.h"

namespace QVO::Test {
namespace {

// Catches a bad command line that is not refused with exit 2 and the usage, or help that fails.
TEST(ToolDrawerUsageTest, HelpAndBadCommandLines) {
    auto r = RunQuvo({"drawer", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("Usage: quvo drawer open DEVICE\n", 0), 0u) << r.out;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"drawer"},
                                               {"drawer", "shut", "Till"},
                                               {"drawer", "open"},
                                               {"drawer", "open", "Till", "--timeout", "100"},
                                               {"drawer", "wait", "Till", "--timeout", "soon"},
                                               {"drawer", "wait", "Till", "--timeout", "-5"},
                                               {"drawer", "wait", "Till", "Other"}}) {
        r = RunQuvo(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("Usage: quvo drawer"), std::string::npos) << r.err;
    }
}

#ifdef QUVO_SO_BUILT

class ToolDrawerTest : public DeviceToolTest {};

// Catches the pulse not sent, sent to the other connector or with other times, the logical
// name not followed, or a success exit without the report.
TEST_F(ToolDrawerTest, OpenPulsesTheDrawerByItsLogicalName) {
    const auto r = RunQuvo({"drawer", "open", "Front"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Drawer Front pulsed open; it reports open\n");
    EXPECT_EQ(TraceCount("ESC p 1 100 100"), 1u);
    EXPECT_TRUE(printer_.Conditions().drawerOpen);
}

// Catches a wait that ends before the drawer is closed, or one left open reported as closed.
TEST_F(ToolDrawerTest, WaitEndsWhenTheDrawerIsClosedAndFailsAtTheTimeout) {
    printer_.SetDrawerAutoClose(800);
    ASSERT_EQ(RunQuvo({"drawer", "open", "Till"}).exitCode, 0);
    auto r = RunQuvo({"drawer", "wait", "Till", "--timeout", "200"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Drawer Till is closed\n");
    EXPECT_FALSE(printer_.Conditions().drawerOpen);

    printer_.SetDrawerAutoClose(-1);
    printer_.SetDrawerOpen(true);
    ImportDevices(L"800");
    r = RunQuvo({"drawer", "wait", "Front"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.err.find("drawer Front is still open at the close time-out"), std::string::npos) << r.err;
}

// Catches a drawer that cannot be opened reported as a success.
TEST_F(ToolDrawerTest, UnknownDrawerFails) {
    const auto r = RunQuvo({"drawer", "open", "Nowhere"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Open of Nowhere failed"), std::string::npos) << r.err;
    EXPECT_EQ(TraceCount("ESC p 1 100 100"), 0u);
}

#endif  // QUVO_SO_BUILT

}  // namespace
}  // namespace QVO::Test
