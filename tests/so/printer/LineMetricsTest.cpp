// Character formatting and line metrics per head width (576, 512 and 384 dots), map-mode units,
// the settings sent in front of an output, and centred bold text through the engine to the
// virtual printer.
#include <gtest/gtest.h>

#include <string>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/printer/EngineTestSupport.h"
#include "tests/so/printer/FormatTestSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace QVO::Opos;

struct LineCharsCase {
    const wchar_t* model;
    int32_t request;
    int32_t font;  // 0 A, 1 B
    int32_t lineChars;
    int32_t lineWidth;
    int32_t rc;
};

// RecLineChars picks the widest font that fits and narrows the line to the request.
// Failure examples: font A kept for 56 on 576 dots; a request no font reaches accepted.
TEST(LineMetricsTest, RecLineCharsChoosesTheFontPerHeadWidth) {
    const LineCharsCase cases[] = {
        {L"QP-T80A", 48, 0, 48, 576, 0},
        {L"QP-T80A", 42, 0, 48, 504, 0},
        {L"QP-T80A", 56, 1, 64, 504, 0},
        {L"QP-T80A", 64, 1, 64, 576, 0},
        {L"QP-T80A", 65, 1, 64, 576, OPOS_E_EXTENDED},
        {L"TM-T88IV", 42, 0, 42, 504, 0},
        {L"TM-T88IV", 56, 1, 56, 504, 0},
        {L"TM-T88IV", 57, 1, 56, 512, OPOS_E_EXTENDED},
        {L"QP-T58A", 32, 0, 32, 384, 0},
        {L"QP-T58A", 42, 1, 42, 378, 0},
    };
    for (const auto& c : cases) {
        FormatEngine engine(c.model);
        EXPECT_EQ(engine.SetNumber(PIDXPtr_RecLineChars, c.request), c.rc) << c.request;
        if (c.rc == OPOS_E_EXTENDED) {
            EXPECT_EQ(engine.ResultCodeExtended(), kExtUnsupported);
        }
        EXPECT_EQ(CPrinterFormatTestAccess::CurrentFont(engine), c.font) << c.request;
        EXPECT_EQ(engine.Number(PIDXPtr_RecLineChars), c.lineChars) << c.request;
        EXPECT_EQ(engine.Number(PIDXPtr_RecLineWidth), c.lineWidth) << c.request;
    }
    FormatEngine engine(L"QP-T80A");
    EXPECT_EQ(engine.SetNumber(PIDXPtr_RecLineChars, 256), OPOS_E_ILLEGAL) << "no characters per line";
    EXPECT_EQ(CPrinterFormatTestAccess::LineHeight(engine), 24);
    EXPECT_EQ(CPrinterFormatTestAccess::LineSpacing(engine), 30);
    engine.SetNumber(PIDXPtr_RecLineChars, 64);
    EXPECT_EQ(CPrinterFormatTestAccess::LineHeight(engine), 17);
    EXPECT_EQ(CPrinterFormatTestAccess::LineSpacing(engine), 21);
}

// Font B is the current font's index, whatever the head width: on 512 dots font B gives 56
// characters, never 64. Failure example: ESC M 0 and ESC ! 0 sent for font B on 512 dots.
TEST(LineMetricsTest, FontBIsSentForTheCurrentFontOnEveryHeadWidth) {
    for (const wchar_t* model : {L"QP-T80A", L"TM-T88IV", L"QP-T58A"}) {
        FormatEngine engine(model);
        const int32_t fontBChars = engine.Parameters().paperWidth / 9;
        ASSERT_EQ(engine.SetNumber(PIDXPtr_RecLineChars, fontBChars), 0);
        ASSERT_EQ(CPrinterFormatTestAccess::CurrentFont(engine), 1);
        PrinterBuffer out;
        engine.InitOutBufferWithPMControl(out, 3);
        engine.set_printerSettings(out);
        const std::string trace = Trace(out);
        EXPECT_NE(trace.find("ESC M 1"), std::string::npos) << trace;
        EXPECT_NE(trace.find("ESC ! 1"), std::string::npos) << trace;
    }
}

// Standard setup, then only what changed: nothing when nothing did, the code page after a
// CharacterSet change, and the print area after a narrower line.
TEST(LineMetricsTest, SettingsGoInFrontOfTheNextOutputOnce) {
    FormatEngine engine(L"QP-T80A");
    PrinterBuffer out;
    out.Append('x');
    engine.set_printerSettings(out);
    EXPECT_EQ(Trace(out), "text \"x\"");
    ASSERT_EQ(engine.SetNumber(PIDXPtr_CharacterSet, 1252), 0);
    engine.set_printerSettings(out);
    EXPECT_EQ(Trace(out), "FS . | ESC t 16 | ESC R 0 | text \"x\"");
    out.Clear();
    ASSERT_EQ(engine.SetNumber(PIDXPtr_RecLineChars, 42), 0);
    engine.InitOutBufferWithPMControl(out, 3);
    engine.set_printerSettings(out);
    EXPECT_EQ(Trace(out),
              "FS . | ESC t 16 | ESC R 0 | GS W 504 | ESC = 1 | ESC a 0 | GS L 0 | ESC { 0 | ESC ! 0 | "
              "GS b 0 | ESC 3 60");
}

