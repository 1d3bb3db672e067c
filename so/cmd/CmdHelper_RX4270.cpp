// The maker's model command set: commands it lacks, its own density, graphics, HRI font,
// barcode and drawing commands.
#include "so/cmd/CmdHelper_RX4270.h"
#include "so/cmd/CmdBytes.h"

#include <cstring>

namespace QVO::Printer {

using namespace CmdBytes;

namespace {
constexpr int32_t kMaxLineSegments = 8;
constexpr int32_t kCurvedTextModes = 2;
}  // namespace

// Its status block carries the cover and flag bits in byte 1 and the paper bits in byte 3.
int32_t CmdHelper_RX4270::CompareAutoStatus(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored) {
    return CompareStatusFields(fresh, stored, 1, -1, 3);
}

// No drawer connector on this model.
bool CmdHelper_RX4270::DrawerBitChanged(uint8_t, uint8_t, bool) { return false; }
bool CmdHelper_RX4270::TestDrawerBit(uint8_t, bool) { return false; }

// The printer has no page mode to end and no real-time commands besides the status request.
void CmdHelper_RX4270::FormFeed(PrinterBuffer&) {}
void CmdHelper_RX4270::PrepareSend(PrinterBuffer&, int32_t) {}
void CmdHelper_RX4270::EndPage(PrinterBuffer&) {}
void CmdHelper_RX4270::DrawerStatusCommand(std::span<uint8_t, 3>) {}
bool CmdHelper_RX4270::RealTimeRequest(PrinterBuffer&, int32_t) { return false; }
void CmdHelper_RX4270::RealTimePulse(PrinterBuffer&, int32_t, int32_t) {}
void CmdHelper_RX4270::RealTimeShortCommand(PrinterBuffer&) {}
void CmdHelper_RX4270::ClearPrinterBuffers(PrinterBuffer&) {}
void CmdHelper_RX4270::CharacterSpacing(PrinterBuffer&, int32_t) {}
bool CmdHelper_RX4270::SelectBitImageMode(PrinterBuffer&, int32_t, int32_t, std::span<const uint8_t>) { return false; }

// The stop list ends with 0 in the command; the caller's list stays as it was given.
void CmdHelper_RX4270::SetTabs(PrinterBuffer& target, std::vector<uint8_t>& stops) {
    if (stops.empty()) {
        SetDefaultTabs(target);
        return;
    }
    Put(target, {ESC, 'D'});
    target.Append(stops.data(), stops.size());
    if (stops.back() != 0) target.Append(uint8_t{0});
}

bool CmdHelper_RX4270::SelectCharacterFont(PrinterBuffer&, int32_t) { return false; }
void CmdHelper_RX4270::SelectInternationalSet(PrinterBuffer&, int32_t) {}
uint8_t CmdHelper_RX4270::InternationalSetForCodePage(int32_t) { return 0; }
void CmdHelper_RX4270::SelectStandardMode(PrinterBuffer&) {}
uint8_t CmdHelper_RX4270::PageDirectionForRotation(int32_t) { return 0; }
bool CmdHelper_RX4270::SelectPageDirection(PrinterBuffer&, int32_t) { return false; }
void CmdHelper_RX4270::SetRotate90(PrinterBuffer&, bool) {}
void CmdHelper_RX4270::SetPageArea(PrinterBuffer&, int32_t, int32_t, int32_t, int32_t) {}
void CmdHelper_RX4270::SelectPaperOutSensors(PrinterBuffer&, int32_t) {}
void CmdHelper_RX4270::SelectStopSensors(PrinterBuffer&, int32_t) {}
void CmdHelper_RX4270::EnablePanelButtons(PrinterBuffer&, bool) {}
bool CmdHelper_RX4270::GeneratePulse(PrinterBuffer&, int32_t, int32_t, int32_t) { return false; }
bool CmdHelper_RX4270::SelectCodeTable(PrinterBuffer&, int32_t) { return false; }
void CmdHelper_RX4270::SetAbsoluteVerticalPosition(PrinterBuffer&, int32_t) {}
bool CmdHelper_RX4270::ExecuteTestPrint(PrinterBuffer&, int32_t, int32_t) { return false; }

// The settings commands do not exist on this model; the argument checks still answer as the
// base does, so callers see the same results.
void CmdHelper_RX4270::EnterUserSetupMode(PrinterBuffer&) {}
void CmdHelper_RX4270::LeaveUserSetupMode(PrinterBuffer&) {}
void CmdHelper_RX4270::WriteCustomSettings(PrinterBuffer&, int32_t, int32_t, int32_t, bool, bool) {}

// Density is the printer's own GS E with a level up to 9.
bool CmdHelper_RX4270::WritePrintDensity(PrinterBuffer& target, int32_t density) {
    if (density > 9) return false;
    Put(target, {GS, 'E', Byte(density)});
    return true;
}

void CmdHelper_RX4270::ReadPrintDensity(PrinterBuffer&) {}
bool CmdHelper_RX4270::WritePrintSpeed(PrinterBuffer&, int32_t speed) { return InRange(speed, 1, 9); }
void CmdHelper_RX4270::ReadPrintSpeed(PrinterBuffer&) {}
bool CmdHelper_RX4270::WriteHeadDivision(PrinterBuffer&, int32_t n) { return OneOf(n, {1, 2, 4, 128}); }
void CmdHelper_RX4270::ReadHeadDivision(PrinterBuffer&) {}
void CmdHelper_RX4270::WriteCustomValue116(PrinterBuffer&, bool) {}
void CmdHelper_RX4270::ReadCustomValue116(PrinterBuffer&) {}
void CmdHelper_RX4270::WriteCustomValue118(PrinterBuffer&, bool) {}
void CmdHelper_RX4270::ReadCustomValue118(PrinterBuffer&) {}
void CmdHelper_RX4270::ReadCustomValue(PrinterBuffer&, int32_t) {}
bool CmdHelper_RX4270::WriteSerialBaudRate(PrinterBuffer&, const char* text) {
    return text != nullptr && std::strlen(text) >= 3;
}
void CmdHelper_RX4270::ReadSerialBaudRate(PrinterBuffer&) {}
void CmdHelper_RX4270::WriteSerialParity(PrinterBuffer&, int32_t) {}
void CmdHelper_RX4270::ReadSerialParity(PrinterBuffer&) {}
void CmdHelper_RX4270::WriteSerialHandshake(PrinterBuffer&, int32_t) {}
void CmdHelper_RX4270::ReadSerialHandshake(PrinterBuffer&) {}
void CmdHelper_RX4270::WriteSerialDataBits(PrinterBuffer&, int32_t) {}
void CmdHelper_RX4270::ReadSerialDataBits(PrinterBuffer&) {}

// FS p n m: m bit 0 doubles the width, bit 1 the height.
void CmdHelper_RX4270::PrintNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t, int32_t x, int32_t y) {
    const uint8_t m = static_cast<uint8_t>((x != 0 ? 1 : 0) | (y != 0 ? 2 : 0));
    Put(target, {FS, 'p', Byte(kc1), m});
}

