// Barcodes end to end: PrintBarCode on the POSPrinter control object, through the COM runtime
// and libQUVOSO.so to a drawing virtual printer, then read back from the paper with zbarimg.
#include <cstdio>
#include <string>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;

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

struct Case {
    const char* name;
    int32_t symbology;
    std::wstring data;
    std::string scanned;  // zbarimg's text for the symbol; empty: zbar cannot read this kind
};

std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

// The fixture's printer draws, so that the paper can be scanned.
class BarcodeEndToEnd : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() {
        TheTempRegistry();
        static const std::string lockDir = TheTempRegistry().Dir() + "/locks";
        std::filesystem::create_directories(lockDir);
        setenv("QUVO_LOCK_DIR", lockDir.c_str(), 1);
        ASSERT_TRUE(RegisterServiceObject()) << dlerror();
    }
    void SetUp() override {
        server_ = std::make_unique<Sim::TcpServer>(printer_, 0);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        PrinterEntry entry;
        entry.model = L"QP-T80A";
        entry.portSettings = L"127.0.0.1," + std::to_wstring(server_->Port());
        WritePrinterEntry(Name(), entry);
    }
    void TearDown() override { server_.reset(); }

    std::wstring Name() const {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("Barcode_") + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        return Platform::Text::Utf8ToWide(name);
    }
    ::testing::AssertionResult Ready(Opos::CPosPrinterControl& co) {
        if (int32_t rc = co.Open(Name())) return ::testing::AssertionFailure() << "Open " << rc;
        if (int32_t rc = co.ClaimDevice(3000)) return ::testing::AssertionFailure() << "Claim " << rc;
        if (int32_t rc = co.SetDeviceEnabled(true)) return ::testing::AssertionFailure() << "Enable " << rc;
        return ::testing::AssertionSuccess();
    }
    // zbarimg's reading of the paper so far, one symbol a line.
    std::string Scan() {
        const std::string path = ::testing::TempDir() + "/" + Platform::Text::WideToUtf8(Name()) + ".png";
        if (!printer_.WritePng(path)) return "(no picture)";
        return Shell("zbarimg --raw -q '" + path + "' 2>/dev/null");
    }
    bool TraceHas(const std::string& prefix) const {
        for (const auto& line : printer_.Trace())
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    }

    Sim::VirtualPrinter printer_{Sim::PrinterIdentity{}, Sim::VirtualPrinter::Rendering::On};
    std::unique_ptr<Sim::TcpServer> server_;
};

// Every supported symbology printed synchronously, then read back to the data it carries.
TEST_P(BarcodeEndToEnd, PrintsAndScansBack) {
    const Case& c = GetParam();
    Opos::CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer));
    const int32_t height = c.symbology == PTR_BCS_PDF417 ? 200 : c.symbology >= PTR_BCS_PDF417 ? 240 : 120;
    const int32_t width = c.symbology == PTR_BCS_PDF417 ? 500 : 3;
    ASSERT_EQ(printer.PrintBarCode(PTR_S_RECEIPT, c.data, c.symbology, height, width, PTR_BC_CENTER, PTR_BC_TEXT_BELOW),
              OPOS_SUCCESS)
        << printer.GetResultCodeExtended();
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"\n\n\n"), OPOS_SUCCESS);
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
    for (const char* refusal : {"barcode_not_printed", "qr_not_printed", "pdf417_not_printed"})
        EXPECT_FALSE(TraceHas(refusal)) << refusal;
    if (c.scanned.empty()) return;
    if (Shell("command -v zbarimg").empty()) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    EXPECT_EQ(Scan(), c.scanned + "\n");
}

