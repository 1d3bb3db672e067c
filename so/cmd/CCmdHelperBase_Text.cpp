// Base command set: text, formatting, spacing, feeds, cuts, code pages and Kanji commands.
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdBytes.h"

namespace QVO::Printer {

using namespace CmdBytes;

std::atomic<int32_t> CCmdHelperBase::s_cutterDistance{0};

CCmdHelperBase::CCmdHelperBase() = default;
// Scratch buffers hold nothing that outlives a call, so a copy starts with fresh ones.
CCmdHelperBase::CCmdHelperBase(const CCmdHelperBase&) : ICmdHelper() {}
CCmdHelperBase& CCmdHelperBase::operator=(const CCmdHelperBase&) { return *this; }
CCmdHelperBase::~CCmdHelperBase() = default;

void CCmdHelperBase::SetCutterDistance(int32_t hundredthsOfMm) {
    s_cutterDistance.store(hundredthsOfMm, std::memory_order_relaxed);
}

int32_t CCmdHelperBase::CutterDistance() { return s_cutterDistance.load(std::memory_order_relaxed); }

void CCmdHelperBase::FrameForPort(PrinterBuffer& target, const PrinterBuffer& source) { target.Append(source); }

void CCmdHelperBase::ResetCharacterFormat(PrinterBuffer& target) {
    SelectPrintModes(target, false, false, false, false, false);
    SetJustification(target, 0);
    SetUnderline(target, 0);
}

void CCmdHelperBase::HorizontalTab(PrinterBuffer& target) { Put(target, {0x09}); }
void CCmdHelperBase::LineFeed(PrinterBuffer& target) { Put(target, {0x0A}); }
void CCmdHelperBase::FormFeed(PrinterBuffer& target) { Put(target, {0x0C}); }
void CCmdHelperBase::PrintAndFeedNone(PrinterBuffer& target) { Put(target, {ESC, 'd', 0}); }
void CCmdHelperBase::CancelPageData(PrinterBuffer& target) { Put(target, {0x18}); }
void CCmdHelperBase::TripleEscape(PrinterBuffer& target) { Put(target, {ESC, ESC, ESC}); }
void CCmdHelperBase::EndPage(PrinterBuffer& target) { Put(target, {0x0C}); }

// ESC SP takes its spacing byte; a bare ESC SP would make the printer swallow the next byte
// of the stream as the spacing value.
void CCmdHelperBase::CharacterSpacing(PrinterBuffer& target, int32_t dots) { Put(target, {ESC, ' ', Byte(dots)}); }

uint8_t CCmdHelperBase::SelectPrintModes(PrinterBuffer& target, bool fontB, bool emphasized, bool doubleWidth,
                                         bool doubleHeight, bool underline) {
    uint8_t n = 0;
    if (fontB) n |= 0x01;
    if (emphasized) n |= 0x08;
    if (doubleHeight) n |= 0x10;
    if (doubleWidth) n |= 0x20;
    if (underline) n |= 0x80;
    Put(target, {ESC, '!', n});
    return n;
}

void CCmdHelperBase::SetAbsolutePosition(PrinterBuffer& target, int32_t dots) {
    Put(target, {ESC, '$'});
    Put16(target, dots);
}

void CCmdHelperBase::SelectUserCharacters(PrinterBuffer& target, bool on) {
    Put(target, {ESC, '%', on ? uint8_t{1} : uint8_t{0}});
}

void CCmdHelperBase::NoOperation() {}

bool CCmdHelperBase::SetUnderline(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 2)) return false;
    Put(target, {ESC, '-', Byte(n)});
    return true;
}

void CCmdHelperBase::DefaultLineSpacing(PrinterBuffer& target) { Put(target, {ESC, '2'}); }
void CCmdHelperBase::SetLineSpacing(PrinterBuffer& target, int32_t dots) { Put(target, {ESC, '3', Byte(dots)}); }

void CCmdHelperBase::SelectPeripheral(PrinterBuffer& target, bool printerEnabled) {
    Put(target, {ESC, '=', printerEnabled ? uint8_t{1} : uint8_t{2}});
}

bool CCmdHelperBase::CancelUserCharacter(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 32, 126)) return false;
    Put(target, {ESC, '?', Byte(n)});
    return true;
}

void CCmdHelperBase::InitializePrinter(PrinterBuffer& target) { Put(target, {ESC, '@'}); }

