// Text laid out in page mode and sideways printing, as command traces: lines wrapped to the
// print area and placed for their alignment by ESC $, fed by ESC J, dropped past the area's
// foot; and the barcode escape sequence giving the text after it its own alignment back.
#include <gtest/gtest.h>

#include <string>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/printer/FormatTestSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace Opos;

// PageModePrintDirection values.
constexpr int32_t kLeftToRight = 1;
constexpr int32_t kBottomToTop = 2;

// 80 mm model: font A 12 x 24 dots, line spacing 30 dots; a dot is two motion units, so the
// spacing goes out as ESC J 60 across the paper and ESC J 30 sideways. Asynchronous, so that
// no paper check refuses; pages are collected in a transaction and read back from it.
class PageTextEngine : public FormatEngine {
public:
    PageTextEngine() : FormatEngine(L"QP-T80A") {
        SetAsyncMode(1);
        int32_t rc = -1;
        TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &rc);
        EXPECT_EQ(rc, OPOS_SUCCESS);
    }
    int32_t Print(const std::string& text) {
        int32_t rc = -1;
        PrintNormal(PTR_S_RECEIPT, std::wstring(text.begin(), text.end()), &rc);
        return rc;
    }
    // One page of `text` in `area` from the given position: its trace from ESC W to the FF.
    std::string Page(const std::wstring& area, const std::string& text, int32_t h = 0, int32_t v = 0,
                     int32_t direction = kLeftToRight) {
        EXPECT_EQ(SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), OPOS_SUCCESS);
        int32_t rc = -1;
        SetPropertyString(PIDXPtr_PageModePrintArea, area, &rc);
        EXPECT_EQ(rc, OPOS_SUCCESS) << "area";
        PageModePrint(PTR_PM_PAGE_MODE, &rc);
        EXPECT_EQ(SetNumber(PIDXPtr_PageModePrintDirection, direction), OPOS_SUCCESS);
        EXPECT_EQ(SetNumber(PIDXPtr_PageModeHorizontalPosition, h), OPOS_SUCCESS);
        EXPECT_EQ(SetNumber(PIDXPtr_PageModeVerticalPosition, v), OPOS_SUCCESS);
        EXPECT_EQ(Print(text), OPOS_SUCCESS);
        PageModePrint(PTR_PM_NORMAL, &rc);
        const std::string trace = CollectedTrace();
        const size_t from = trace.rfind("ESC W");
        return from == std::string::npos ? trace : trace.substr(from);
    }
    // The sideways block of `text`, from the rotation's page direction to its end.
    std::string Sideways(const std::string& text) {
        int32_t rc = -1;
        RotatePrint(PTR_S_RECEIPT, PTR_RP_RIGHT90, &rc);
        EXPECT_EQ(Print(text), OPOS_SUCCESS);
        RotatePrint(PTR_S_RECEIPT, PTR_RP_NORMAL, &rc);
        const std::string trace = CollectedTrace();
        const size_t from = trace.find("ESC L");
        return from == std::string::npos ? trace : trace.substr(from);
    }
    // The transaction so far as a command trace.
    std::string CollectedTrace() const {
        const std::string bytes = CPrinterFormatTestAccess::TransactionBytes(*this);
        PrinterBuffer buffer;
        buffer.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        return Trace(buffer);
    }
};

std::string Chars(char c, int n) { return std::string(static_cast<size_t>(n), c); }
std::string Quoted(char c, int n) { return "text \"" + Chars(c, n) + "\""; }

// 25 characters (300 dots) in a 250-dot area: 20 fit (240 dots), 5 go one line height lower.
// Each line is placed for the alignment across the area, not the page (576 dots) and not from
// the horizontal position, which only a left-aligned first line starts at. Failure examples:
// no wrap (the printer wraps at the area's edge, unaligned), ESC a instead of ESC $ (ignored
// in a page), centring against the page width.
TEST(PageModeText, LongLineWrapsAndEachLineIsPlacedForItsAlignment) {
    const std::string text = Chars('A', 20) + Chars('B', 5) + "\n";
    const std::string page = " | GS $ 60 | ";
    const struct {
        const char* alignment;
        int32_t h;
        std::string trace;
    } cases[] = {
        {"c", 0, "ESC $ 5 | " + Quoted('A', 20) + " | ESC J 60 | ESC $ 95 | " + Quoted('B', 5) + " | ESC J 60 | FF"},
        {"r", 24, "ESC $ 10 | " + Quoted('A', 20) + " | ESC J 60 | ESC $ 190 | " + Quoted('B', 5) + " | ESC J 60 | FF"},
        // From 24 dots in, 18 characters fit on the first line; the next line starts at the edge.
        {"l", 24, "ESC $ 24 | " + Quoted('A', 18) + " | ESC J 60 | ESC $ 0 | text \"AABBBBB\" | ESC J 60 | FF"},
    };
    for (const auto& c : cases) {
        PageTextEngine e;
        EXPECT_EQ(e.Page(L"0,0,250,400", std::string("\x1b|") + c.alignment + "A" + text, c.h),
                  "ESC W 0 0 250 800" + page + c.trace)
            << c.alignment;
    }
    // A sideways page: lines run along the area's 150-dot height (300 units, 12 characters of
    // 24) and stack across the paper by the spacing in dots.
    PageTextEngine sideways;
    EXPECT_EQ(sideways.Page(L"0,0,576,150", "\x1b|cA" + Chars('c', 15) + "\n", 0, 0, kBottomToTop),
              "ESC W 0 0 576 300 | GS $ 30 | ESC $ 6 | " + Quoted('c', 12) +
                  " | ESC J 30 | ESC $ 114 | text \"ccc\" | ESC J 30 | FF");
}

