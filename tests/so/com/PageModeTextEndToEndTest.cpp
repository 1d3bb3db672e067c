// Page-mode text end to end: PrintNormal on the POSPrinter control object, through the COM
// runtime and libQUVOSO.so to a drawing virtual printer, then measured on its paper.
#include <algorithm>
#include <string>
#include <vector>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;

// A run of paper rows with ink, and the leftmost and rightmost inked column in it.
struct InkBand {
    int top = 0, bottom = 0, left = 0, right = 0;
    int Centre() const { return (left + right) / 2; }
};

std::vector<InkBand> InkBands(const Sim::Canvas& paper) {
    constexpr uint8_t kInk = 128;
    std::vector<InkBand> bands;
    bool inBand = false;
    for (int y = 0; y < paper.height; ++y) {
        int left = paper.width, right = -1;
        for (int x = 0; x < paper.width; ++x)
            if (paper.Get(x, y) < kInk) {
                left = std::min(left, x);
                right = x;
            }
        if (right < 0) {
            inBand = false;
            continue;
        }
        if (!inBand) bands.push_back({y, y, left, right});
        InkBand& band = bands.back();
        band.bottom = y;
        band.left = std::min(band.left, left);
        band.right = std::max(band.right, right);
        inBand = true;
    }
    return bands;
}

class PageModeTextEndToEnd : public ServiceObjectTest {
protected:
    void SetUp() override {
        server_ = std::make_unique<Sim::TcpServer>(paperPrinter_, 0);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        PrinterEntry entry;
        entry.model = L"QP-T80A";
        entry.portSettings = L"127.0.0.1," + std::to_wstring(server_->Port());
        WritePrinterEntry(PrinterName(), entry);
    }
    bool PaperShows(const std::string& entry) const {
        return WaitUntil([&] {
            const auto trace = paperPrinter_.Trace();
            return std::find(trace.begin(), trace.end(), entry) != trace.end();
        });
    }

    // An 80 mm printer that draws: 576 dots on 640 dots of paper, 32 dots of margin.
    Sim::VirtualPrinter paperPrinter_{Sim::PrinterIdentity::ForModel("QP-T80A"), Sim::VirtualPrinter::Rendering::On};
};

// A centred line of 32 characters (384 dots) in an area 306 dots wide from 100 dots in: it
// comes out as two lines, 25 and 7 characters, each centred in the area (its middle 32 + 100 +
// 153 dots from the paper's edge). Failure example: the second line at the area's left edge,
// as the printer wraps it when the engine does not.
TEST_F(PageModeTextEndToEnd, CentredLongLineInANarrowAreaComesOutAsTwoCentredLines) {
    Opos::CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_EQ(printer.SetPageModeStation(PTR_S_RECEIPT), OPOS_SUCCESS);
    ASSERT_EQ(printer.SetPageModePrintArea(L"100,0,306,200"), OPOS_SUCCESS);
    ASSERT_EQ(printer.PageModePrint(PTR_PM_PAGE_MODE), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"\x1b|cA" + std::wstring(32, L'H') + L"\n"), OPOS_SUCCESS);
    ASSERT_EQ(printer.PageModePrint(PTR_PM_NORMAL), OPOS_SUCCESS);
    ASSERT_TRUE(PaperShows("FF")) << "the page was not printed";
    printer.Close();

    constexpr int kAreaMiddle = 32 + 100 + 306 / 2;
    constexpr int kTolerance = 4;  // a glyph's side bearings
    const std::vector<InkBand> lines = InkBands(paperPrinter_.Picture());
    ASSERT_EQ(lines.size(), 2u);
    for (const InkBand& line : lines) {
        EXPECT_NEAR(line.Centre(), kAreaMiddle, kTolerance) << line.left << ".." << line.right;
        EXPECT_GE(line.left, 32 + 100);
        EXPECT_LE(line.right, 32 + 100 + 306);
    }
    EXPECT_GT(lines[0].right - lines[0].left, 290) << "25 characters";
    EXPECT_NEAR(lines[1].right - lines[1].left, 7 * 12, 2 * kTolerance) << "7 characters";
    EXPECT_GT(lines[1].top, lines[0].bottom);
}

}  // namespace
}  // namespace QVO::Test