// Stops every 8 columns from 8 to 248, built once and reused.
void CCmdHelperBase::SetDefaultTabs(PrinterBuffer& target) {
    if (tabStops_.IsEmpty()) {
        Put(tabStops_, {ESC, 'D'});
        for (int column = 8; column <= 248; column += 8) tabStops_.Append(static_cast<uint8_t>(column));
        tabStops_.Append(uint8_t{0});
    }
    target.Append(tabStops_);
}

void CCmdHelperBase::SetTabs(PrinterBuffer& target, std::vector<uint8_t>& stops) {
    if (stops.empty()) {
        SetDefaultTabs(target);
        return;
    }
    if (stops.back() != 0) stops.push_back(0);
    Put(target, {ESC, 'D'});
    target.Append(stops.data(), stops.size());
}

void CCmdHelperBase::SetEmphasized(PrinterBuffer& target, bool on) {
    Put(target, {ESC, 'E', on ? uint8_t{1} : uint8_t{0}});
}
void CCmdHelperBase::SetDoubleStrike(PrinterBuffer& target, bool on) {
    Put(target, {ESC, 'G', on ? uint8_t{1} : uint8_t{0}});
}
void CCmdHelperBase::FeedNone(PrinterBuffer& target) { Put(target, {ESC, 'J', 0}); }

// ESC J carries one byte, so longer feeds are split into 255-unit steps with a remainder of
// 1..255; the total always equals the request. A negative request cannot be fed backwards
// and is taken as no feed rather than cut to a byte (which would feed up to 255 units).
void CCmdHelperBase::FeedDots(PrinterBuffer& target, int32_t units) {
    if (units < 0) units = 0;
    if (units < 256) {
        PrintAndFeedDots(target, units);
        return;
    }
    const int32_t fullSteps = (units - 256) / 255 + 1;
    for (int32_t i = 0; i < fullSteps; ++i) PrintAndFeedDots(target, 255);
    PrintAndFeedDots(target, (units - 256) % 255 + 1);
}

void CCmdHelperBase::PrintAndFeedDots(PrinterBuffer& target, int32_t units) { Put(target, {ESC, 'J', Byte(units)}); }
void CCmdHelperBase::SelectPageMode(PrinterBuffer& target) { Put(target, {ESC, 'L'}); }

bool CCmdHelperBase::SelectCharacterFont(PrinterBuffer& target, int32_t n) {
    if (!OneOf(n, {0, 1, 48, 49})) return false;
    Put(target, {ESC, 'M', Byte(n)});
    return true;
}

void CCmdHelperBase::SelectInternationalSet(PrinterBuffer& target, int32_t n) { Put(target, {ESC, 'R', Byte(n)}); }

uint8_t CCmdHelperBase::InternationalSetForCodePage(int32_t codePage) {
    if (OneOf(codePage, {850, 936, 950})) return 15;
    if (codePage == 932) return 8;
    return 0;
}

void CCmdHelperBase::SelectStandardMode(PrinterBuffer& target) { Put(target, {ESC, 'S'}); }

uint8_t CCmdHelperBase::PageDirectionForRotation(int32_t rotation) {
    switch (rotation) {
        case 257:
            return 0x33;  // right 90 degrees
        case 258:
            return 0x31;  // left 90 degrees
        case 259:
            return 0x32;  // rotate 180 degrees
        default:
            return 0x30;
    }
}

bool CCmdHelperBase::SelectPageDirection(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 3) && !InRange(n, 48, 51)) return false;
    Put(target, {ESC, 'T', Byte(n)});
    return true;
}

void CCmdHelperBase::SetRotate90(PrinterBuffer& target, bool on) {
    Put(target, {ESC, 'V', on ? uint8_t{1} : uint8_t{0}});
}

void CCmdHelperBase::SetPageArea(PrinterBuffer& target, int32_t x, int32_t y, int32_t width, int32_t height) {
    Put(target, {ESC, 'W'});
    Put16(target, x);
    Put16(target, y);
    Put16(target, width);
    Put16(target, height);
}

void CCmdHelperBase::SetRelativePosition(PrinterBuffer& target, int32_t dots) {
    Put(target, {ESC, '\\'});
    Put16(target, dots);
}

bool CCmdHelperBase::SetJustification(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 2) && !InRange(n, 48, 50)) return false;
    Put(target, {ESC, 'a', Byte(n)});
    return true;
}

