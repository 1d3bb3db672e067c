// The POSPrinter and CashDrawer control objects against a fake service object: opening through
// the registry, every OpenResult, forwarding of arguments and results.
#include <gtest/gtest.h>

#include <cwchar>

#include "opos/CashDrawerControl.h"
#include "opos/PosPrinterControl.h"
#include "tests/opos/ControlTestSupport.h"

using namespace QVO::Opos;
using namespace QVO::Test;

namespace {

TEST_F(OposControl, OpenResolvesTheLogicalNameAndHandsOverItsReceiver) {
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Receipt"), OPOS_SUCCESS);
    EXPECT_EQ(printer.GetOpenResult(), 0);
    EXPECT_TRUE(printer.IsOpen());
    auto trace = fake.Trace();
    ASSERT_GE(trace.size(), 2u);
    // The entry name, not the logical name, reaches the service object; its result slot was 0.
    EXPECT_EQ(trace[0], L"EventIds(1,2,3,4)");
    EXPECT_EQ(trace[1], L"OpenService(\"POSPrinter\",\"Fake_01\",disp)=>0@0");
    EXPECT_TRUE(Contains(trace, L"GetPropertyNumber(8)=>1013001@0"));  // the version check
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
    EXPECT_TRUE(Contains(fake.Trace(), L"CloseService()=>0@0"));
    EXPECT_EQ(fake.LiveObjects(), 0);  // the service object was released
    EXPECT_EQ(printer.GetState(), OPOS_S_CLOSED);
}

TEST_F(OposControl, EveryOpenFailureNamesItsStep) {
    struct Case {
        const wchar_t* name;
        int32_t openResult;
        int32_t resultCode;
    };
    const Case cases[] = {
        {L"Nowhere", OPOS_OR_REGBADNAME, OPOS_E_NOEXIST},
        {L"Dangling", OPOS_OR_REGBADNAME, OPOS_E_NOEXIST},  // logical name of a removed entry
        {L"NoProgId_01", OPOS_OR_REGPROGID, OPOS_E_NOEXIST},
        {L"BadProgId_01", OPOS_OR_REGPROGID, OPOS_E_NOEXIST},
        {L"NoCreate_01", OPOS_OR_CREATE, OPOS_E_NOSERVICE},
        {L"Incomplete_01", OPOS_OR_BADIF, OPOS_E_NOSERVICE},
        {L"FailOpen_01", OPOS_ORS_CONFIG, OPOS_E_ILLEGAL},  // the service object's own reason
        {L"FailSilently_01", OPOS_OR_FAILEDOPEN, OPOS_E_FAILURE},
        {L"Old_01", OPOS_OR_BADVERSION, OPOS_E_NOSERVICE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.name, c.name + wcslen(c.name)));
        CPosPrinterControl printer;
        EXPECT_EQ(printer.Open(c.name), c.resultCode);
        EXPECT_EQ(printer.GetOpenResult(), c.openResult);
        EXPECT_EQ(printer.GetResultCode(), c.resultCode);
        EXPECT_FALSE(printer.IsOpen());
        EXPECT_EQ(printer.GetState(), OPOS_S_CLOSED);
        EXPECT_EQ(fake.LiveObjects(), 0);  // nothing kept from a failed open
    }
    // The wrong major version was opened, so it is closed again before being let go.
    CPosPrinterControl old;
    old.Open(L"Old_01");
    EXPECT_TRUE(Contains(fake.Trace(), L"CloseService()=>0@0"));
}

TEST_F(OposControl, SecondOpenIsRefusedAndLeavesTheFirstIntact) {
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    EXPECT_EQ(printer.Open(L"Fake_01"), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.GetOpenResult(), OPOS_OR_ALREADYOPEN);
    fake.Trace();
    EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"still here"), OPOS_SUCCESS);
    EXPECT_TRUE(Contains(fake.Trace(), L"PrintNormal(2,\"still here\")=>0@0"));
}

TEST_F(OposControl, ResultCodeShowsACallTheControlRefusedItself) {
    // An application checks ResultCode after Open; a refused second Open must not read as success
    // just because the service object's own last result was 0.
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Legacy_01"), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"x"), OPOS_SUCCESS);
    ASSERT_EQ(printer.Open(L"Legacy_01"), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.GetResultCode(), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.GetResultCodeExtended(), 0);
    // The next call that reaches the service object makes its result current again.
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"y"), OPOS_SUCCESS);
    EXPECT_EQ(printer.GetResultCode(), OPOS_SUCCESS);
    // A method this older service object lacks is refused here, and ResultCode says so.
    EXPECT_EQ(printer.PrintLine(PTR_S_RECEIPT, L"0,100"), OPOS_E_NOSERVICE);
    EXPECT_EQ(printer.GetResultCode(), OPOS_E_NOSERVICE);
}

TEST_F(OposControl, MethodsForwardArgumentsInOrderWithTheirTypes) {
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    fake.Trace();
    EXPECT_EQ(printer.PrintBarCode(PTR_S_RECEIPT, L"4901234567894", 104, 162, 3, -2, -11), 0);
    EXPECT_EQ(printer.SetBitmap(1, PTR_S_RECEIPT, L"/tmp/logo.bmp", -11, -2), 0);
    EXPECT_EQ(printer.PrintCurveText(2, 5, 30, L"curve"), 0);
    EXPECT_EQ(printer.CutPaper(90), 90);  // the service object's result comes back as it is
    EXPECT_EQ(printer.ValidateData(2, L"x"), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.SetFreezeEvents(true), 0);
    EXPECT_EQ(printer.SetDeviceEnabled(true), 0);
    EXPECT_EQ(printer.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION), 0);
    const std::vector<std::wstring> expected = {
        L"PrintBarCode(2,\"4901234567894\",104,162,3,-2,-11)=>0@0",
        L"SetBitmap(1,2,\"/tmp/logo.bmp\",-11,-2)=>0@0",
        L"PrintCurveText(2,5,30,\"curve\")=>0@0",
        L"CutPaper(90)=>90@0",
        L"ValidateData(2,\"x\")=>106@0",
        L"COFreezeEvents(-1)=>0@0",
        L"SetPropertyNumber(3,1)=>0@0",
        L"TransactionPrint(2,11)=>0@0",
    };
    EXPECT_EQ(fake.Trace(), expected);
}