INSTANTIATE_TEST_SUITE_P(Symbologies, BarcodeEndToEnd,
                         ::testing::Values(Case{"UpcA", PTR_BCS_UPCA, L"03600029145", "0036000291452"},
                                           // zbar reports UPC symbols in their 13-digit EAN form, UPC-E expanded.
                                           Case{"UpcE", PTR_BCS_UPCE, L"0425261", "0042100005264"},
                                           Case{"UpcEFromUpcA", PTR_BCS_UPCE, L"04210000526", "0042100005264"},
                                           Case{"Ean8", PTR_BCS_JAN8, L"9638507", "96385074"},
                                           Case{"Ean13", PTR_BCS_JAN13, L"490123456789", "4901234567894"},
                                           Case{"Itf", PTR_BCS_ITF, L"1234567895", "1234567895"},
                                           Case{"Codabar", PTR_BCS_Codabar, L"A40156B", "A40156B"},
                                           Case{"Code39", PTR_BCS_Code39, L"QUVO-39", "QUVO-39"},
                                           Case{"Code93", PTR_BCS_Code93, L"QUVO93", "QUVO93"},
                                           Case{"Code128", PTR_BCS_Code128, L"Rcpt 12345678", "Rcpt 12345678"},
                                           Case{"Code128Brace", PTR_BCS_Code128, L"a{b}", "a{b}"},
                                           Case{"Code128Parsed", PTR_BCS_Code128_Parsed, L"{BNo.{C123456", "No.123456"},
                                           Case{"Gs1_128", PTR_BCS_EAN128, L"(01)09501101530003", "0109501101530003"},
                                           Case{"Pdf417", PTR_BCS_PDF417, L"QUVO PDF417 receipt 42", ""},
                                           Case{"QrCode", PTR_BCS_QRCODE, L"https://example.com/r/42",
                                                "https://example.com/r/42"},
                                           Case{"QrModel2", 504, L"QUVO model 2", "QUVO model 2"}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// QR data in the printer's code page is not UTF-8 text ("é" is 0x82 in code page 437): the
// printer stores the bytes, so the engine must accept them rather than refuse the symbol.
// A coupon laid out in page mode: a title, then a barcode on a page turned sideways, read back
// from the paper.
TEST_F(BarcodeEndToEnd, PageModeCouponWithASidewaysBarcodeScansBack) {
    Opos::CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer));
    ASSERT_EQ(printer.SetPageModeStation(PTR_S_RECEIPT), OPOS_SUCCESS);
    ASSERT_EQ(printer.SetPageModePrintArea(L"0,0,576,800"), OPOS_SUCCESS);
    ASSERT_EQ(printer.PageModePrint(PTR_PM_PAGE_MODE), OPOS_SUCCESS);
    constexpr int32_t kBottomToTop = 2;
    ASSERT_EQ(printer.SetPropertyNumber(PIDXPtr_PageModePrintDirection, kBottomToTop), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"COUPON 10% OFF\n"), OPOS_SUCCESS);
    ASSERT_EQ(
        printer.PrintBarCode(PTR_S_RECEIPT, L"COUPON-2026", PTR_BCS_Code128, 120, 2, PTR_BC_LEFT, PTR_BC_TEXT_NONE),
        OPOS_SUCCESS);
    ASSERT_EQ(printer.PageModePrint(PTR_PM_NORMAL), OPOS_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return TraceHas("FF"); })) << "the page was not printed";
    EXPECT_NE(Scan().find("COUPON-2026"), std::string::npos);
    EXPECT_TRUE(TraceHas("ESC T 1")) << "the page was not turned";
    printer.Close();
}

TEST_F(BarcodeEndToEnd, QrCodeOfNonUtf8BytesIsPrinted) {
    Opos::CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer));
    EXPECT_EQ(printer.PrintBarCode(PTR_S_RECEIPT, L"Caf\u00e9 \u00e0 la carte", PTR_BCS_QRCODE, 240, 0, PTR_BC_CENTER,
                                   PTR_BC_TEXT_NONE),
              OPOS_SUCCESS);
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
    EXPECT_TRUE(TraceHas("GS ( k 49 81"));
    EXPECT_FALSE(TraceHas("qr_not_printed"));
}

// The escape sequence inside PrintNormal prints the same symbol as PrintBarCode.
TEST_F(BarcodeEndToEnd, EscapeSequenceBarcodeScansBack) {
    Opos::CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer));
    const std::wstring request = L"s108h100w3a-2t-13dESC-SEQe";
    const std::wstring text = L"\x1b|" + std::to_wstring(request.size()) + L"R" + request + L"\n\n\n";
    EXPECT_EQ(printer.PrintNormal(PTR_S_RECEIPT, text), OPOS_SUCCESS);
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
    if (Shell("command -v zbarimg").empty()) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    EXPECT_EQ(Scan(), "ESC-SEQ\n");
}

}  // namespace
}  // namespace QVO::Test