void CCmdHelperBase::SelectPaperOutSensors(PrinterBuffer& target, int32_t n) { Put(target, {ESC, 'c', '3', Byte(n)}); }
void CCmdHelperBase::SelectStopSensors(PrinterBuffer& target, int32_t n) { Put(target, {ESC, 'c', '4', Byte(n)}); }

void CCmdHelperBase::EnablePanelButtons(PrinterBuffer& target, bool enable) {
    Put(target, {ESC, 'c', '5', enable ? uint8_t{0} : uint8_t{1}});
}

void CCmdHelperBase::PrintAndFeedLines(PrinterBuffer& target, int32_t n) { Put(target, {ESC, 'd', Byte(n)}); }

bool CCmdHelperBase::GeneratePulse(PrinterBuffer& target, int32_t m, int32_t t1, int32_t t2) {
    if (!OneOf(m, {0, 1, 48, 49})) return false;
    Put(target, {ESC, 'p', Byte(m), Byte(t1), Byte(t2)});
    return true;
}

bool CCmdHelperBase::SelectCodeTable(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 21) && n != 26 && !InRange(n, 30, 53) && n != 255) return false;
    Put(target, {ESC, 't', Byte(n)});
    return true;
}

void CCmdHelperBase::SetUpsideDown(PrinterBuffer& target, bool on) {
    Put(target, {ESC, '{', on ? uint8_t{1} : uint8_t{0}});
}

// Sizes below 1 are refused as well as those above 8: (0 - 1) << 4 would put 0xF into the
// size nibble and select a magnification the printer does not have.
bool CCmdHelperBase::SetCharacterSize(PrinterBuffer& target, int32_t width, int32_t height) {
    if (!InRange(width, 1, 8) || !InRange(height, 1, 8)) return false;
    Put(target, {GS, '!', Byte(((width - 1) << 4) | (height - 1))});
    return true;
}

bool CCmdHelperBase::SetCharacterScale(PrinterBuffer& target, int32_t width, int32_t height) {
    return SetCharacterSize(target, std::clamp(width, 1, 8), std::clamp(height, 1, 8));
}

void CCmdHelperBase::SetAbsoluteVerticalPosition(PrinterBuffer& target, int32_t dots) {
    Put(target, {GS, '$'});
    Put16(target, dots);
}

// GS ( H fn=48 m=48 d1..d4: the printer answers "37 22 d1 d2 d3 d4 00" once it has processed
// everything in front of the request. A value with a byte outside 0x20..0x7E is not sent:
// the printer ignores such a request, and nobody should wait for an answer that never comes.
void CCmdHelperBase::PrepareSend(PrinterBuffer& target, int32_t value) {
    constexpr uint8_t kLowest = 0x20, kHighest = 0x7E, kFunction = 0x30, kLength = 6;
    const auto v = static_cast<uint32_t>(value);
    const uint8_t d[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v)};
    for (uint8_t b : d)
        if (b < kLowest || b > kHighest) return;
    Put(target, {GS, '(', 'H', kLength, 0x00, kFunction, kFunction, d[0], d[1], d[2], d[3]});
}

void CCmdHelperBase::SetReversePrinting(PrinterBuffer& target, bool on) {
    Put(target, {GS, 'B', on ? uint8_t{1} : uint8_t{0}});
}

void CCmdHelperBase::SetLeftMargin(PrinterBuffer& target, int32_t dots) {
    Put(target, {GS, 'L'});
    Put16(target, dots);
}

void CCmdHelperBase::SetMotionUnits(PrinterBuffer& target, int32_t x, int32_t y) {
    Put(target, {GS, 'P', Byte(x), Byte(y)});
}

// The cutter sits below the print line: feed the head-to-cutter distance (whole millimetres
// at 8 dots per millimetre) so the last printed line clears the blade.
void CCmdHelperBase::FeedAndFullCut(PrinterBuffer& target) {
    FeedDots(target, CutterDistance() / 100 * 8);
    Put(target, {GS, 'V', 0});
}

void CCmdHelperBase::FeedAndPartialCut(PrinterBuffer& target) {
    FeedDots(target, CutterDistance() / 100 * 8);
    Put(target, {GS, 'V', 1});
}

void CCmdHelperBase::FeedToCutPosition(PrinterBuffer& target, int32_t n) { Put(target, {GS, 'V', 'A', Byte(n)}); }

void CCmdHelperBase::SetPrintAreaWidth(PrinterBuffer& target, int32_t dots) {
    Put(target, {GS, 'W'});
    Put16(target, dots);
}