// The area is 60 dots deep: from the top two lines of 30 dots fit, the third and the rest are
// dropped; from 30 dots down only one fits. What was switched on is still switched off.
// Failure examples: text printed past the area, the vertical position counted twice (then
// nothing at all fits from 30 dots down).
TEST(PageModeText, TextPastTheAreaFootIsDropped) {
    const std::string text = "\x1b|bCone\ntwo\nthree\nfour";
    PageTextEngine top;
    EXPECT_EQ(top.Page(L"0,0,576,60", text),
              "ESC W 0 0 576 120 | GS $ 60 | ESC $ 0 | ESC E 1 | text \"one\" | ESC J 60 | ESC $ 0 | "
              "text \"two\" | ESC J 60 | ESC ! 0 | FF");
    PageTextEngine lower;
    EXPECT_EQ(lower.Page(L"0,0,576,60", text, 0, 30),
              "ESC W 0 0 576 120 | GS $ 120 | ESC $ 0 | ESC E 1 | text \"one\" | ESC J 60 | ESC ! 0 | FF");
    // Wrapped lines count as lines: 60 characters in a 240-dot area make three of them.
    PageTextEngine wrapped;
    const std::string trace = wrapped.Page(L"0,0,240,60", Chars('x', 60));
    EXPECT_EQ(trace, "ESC W 0 0 240 120 | GS $ 60 | ESC $ 0 | " + Quoted('x', 20) + " | ESC J 60 | ESC $ 0 | " +
                         Quoted('x', 20) + " | FF");
}

// Inside a page the printer feeds by ESC J: LF by the line spacing, FF not at all. Taller
// text on a line that starts a call needs more room under the vertical position: the feed of
// (line height - spacing), with 6 units to spare at a line feed. Failure examples: LF sent
// as LF, the tall first line printed over the text above it.
TEST(PageModeText, LineEndsAndTheFirstLineOfTallerText) {
    PageTextEngine plain;
    EXPECT_EQ(plain.Page(L"0,0,576,400", "ab\fcd\n"),
              "ESC W 0 0 576 800 | GS $ 60 | ESC $ 0 | text \"ab\" | ESC J 0 | text \"cd\" | ESC J 60 | FF");
    // Double height: 48 units a line of 24 dots, 96 doubled; the spacing is 60.
    PageTextEngine tall;
    EXPECT_EQ(tall.Page(L"0,0,576,400", "\x1b|3Cab\n"),
              "ESC W 0 0 576 800 | GS $ 60 | ESC J 42 | ESC $ 0 | GS ! 1 | text \"ab\" | ESC J 60 | GS ! 0 | FF");
    PageTextEngine tallWrapped;
    EXPECT_EQ(tallWrapped.Page(L"0,0,240,400", "\x1b|3C" + Chars('x', 22) + "\n"),
              "ESC W 0 0 240 800 | GS $ 60 | ESC J 36 | ESC $ 0 | GS ! 1 | " + Quoted('x', 20) +
                  " | ESC J 96 | ESC $ 0 | text \"xx\" | ESC J 60 | GS ! 0 | FF");
}

// Sideways a line runs along the paper (a character is 24 units long) and lines stack across
// it by the spacing in dots. Centred and right-aligned lines are placed against the widest
// line so far, which also sizes the block. Failure examples: ESC a left in the rotated page,
// the line measured in dots (12 a character), LF sent as LF.
TEST(PageModeText, SidewaysLinesAlignAgainstTheWidestLine) {
    PageTextEngine centred;
    EXPECT_EQ(centred.Sideways("\x1b|cA" + Chars('W', 10) + "\nab\n"),
              "ESC L | ESC W 0 0 576 285 | ESC T 51 | " + Quoted('W', 10) +
                  " | ESC J 30 | ESC $ 96 | text \"ab\" | ESC J 30 | ESC T 48 | FF | FF | ESC T 48 | FF");
    PageTextEngine right;
    const std::string trace = right.Sideways("\x1b|rA" + Chars('W', 10) + "\nab\n");
    EXPECT_NE(trace.find("ESC $ 192 | text \"ab\""), std::string::npos) << trace;
    EXPECT_EQ(trace.find("ESC a"), std::string::npos) << trace;
}

