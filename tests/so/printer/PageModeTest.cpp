// Page mode and rotation in the engine: the page-mode controls and properties, how a page
// and a sideways block reach the printer, and where barcodes go meanwhile. Inside a
// transaction nothing is sent, so the collected bytes show what the printer would get.
#include <gtest/gtest.h>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/printer/FormatTestSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace Opos;

// An 80 mm model (576 x 936 dot page), asynchronous so that no paper check refuses.
class PageEngine : public FormatEngine {
public:
    PageEngine() : FormatEngine(L"QP-T80A") { SetAsyncMode(1); }
    using CPrinterBase::IsInRotate90Mode;
    int32_t Call(int32_t (CPrinterBase::*method)(int32_t, int32_t*), int32_t value) {
        int32_t rc = -1;
        (this->*method)(value, &rc);
        return rc;
    }
    int32_t Page(int32_t control) { return Call(&CPrinterBase::PageModePrint, control); }
    int32_t Rotate(int32_t rotation) {
        int32_t rc = -1;
        RotatePrint(PTR_S_RECEIPT, rotation, &rc);
        return rc;
    }
    int32_t Area(const std::wstring& text) {
        int32_t rc = -1;
        SetPropertyString(PIDXPtr_PageModePrintArea, text, &rc);
        return rc;
    }
    int32_t Barcode(const std::wstring& data = L"QUVO", int32_t alignment = PTR_BC_LEFT) {
        int32_t rc = -1;
        PrintBarCode(PTR_S_RECEIPT, data, PTR_BCS_Code39, 60, 2, alignment, PTR_BC_TEXT_NONE, &rc);
        return rc;
    }
    void BeginTransaction() {
        int32_t rc = -1;
        TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &rc);
        ASSERT_EQ(rc, OPOS_SUCCESS);
    }
    std::string Collected() const { return CPrinterFormatTestAccess::TransactionBytes(*this); }
    std::string CollectedTrace() const {
        const std::string bytes = Collected();
        PrinterBuffer buffer;
        buffer.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        return Trace(buffer);
    }
};

TEST(PageMode, ControlsAndStationRules) {
    PageEngine e;
    EXPECT_EQ(e.Page(PTR_PM_PAGE_MODE), OPOS_E_ILLEGAL) << "no page-mode station chosen";
    EXPECT_EQ(e.SetNumber(PIDXPtr_PageModeStation, PTR_S_SLIP), OPOS_E_EXTENDED);
    EXPECT_EQ(e.ResultCodeExtended(), kExtStationNotReceipt);
    EXPECT_EQ(e.Number(PIDXPtr_PageModeDescriptor), 0);
    ASSERT_EQ(e.SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), OPOS_SUCCESS);
    EXPECT_EQ(e.Number(PIDXPtr_PageModeDescriptor), 15);
    EXPECT_EQ(e.Page(PTR_PM_NORMAL), OPOS_E_ILLEGAL) << "page mode is not on";
    EXPECT_EQ(e.Page(PTR_PM_PAGE_MODE), OPOS_SUCCESS);
    EXPECT_EQ(e.Page(PTR_PM_PAGE_MODE), OPOS_SUCCESS) << "a second begin changes nothing";
    EXPECT_EQ(e.Page(5), OPOS_E_ILLEGAL);
    EXPECT_EQ(e.SetNumber(PIDXPtr_PageModePrintDirection, 5), OPOS_E_ILLEGAL);
    EXPECT_FALSE(e.IsInRotate90Mode());
    EXPECT_EQ(e.SetNumber(PIDXPtr_PageModePrintDirection, 2), OPOS_SUCCESS);
    EXPECT_TRUE(e.IsInRotate90Mode()) << "bottom to top is sideways";
    EXPECT_EQ(e.Page(PTR_PM_CANCEL), OPOS_SUCCESS);
    EXPECT_FALSE(e.IsInRotate90Mode());
}

// The print area must lie within the 576 x 936 page; it reads back in the map unit.
TEST(PageMode, PrintAreaWithinThePage) {
    PageEngine e;
    ASSERT_EQ(e.SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), OPOS_SUCCESS);
    EXPECT_EQ(e.Area(L"0,0,576,936"), OPOS_SUCCESS);
    EXPECT_EQ(e.Area(L"0,0,577,936"), OPOS_E_ILLEGAL);
    EXPECT_EQ(e.Area(L"0,1,576,936"), OPOS_E_ILLEGAL);
    EXPECT_EQ(e.Area(L"0,0,5,x"), OPOS_E_ILLEGAL);
    EXPECT_EQ(e.Area(L"0,0,5"), OPOS_E_EXTENDED) << "shorter than 7 characters";
    std::wstring text;
    e.GetPropertyString(PIDXPtr_PageModePrintArea, &text);
    EXPECT_EQ(text, L"0,0,576,936");
    ASSERT_EQ(e.SetNumber(PIDXPtr_MapMode, PTR_MM_METRIC), OPOS_SUCCESS);
    e.GetPropertyString(PIDXPtr_PageModeArea, &text);
    EXPECT_EQ(text, L"7200,11700");
}