void CCmdHelperBase::SetRelativeVerticalPosition(PrinterBuffer& target, int32_t dots) {
    Put(target, {GS, '\\'});
    Put16(target, dots);
}

void CCmdHelperBase::SetSmoothing(PrinterBuffer& target, bool on) {
    Put(target, {GS, 'b', on ? uint8_t{1} : uint8_t{0}});
}

uint8_t CCmdHelperBase::SelectKanjiPrintModes(PrinterBuffer& target, bool doubleWidth, bool doubleHeight,
                                              bool underline) {
    uint8_t n = 0;
    if (doubleWidth) n |= 0x04;
    if (doubleHeight) n |= 0x08;
    if (underline) n |= 0x80;
    Put(target, {FS, '!', n});
    return n;
}

void CCmdHelperBase::SetKanjiMode(PrinterBuffer& target, bool on) {
    Put(target, {FS, on ? uint8_t{'&'} : uint8_t{'.'}});
}

namespace {

struct CodePageRow {
    int32_t codePage;
    bool kanji;
    uint8_t codeTable;
    uint8_t internationalSet;
};

// Character set number to Kanji mode, ESC t table and ESC R set. Values not listed select
// Kanji mode with table 2 (850 and 949 among them).
constexpr CodePageRow kCodePages[] = {
    {242, false, 255, 0}, {255, false, 255, 0}, {437, false, 0, 0},   {720, false, 32, 0},  {851, false, 11, 0},
    {852, false, 18, 0},  {853, false, 18, 0},  {857, false, 18, 0},  {858, false, 19, 0},  {860, false, 3, 0},
    {862, false, 36, 0},  {863, false, 4, 0},   {864, false, 37, 0},  {865, false, 5, 0},   {866, false, 17, 0},
    {874, false, 21, 0},  {932, true, 1, 8},    {936, true, 2, 15},   {950, true, 2, 15},   {997, true, 0, 0},
    {998, false, 0, 0},   {999, false, 16, 0},  {1250, false, 16, 0}, {1252, false, 16, 0}, {1255, false, 49, 0},
    {1256, false, 50, 0},
};
constexpr CodePageRow kOtherCodePage{0, true, 2, 0};

const CodePageRow& CodePageRowFor(int32_t codePage) {
    for (const auto& row : kCodePages)
        if (row.codePage == codePage) return row;
    return kOtherCodePage;
}

}  // namespace

// Always three commands in this order, through the overridable operations, so a variant that
// lacks code tables still switches Kanji mode.
void CCmdHelperBase::SelectCodePage(PrinterBuffer& target, int32_t codePage) {
    const CodePageRow& row = CodePageRowFor(codePage);
    SetKanjiMode(target, row.kanji);
    SelectCodeTable(target, row.codeTable);
    SelectInternationalSet(target, row.internationalSet);
}

bool CCmdHelperBase::SetKanjiUnderline(PrinterBuffer& target, int32_t n) {
    if (!InRange(n, 0, 2)) return false;
    Put(target, {FS, '-', Byte(n)});
    return true;
}

int32_t CCmdHelperBase::NoOperationResult() { return 0; }

bool CCmdHelperBase::SelectKanjiCodeSystem(PrinterBuffer& target, int32_t n) {
    if (!OneOf(n, {0, 1, 48, 49})) return false;
    Put(target, {FS, 'C', Byte(n)});
    return true;
}

void CCmdHelperBase::SetKanjiSpacing(PrinterBuffer& target, int32_t left, int32_t right) {
    Put(target, {FS, 'S', Byte(left), Byte(right)});
}

void CCmdHelperBase::SetKanjiQuadruple(PrinterBuffer& target, bool on) {
    Put(target, {FS, 'W', on ? uint8_t{1} : uint8_t{0}});
}

void CCmdHelperBase::SelectExtendedMode(PrinterBuffer& target) {
    Put(target, {ESC, '(', 's', 0x04, 0x00, 0x31, 0x41, 0x45, 0x05});
}

// The drawing operations need the variant's printer; the standard set has no such commands.
bool CCmdHelperBase::DrawLineSegments(PrinterBuffer&, std::span<const LineSegment>, int32_t) { return false; }
bool CCmdHelperBase::PrintCurvedText(PrinterBuffer&, int32_t, int32_t, std::span<const uint8_t>, int32_t) {
    return false;
}

}  // namespace QVO::Printer