// Checking a text with ValidateData between two prints leaves no open line and no widest line
// behind. Failure example: the next line taken for the rest of the checked one, and not placed.
TEST(PageModeText, ValidatingDoesNotMoveTheNextLine) {
    PageTextEngine e;
    int32_t rc = -1;
    e.RotatePrint(PTR_S_RECEIPT, PTR_RP_RIGHT90, &rc);
    EXPECT_EQ(e.Print("\x1b|cA" + Chars('W', 10) + "\n"), OPOS_SUCCESS);
    e.ValidateData(PTR_S_RECEIPT, L"abc" + std::wstring(20, L'x'), &rc);
    EXPECT_EQ(rc, OPOS_SUCCESS);
    EXPECT_EQ(e.Print("\x1b|cAab\n"), OPOS_SUCCESS);
    e.RotatePrint(PTR_S_RECEIPT, PTR_RP_NORMAL, &rc);
    const std::string trace = e.CollectedTrace();
    EXPECT_NE(trace.find("ESC W 0 0 576 285 |"), std::string::npos) << trace;
    EXPECT_NE(trace.find("ESC $ 96 | text \"ab\""), std::string::npos) << trace;
}

// Validate-only runs the same scan without wrapping: a form feed before a line feed is a value
// the printer cannot carry out in a page (106), an unknown sequence outside it (111); any
// single alignment letter is accepted in a page, only c, l and r outside.
TEST(PageModeText, ValidateOnlyInAPage) {
    PageTextEngine e;
    PrinterBuffer scratch;
    EXPECT_EQ(e.Format("a\fb\n", scratch, true), OPOS_E_FAILURE);
    EXPECT_EQ(e.Format("\x1b|xAa", scratch, true), OPOS_E_FAILURE);
    ASSERT_EQ(e.SetNumber(PIDXPtr_PageModeStation, PTR_S_RECEIPT), OPOS_SUCCESS);
    int32_t rc = -1;
    e.PageModePrint(PTR_PM_PAGE_MODE, &rc);
    ASSERT_EQ(rc, OPOS_SUCCESS);
    EXPECT_EQ(e.Format("a\fb\n", scratch, true), OPOS_E_ILLEGAL);
    EXPECT_EQ(e.Format("\x1b|xA" + Chars('a', 100) + "\n", scratch, true), OPOS_SUCCESS);
}

// The justification (ESC a) and left margin (GS L) in force at the first text of the line
// after `marker` in a standard-mode trace.
std::string PlacementAt(const std::string& trace, const std::string& marker) {
    const std::string before = trace.substr(0, trace.find("text \"" + marker));
    const size_t a = before.rfind("ESC a ");
    const size_t l = before.rfind("GS L ");
    const auto field = [&](size_t at) {
        return at == std::string::npos ? std::string("none") : before.substr(at, before.find(" |", at) - at);
    };
    return field(a) + ", " + field(l);
}

std::string BarcodeSequence(const std::string& alignment) {
    const std::string request = "s108h60w2a" + alignment + "t-11dQUVOe";
    return "\x1b|" + std::to_string(request.size()) + "R" + request;
}

// A barcode from the escape sequence is placed by ESC a or GS L; the text after it in the
// same call keeps its own alignment and the left edge. Failure example: "after" printed
// centred, or shifted by the barcode's margin, for the rest of the call.
TEST(PageModeText, BarcodeSequenceGivesTheTextItsOwnAlignmentBack) {
    const struct {
        std::string text;
        const char* expected;
    } cases[] = {
        {"before\n" + BarcodeSequence("-2") + "after\n", "ESC a 0, GS L 0"},
        {"\x1b|cAtitle\n" + BarcodeSequence("-1") + "after\n", "ESC a 1, GS L 0"},
        {"before\n" + BarcodeSequence("100") + "after\n", "ESC a 0, GS L 0"},
    };
    for (const auto& c : cases) {
        FormatEngine e(L"QP-T80A");
        PrinterBuffer out;
        EXPECT_EQ(e.Format(c.text, out), OPOS_SUCCESS) << c.text;
        const std::string trace = Trace(out);
        ASSERT_NE(trace.find("GS k"), std::string::npos) << trace;
        EXPECT_EQ(PlacementAt(trace, "after"), c.expected) << trace;
    }
}

}  // namespace
}  // namespace QVO::Printer::Test