// The line is positioned within the line width: a narrowed print area ignores a position
// beyond it. Failure example: ESC $ 528 on a 504-dot line, the amount printed at the left.
TEST(LineMetricsTest, RightAlignedSegmentEndsAtTheLineWidth) {
    FormatEngine engine(L"QP-T80A");
    PrinterBuffer out;
    engine.SelectHPosInStd(out, 'r', 200);
    engine.SelectHPosInStd(out, 'c', 600);
    EXPECT_EQ(Bytes(out), "\x1b$\x78\x01");
    ASSERT_EQ(engine.SetNumber(PIDXPtr_RecLineChars, 42), 0);
    out.Clear();
    engine.Format("Total\x1b|rA9.99\n", out);
    EXPECT_EQ(Trace(out), "text \"Total\" | ESC $ 456 | text \"9.99\" | LF");
    // Every line of one call gets its own right-aligned price.
    out.Clear();
    engine.Format("Tea\x1b|rA1.50\nCake\x1b|rA12.00\n", out);
    EXPECT_EQ(Trace(out),
              "text \"Tea\" | ESC $ 456 | text \"1.50\" | LF | text \"Cake\" | ESC $ 444 | text \"12.00\" | LF");
}

// Map units: this system's inch is 25.375 mm. Failure example: 1000 thousandths giving 203.
TEST(LineMetricsTest, MapModesConvertThroughThisSystemsInch) {
    FormatEngine engine(L"QP-T80A");  // 0.125 mm dots, 0.0625 mm motion units
    EXPECT_EQ(engine.MapNumber2DOT_V(10), 20);
    EXPECT_EQ(engine.DOT2MapNumber_V(20), 10);
    engine.SetNumber(PIDXPtr_MapMode, PTR_MM_ENGLISH);
    EXPECT_EQ(engine.MapNumber2DOT_H(1000), 202);
    EXPECT_EQ(engine.DOT2MapNumber_H(203), 999);
    EXPECT_EQ(engine.Number(PIDXPtr_RecLineWidth), 2837);
    engine.SetNumber(PIDXPtr_MapMode, PTR_MM_METRIC);
    EXPECT_EQ(engine.DOT2MapNumber_H(80), 1000);
    EXPECT_EQ(engine.MapNumber2DOT_V(1000), 160);
    engine.SetNumber(PIDXPtr_MapMode, PTR_MM_TWIPS);
    EXPECT_EQ(engine.DOT2MapNumber_H(203), 1439);
    EXPECT_EQ(engine.MapNumber2DOT_H(1440), 202);
    engine.SetNumber(PIDXPtr_MapMode, 9);
    EXPECT_EQ(engine.DOT2MapNumber_H(203), 0);
    EXPECT_EQ(engine.MapNumber2DOT_V(203), 0);
}

TEST(LineMetricsTest, RasterRowsBecomeEightDotColumns) {
    FormatEngine engine(L"QP-T80A");
    const uint8_t raster[8] = {0xFF, 0, 0, 0, 0, 0, 0, 0x01};
    PrinterBuffer out;
    engine.ToColumnFormat(out, raster, 8, 8);
    EXPECT_EQ(Bytes(out), std::string("\x80\x80\x80\x80\x80\x80\x80\x81", 8));
}

// An application's centred bold line reaches the printer as the printer's trace says, after
// the standard setup. Failure examples: the escape sequences printed as text, the centring
// left on for the next output.
TEST_F(EngineOnVirtualPrinter, CentredBoldTextArrivesAsCommands) {
    OpenClaimEnable();
    const size_t before = printer_.Trace().size();
    int32_t rc = -1;
    engine_->PrintNormal(2, L"\x1b|cA\x1b|bCTotal\x1b|N\n", &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(PrinterShows("ESC a 0"));
    std::string trace;
    ASSERT_TRUE(QVO::Test::WaitUntil([&] {
        trace.clear();
        const auto all = printer_.Trace();
        for (size_t i = before; i < all.size(); ++i)
            if (all[i].rfind("note", 0) != 0 && all[i].rfind("DLE", 0) != 0 && all[i].rfind("GS r", 0) != 0)
                trace += (trace.empty() ? "" : " | ") + all[i];
        return trace.find("LF | ESC a 0") != std::string::npos;
    })) << trace;
    EXPECT_NE(trace.find("FS . | ESC t 0 | ESC R 0 | ESC = 1 | ESC a 0 | GS L 0 | ESC { 0 | ESC ! 0 | GS b 0 | "
                         "ESC 3 60 | ESC a 1 | ESC E 1 | text \"Total\" | ESC ! 0 | ESC a 0 | LF | ESC a 0"),
              std::string::npos)
        << trace;
}

// CharacterSet 850 text is converted as 1252; the printer must then use its 1252 table.
// Failure example: the accented letters printed from the 850 table.
TEST_F(EngineOnVirtualPrinter, SubstitutedCodePageIsSelectedBeforeTheText) {
    OpenClaimEnable();
    int32_t rc = -1;
    engine_->SetPropertyNumber(PIDXPtr_CharacterSet, 850, &rc);
    ASSERT_EQ(rc, 0);
    engine_->PrintNormal(2, L"caf\u00e9\n", &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(PrinterShows("text \"caf\xe9\""));
    const auto all = printer_.Trace();
    std::string trace;
    for (const auto& t : all) trace += t + " | ";
    EXPECT_NE(trace.find("ESC t 16 | ESC R 0 | text \"caf\xe9\""), std::string::npos) << trace;
}

}  // namespace
}  // namespace QVO::Printer::Test