// PageModePrint 2 and 3 both hand the page over in page mode: ESC L in front, FF behind.
// Without ESC L a printer in standard mode prints the page's commands as ordinary lines.
TEST(PageMode, PrintAndSaveSendsThePageInPageMode) {
    PageEngine e;
    ASSERT_EQ(e.SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), OPOS_SUCCESS);
    e.BeginTransaction();
    ASSERT_EQ(e.Page(PTR_PM_PAGE_MODE), OPOS_SUCCESS);
    EXPECT_EQ(e.Barcode(), OPOS_SUCCESS);
    EXPECT_EQ(e.Page(PTR_PM_CANCEL), OPOS_SUCCESS);
    EXPECT_EQ(e.CollectedTrace().find("GS k"), std::string::npos) << "no print area: nothing printed";
    ASSERT_EQ(e.Area(L"0,0,576,400"), OPOS_SUCCESS);
    ASSERT_EQ(e.Page(PTR_PM_PAGE_MODE), OPOS_SUCCESS);
    EXPECT_EQ(e.Barcode(), OPOS_SUCCESS);
    const size_t before = e.CollectedTrace().size();
    EXPECT_EQ(e.Page(PTR_PM_PRINT_SAVE), OPOS_SUCCESS);
    const std::string saved = e.CollectedTrace().substr(before);
    EXPECT_EQ(saved.find(" | ESC L | ESC W 0 0 576 800 | GS $ 0 |"), 0u) << saved;
    EXPECT_EQ(saved.size() - saved.rfind(" | GS k 69 [4] | FF"), std::string(" | GS k 69 [4] | FF").size()) << saved;
    const size_t after = e.CollectedTrace().size();
    EXPECT_EQ(e.Page(PTR_PM_NORMAL), OPOS_SUCCESS) << "the saved page prints again";
    EXPECT_EQ(e.CollectedTrace().substr(after), saved);
}

// ClearPrintArea writes the area in dots whatever the map unit: 72 x 32 mm is 576 x 256
// dots across, 512 motion units along.
TEST(PageMode, ClearPrintAreaWritesDots) {
    PageEngine e;
    ASSERT_EQ(e.SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), OPOS_SUCCESS);
    ASSERT_EQ(e.SetNumber(PIDXPtr_MapMode, PTR_MM_METRIC), OPOS_SUCCESS);
    ASSERT_EQ(e.Area(L"0,0,7200,3200"), OPOS_SUCCESS);
    int32_t rc = -1;
    e.ClearPrintArea(&rc);
    EXPECT_EQ(rc, OPOS_E_ILLEGAL) << "not in page mode";
    e.BeginTransaction();
    ASSERT_EQ(e.Page(PTR_PM_PAGE_MODE), OPOS_SUCCESS);
    e.ClearPrintArea(&rc);
    EXPECT_EQ(rc, OPOS_SUCCESS);
    const size_t before = e.CollectedTrace().size();
    EXPECT_EQ(e.Page(PTR_PM_NORMAL), OPOS_SUCCESS);
    EXPECT_EQ(e.CollectedTrace().substr(before), " | ESC L | ESC W 0 0 576 512 | CAN | FF");
}

// A barcode that does not turn with a sideways rotation is printed ahead of the rotated
// block; one that turns widens the block's page.
TEST(Rotation, SidewaysBlockAndItsBarcodes) {
    PageEngine e;
    e.BeginTransaction();
    const size_t start = e.CollectedTrace().size();
    EXPECT_EQ(e.Rotate(PTR_RP_RIGHT90), OPOS_SUCCESS);
    EXPECT_EQ(e.Barcode(L"AHEAD"), OPOS_SUCCESS);
    EXPECT_EQ(e.Rotate(PTR_RP_NORMAL), OPOS_SUCCESS);
    const std::string ahead = e.CollectedTrace().substr(start);
    const size_t block = ahead.find("ESC L | ESC W 0 0 576 45 | ESC T 51 | ESC T 48 | FF | FF | ESC T 48 | FF");
    EXPECT_NE(block, std::string::npos) << ahead;
    EXPECT_LT(ahead.find("GS k 69 [5]"), block) << ahead;

    const size_t next = e.CollectedTrace().size();
    EXPECT_EQ(e.Rotate(PTR_RP_RIGHT90 | 0x1000), OPOS_SUCCESS);
    EXPECT_EQ(e.Barcode(L"TURNS"), OPOS_SUCCESS);
    EXPECT_EQ(e.Rotate(PTR_RP_NORMAL), OPOS_SUCCESS);
    const std::string turned = e.CollectedTrace().substr(next);
    // Code 39 of 5 characters at module width 2: 2 x (13 x 5 + 25) = 180 dots, scaled to 360.
    EXPECT_NE(turned.find("ESC L | ESC W 0 0 576 405 | ESC T 51 |"), std::string::npos) << turned;
    EXPECT_LT(turned.find("ESC L"), turned.find("GS k 69 [5]")) << turned;
}

TEST(Rotation, UpsideDownWrapsTheBarcode) {
    PageEngine e;
    e.BeginTransaction();
    EXPECT_EQ(e.Rotate(PTR_RP_ROTATE180), OPOS_SUCCESS);
    EXPECT_EQ(e.Number(PIDXPtr_RotateSpecial), PTR_RP_ROTATE180);
    const size_t start = e.CollectedTrace().size();
    EXPECT_EQ(e.Barcode(), OPOS_SUCCESS);
    const std::string trace = e.CollectedTrace().substr(start);
    EXPECT_NE(trace.find("ESC { 0 | ESC a 0 | GS w 2 | GS h 60 | GS H 0 | GS f 0 | ESC a 0 | GS k 69 [4] | ESC { 1"),
              std::string::npos)
        << trace;
}

}  // namespace
}  // namespace QVO::Printer::Test