TEST_F(OposControl, ReferenceArgumentsComeBackChanged) {
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    fake.Trace();
    int32_t data = 21;
    std::wstring text = L"abc";
    EXPECT_EQ(printer.DirectIO(100, data, text), 0);
    EXPECT_EQ(data, 42);
    EXPECT_EQ(text, L"abc!");
    std::wstring stats = L"<in/>";
    EXPECT_EQ(printer.RetrieveStatistics(stats), 0);
    EXPECT_EQ(stats, L"<stats/>");
    int32_t comparison = -1;
    EXPECT_EQ(printer.CompareFirmwareVersion(L"fw.bin", comparison), 0);
    EXPECT_EQ(comparison, 3);
    auto trace = fake.Trace();
    EXPECT_TRUE(Contains(trace, L"DirectIO(100,&21,&\"abc\")=>0@0"));
    EXPECT_TRUE(Contains(trace, L"RetrieveStatistics(&\"<in/>\")=>0@0"));
}

TEST_F(OposControl, PropertiesTravelByIndex) {
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    EXPECT_EQ(printer.SetRecLineChars(42), 0);
    EXPECT_EQ(printer.GetRecLineChars(), 42);
    EXPECT_EQ(printer.SetAsyncMode(true), 0);
    EXPECT_TRUE(printer.GetAsyncMode());
    EXPECT_EQ(printer.GetState(), OPOS_S_IDLE);
    EXPECT_EQ(printer.GetServiceObjectVersion(), 1013001);
    EXPECT_EQ(printer.GetDeviceDescription(), L"Fake printer");
    EXPECT_EQ(printer.SetPageModePrintArea(L"0,0,576,400"), 0);
    EXPECT_EQ(printer.GetPageModePrintArea(), L"0,0,576,400");
    auto trace = fake.Trace();
    EXPECT_TRUE(Contains(trace, L"SetPropertyNumber(8016,42)=>0@0"));
    EXPECT_TRUE(Contains(trace, L"GetPropertyNumber(8001)=>1@0"));
    EXPECT_TRUE(Contains(trace, L"SetPropertyString(1008012,\"0,0,576,400\")=>0@0"));
}

TEST_F(OposControl, ClosedControlAnswersWithoutAServiceObject) {
    CPosPrinterControl printer;
    EXPECT_EQ(printer.GetResultCode(), OPOS_E_CLOSED);
    EXPECT_EQ(printer.GetState(), OPOS_S_CLOSED);
    EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"x"), OPOS_E_CLOSED);
    EXPECT_EQ(printer.Close(), OPOS_E_CLOSED);
    EXPECT_EQ(printer.GetRecLineChars(), 0);
    EXPECT_EQ(printer.GetDeviceDescription(), L"");
    EXPECT_TRUE(fake.Trace().empty());

    ASSERT_EQ(printer.Open(L"Fake_01"), OPOS_SUCCESS);
    ASSERT_EQ(printer.Close(), OPOS_SUCCESS);
    EXPECT_EQ(printer.GetResultCode(), OPOS_SUCCESS);  // the close itself succeeded
    EXPECT_EQ(printer.ClaimDevice(100), OPOS_E_CLOSED);
    EXPECT_EQ(printer.GetResultCode(), OPOS_E_CLOSED);
}

TEST_F(OposControl, OptionalMethodMissingFromAnOlderServiceAnswersNoService) {
    CPosPrinterControl printer;
    ASSERT_EQ(printer.Open(L"Legacy_01"), OPOS_SUCCESS);
    fake.Trace();
    EXPECT_EQ(printer.PrintLine(2, L"0,100"), OPOS_E_NOSERVICE);
    EXPECT_EQ(printer.PrintNormal(2, L"ok"), OPOS_SUCCESS);
    EXPECT_EQ(fake.Trace(), std::vector<std::wstring>{L"PrintNormal(2,\"ok\")=>0@0"});
}

TEST_F(OposControl, CashDrawerOpensItsOwnClassAndForwardsDrawerCalls) {
    CCashDrawerControl drawer;
    ASSERT_EQ(drawer.Open(L"Drawer_01"), OPOS_SUCCESS);
    EXPECT_EQ(drawer.OpenDrawer(), 0);
    EXPECT_EQ(drawer.WaitForDrawerClose(1000, 2000, 300, 500), 0);
    drawer.GetDrawerOpened();
    drawer.Close();
    auto trace = fake.Trace();
    EXPECT_TRUE(Contains(trace, L"OpenService(\"CashDrawer\",\"Drawer_01\",disp)=>0@0"));
    EXPECT_TRUE(Contains(trace, L"OpenDrawer()=>0@0"));
    EXPECT_TRUE(Contains(trace, L"WaitForDrawerClose(1000,2000,300,500)=>0@0"));
    EXPECT_TRUE(Contains(trace, L"GetPropertyNumber(1001)=>0@0"));
    // The printer's entries are not the drawer's: the printer's logical name is unknown here.
    CCashDrawerControl other;
    EXPECT_EQ(other.Open(L"Receipt"), OPOS_E_NOEXIST);
    EXPECT_EQ(other.GetOpenResult(), OPOS_OR_REGBADNAME);
}

}  // namespace
