// The engine's health-check names and statistics table, without a printer.
#include <gtest/gtest.h>

#include <string>

#include "constants/OposConstants.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/CTM_T88IV.h"

namespace QVO::Printer {
namespace {

using namespace Opos;

// Catches a result code named wrongly in health-check texts, or a code without a name of its
// own (102, 111, anything unknown) not given the failure's name.
TEST(EngineHealthTest, ResultCodesHaveTheirNames) {
    const std::pair<int32_t, const char*> names[] = {
        {OPOS_SUCCESS, "Successful"},
        {OPOS_E_CLOSED, "OPOS_E_CLOSED"},
        {OPOS_E_NOTCLAIMED, "OPOS_E_NOTCLAIMED"},
        {OPOS_E_NOSERVICE, "OPOS_E_NOSERVICE"},
        {OPOS_E_DISABLED, "OPOS_E_DISABLED"},
        {OPOS_E_ILLEGAL, "OPOS_E_ILLEGAL"},
        {OPOS_E_NOHARDWARE, "OPOS_E_NOHARDWARE"},
        {OPOS_E_OFFLINE, "OPOS_E_OFFLINE"},
        {OPOS_E_NOEXIST, "OPOS_E_NOEXIST"},
        {OPOS_E_EXISTS, "OPOS_E_EXISTS"},
        {OPOS_E_TIMEOUT, "OPOS_E_TIMEOUT"},
        {OPOS_E_BUSY, "OPOS_E_BUSY"},
        {OPOS_E_EXTENDED, "OPOS_E_EXTENDED"},
        {OPOS_E_CLAIMED, "OPOS_E_FAILURE"},
        {OPOS_E_FAILURE, "OPOS_E_FAILURE"},
        {-1, "OPOS_E_FAILURE"},
        {300, "OPOS_E_FAILURE"},
    };
    for (const auto& [code, name] : names) EXPECT_EQ(CPrinterBase::GetStatusString(code), name) << code;
}

// Catches a statistics method that claims success, and a name table out of its fixed order.
TEST(EngineHealthTest, StatisticsAreNotKept) {
    CTM_T88IV engine(L"TM-T88IV");
    int32_t rc = 0;
    std::wstring statistics;
    engine.RetrieveStatistics(&statistics, &rc);
    EXPECT_EQ(rc, OPOS_E_EXTENDED);
    EXPECT_EQ(engine.ResultCodeExtended(), kExtUnsupported);
    rc = 0;
    engine.UpdateStatistics(L"PaperCutCount=1", &rc);
    EXPECT_EQ(rc, OPOS_E_EXTENDED);
    rc = 0;
    engine.ResetStatistics(L"", &rc);
    EXPECT_EQ(rc, OPOS_E_EXTENDED);

    const auto table = CPrinterBase::StatisticsTable();
    ASSERT_EQ(table.size(), 22u);
    EXPECT_EQ(std::wstring(table.front().name), L"UnifiedPOSVersion");
    EXPECT_EQ(std::wstring(table[8].name), L"InstallationDate");
    EXPECT_EQ(std::wstring(table[9].name), L"HoursPoweredCount");
    EXPECT_EQ(std::wstring(table.back().name), L"ReceiptCoverOpenCount");
    for (size_t i = 9; i < table.size(); ++i) EXPECT_EQ(std::wstring(table[i].value), L"0") << i;
}

// Catches the internal level going anywhere near the printer: it answers on an engine that
// was never opened, and the unknown levels are refused with 114/300.
TEST(EngineHealthTest, InternalLevelNeedsNoPrinter) {
    CTM_T88IV engine(L"TM-T88IV");
    int32_t rc = -1;
    engine.CheckHealth(1, &rc);
    EXPECT_EQ(rc, OPOS_SUCCESS);
    EXPECT_EQ(engine.CheckHealthText(), L"Internal HealthCheck: Successful.");
    engine.CheckHealth(4, &rc);
    EXPECT_EQ(rc, OPOS_E_EXTENDED);
    EXPECT_EQ(engine.ResultCodeExtended(), kExtUnsupported);
    EXPECT_EQ(engine.CheckHealthText(), L"Illegal Health Check Level!\r\nOPOS_E_ILLEGAL");
}

}  // namespace
}  // namespace QVO::Printer
