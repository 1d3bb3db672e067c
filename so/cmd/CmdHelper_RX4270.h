// The command builder of the maker's own model: framed transmission, reduced command set,
// line-segment and curved-text drawing.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "so/cmd/CCmdHelperBase.h"

namespace QVO::Printer {

// Every transmission is wrapped in checksummed packets (FrameForPort); commands this printer
// lacks append nothing and report false (or 0) where the base reports a result. Operations not
// declared here behave as in CCmdHelperBase.
//
// Ownership: owned by its model object. Thread safety: as the base, one thread at a time.
class CmdHelper_RX4270 : public CCmdHelperBase {
public:
    // A packet: AA, chunk length, up to kMaxChunk bytes, XOR of the chunk bytes, BB.
    static constexpr uint8_t kPacketStart = 0xAA;
    static constexpr uint8_t kPacketEnd = 0xBB;
    static constexpr size_t kMaxChunk = 46;

    CmdHelper_RX4270() = default;

    void FrameForPort(PrinterBuffer& target, const PrinterBuffer& source) override;
    int32_t CompareAutoStatus(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored) override;
    bool DrawerBitChanged(uint8_t previous, uint8_t current, bool ignoreChangeFromClear) override;
    bool TestDrawerBit(uint8_t status, bool expectSet) override;
    void FormFeed(PrinterBuffer& target) override;
    // The printer does not answer process-ID requests: none is appended.
    void PrepareSend(PrinterBuffer& target, int32_t value) override;
    void RequestRealTimeStatus(PrinterBuffer& target, int32_t n) override;
    void DrawerStatusCommand(std::span<uint8_t, 3> record) override;
    bool RealTimeRequest(PrinterBuffer& target, int32_t n) override;
    void RealTimePulse(PrinterBuffer& target, int32_t unused1, int32_t unused2) override;
    void RealTimeShortCommand(PrinterBuffer& target) override;
    void ClearPrinterBuffers(PrinterBuffer& target) override;
    void EndPage(PrinterBuffer& target) override;
    void CharacterSpacing(PrinterBuffer& target, int32_t dots) override;
    bool SelectBitImageMode(PrinterBuffer& target, int32_t m, int32_t n, std::span<const uint8_t> data) override;
    void SetTabs(PrinterBuffer& target, std::vector<uint8_t>& stops) override;
    bool SelectCharacterFont(PrinterBuffer& target, int32_t n) override;
    void SelectInternationalSet(PrinterBuffer& target, int32_t n) override;
    uint8_t InternationalSetForCodePage(int32_t codePage) override;
    void SelectStandardMode(PrinterBuffer& target) override;
    uint8_t PageDirectionForRotation(int32_t rotation) override;
    bool SelectPageDirection(PrinterBuffer& target, int32_t n) override;
    void SetRotate90(PrinterBuffer& target, bool on) override;
    void SetPageArea(PrinterBuffer& target, int32_t x, int32_t y, int32_t width, int32_t height) override;
    void SelectPaperOutSensors(PrinterBuffer& target, int32_t n) override;
    void SelectStopSensors(PrinterBuffer& target, int32_t n) override;
    void EnablePanelButtons(PrinterBuffer& target, bool enable) override;
    bool GeneratePulse(PrinterBuffer& target, int32_t m, int32_t t1, int32_t t2) override;
    bool SelectCodeTable(PrinterBuffer& target, int32_t n) override;
    void SetAbsoluteVerticalPosition(PrinterBuffer& target, int32_t dots) override;
    bool ExecuteTestPrint(PrinterBuffer& target, int32_t n, int32_t m) override;
    void EnterUserSetupMode(PrinterBuffer& target) override;
    void LeaveUserSetupMode(PrinterBuffer& target) override;
    void WriteCustomSettings(PrinterBuffer& target, int32_t density, int32_t speed, int32_t divisions,
                             bool customValue116On, bool customValue118On) override;
    bool WritePrintDensity(PrinterBuffer& target, int32_t density) override;
    void ReadPrintDensity(PrinterBuffer& target) override;
    bool WritePrintSpeed(PrinterBuffer& target, int32_t speed) override;
    void ReadPrintSpeed(PrinterBuffer& target) override;
    bool WriteHeadDivision(PrinterBuffer& target, int32_t n) override;
    void ReadHeadDivision(PrinterBuffer& target) override;
    void WriteCustomValue116(PrinterBuffer& target, bool customValue116On) override;
    void ReadCustomValue116(PrinterBuffer& target) override;
    void WriteCustomValue118(PrinterBuffer& target, bool customValue118On) override;
    void ReadCustomValue118(PrinterBuffer& target) override;
    void ReadCustomValue(PrinterBuffer& target, int32_t settingNumber) override;
    bool WriteSerialBaudRate(PrinterBuffer& target, const char* text) override;
    void ReadSerialBaudRate(PrinterBuffer& target) override;
    void WriteSerialParity(PrinterBuffer& target, int32_t parity) override;
    void ReadSerialParity(PrinterBuffer& target) override;
    void WriteSerialHandshake(PrinterBuffer& target, int32_t handshake) override;
    void ReadSerialHandshake(PrinterBuffer& target) override;
    void WriteSerialDataBits(PrinterBuffer& target, int32_t dataBits) override;
    void ReadSerialDataBits(PrinterBuffer& target) override;
    // n is the image number; the second key is not used; x and y select double width/height.
    void PrintNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2, int32_t x, int32_t y) override;
    void DefineNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2, bool twoColour, int32_t width,
                          int32_t height, std::span<const uint8_t> data) override;
    void FeedAndFullCut(PrinterBuffer& target) override;
    void FeedAndPartialCut(PrinterBuffer& target) override;
    void FeedToCutPosition(PrinterBuffer& target, int32_t n) override;
    void SetRelativeVerticalPosition(PrinterBuffer& target, int32_t dots) override;
    void EnableAutoStatusBack(PrinterBuffer& target, int32_t n) override;
    bool SelectHriFont(PrinterBuffer& target, int32_t n) override;
    bool ResetMaintenanceCounter(PrinterBuffer& target, int32_t n) override;
    bool RequestMaintenanceCounter(PrinterBuffer& target, int32_t n) override;
    bool AppendBarcode(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t moduleWidth,
                       int32_t justification, int32_t textPosition, int32_t hriFont,
                       std::span<const uint8_t> data) override;
    bool DrawLineSegments(PrinterBuffer& target, std::span<const LineSegment> segments, int32_t count) override;
    bool PrintCurvedText(PrinterBuffer& target, int32_t mode, int32_t position, std::span<const uint8_t> text,
                         int32_t length) override;

private:
    void AppendPacket(PrinterBuffer& target, const uint8_t* chunk, size_t length);
};

}  // namespace QVO::Printer