// FS q with one image; a two-colour image sends its second plane right after the first. A size
// beyond its 16-bit field sends nothing, as in the base.
void CmdHelper_RX4270::DefineNvGraphics(PrinterBuffer& target, int32_t, int32_t, bool twoColour, int32_t width,
                                        int32_t height, std::span<const uint8_t> data) {
    size_t planeSize = 0;
    if (!RasterPlaneSize(width, height, planeSize)) return;
    Put(target, {FS, 'q', 0x01, Low(width), High(width), Low(height), High(height)});
    AppendPlane(target, data, 0, planeSize);
    if (twoColour) AppendPlane(target, data, planeSize, planeSize);
}

// No cutter commands and no automatic status on this model.
void CmdHelper_RX4270::FeedAndFullCut(PrinterBuffer&) {}
void CmdHelper_RX4270::FeedAndPartialCut(PrinterBuffer&) {}
void CmdHelper_RX4270::FeedToCutPosition(PrinterBuffer&, int32_t) {}
void CmdHelper_RX4270::SetRelativeVerticalPosition(PrinterBuffer&, int32_t) {}
void CmdHelper_RX4270::EnableAutoStatusBack(PrinterBuffer&, int32_t) {}

bool CmdHelper_RX4270::SelectHriFont(PrinterBuffer& target, int32_t n) {
    if (!OneOf(n, {0, 1, 48, 49})) return false;
    Put(target, {GS, 'f', Byte(n)});
    return true;
}

bool CmdHelper_RX4270::ResetMaintenanceCounter(PrinterBuffer&, int32_t) { return false; }
bool CmdHelper_RX4270::RequestMaintenanceCounter(PrinterBuffer&, int32_t) { return false; }

// The printer places barcodes itself, so the justification step is left out.
bool CmdHelper_RX4270::AppendBarcode(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t moduleWidth,
                                     int32_t justification, int32_t textPosition, int32_t hriFont,
                                     std::span<const uint8_t> data) {
    return AppendBarcodeSteps(target, symbology, height, moduleWidth, justification, textPosition, hriFont, data,
                              false);
}

// GS ' count, then start and end of each segment as 16-bit values. Only as many segments as
// the caller actually passed are read.
bool CmdHelper_RX4270::DrawLineSegments(PrinterBuffer& target, std::span<const LineSegment> segments, int32_t count) {
    if (!InRange(count, 0, kMaxLineSegments) || static_cast<size_t>(count) > segments.size()) return false;
    Put(target, {GS, '\'', Byte(count)});
    for (const LineSegment& segment : segments.first(static_cast<size_t>(count))) {
        Put16(target, segment.start);
        Put16(target, segment.end);
    }
    return true;
}

// GS " mode position text NUL. A NUL inside the text would end the text early and leave the
// rest to be read as commands, so such text is refused, as is a length beyond the text.
bool CmdHelper_RX4270::PrintCurvedText(PrinterBuffer& target, int32_t mode, int32_t position,
                                       std::span<const uint8_t> text, int32_t length) {
    if (!InRange(mode, 0, kCurvedTextModes - 1) || length < 0 || static_cast<size_t>(length) > text.size())
        return false;
    const auto body = text.first(static_cast<size_t>(length));
    if (std::find(body.begin(), body.end(), uint8_t{0}) != body.end()) return false;
    Put(target, {GS, '"', Byte(mode)});
    Put16(target, position);
    target.Append(body);
    target.Append(uint8_t{0});
    return true;
}

}  // namespace QVO::Printer
