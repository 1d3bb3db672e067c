// The command builder interface: every printer command byte the engine sends comes from here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "so/cmd/PrinterBuffer.h"
#include "so/cmd/PrinterStatus.h"

namespace QVO::Printer {

// One line segment of DrawLineSegments, in dots across the paper.
struct LineSegment {
    int32_t start = 0;
    int32_t end = 0;
};

// Which status byte CompareStatusByte compares: the offline cause (DLE EOT 2) or the roll
// paper sensors (DLE EOT 4), numbered as the request that asks for them.
enum StatusByteKind : int32_t {
    kStatusByteOfflineCause = 2,
    kStatusByteRollPaper = 4,
};

// Builds printer commands and decodes printer status replies.
//
// Conventions shared by every operation:
//  - the first argument is the target buffer; bytes are appended at its end and nothing
//    already in it is touched;
//  - byte-sized arguments are cut to their low 8 bits, 16-bit values go out low byte first;
//  - operations returning bool check their arguments: false means nothing was appended;
//  - mappers append nothing and return the printer's number for an OPOS value.
//
// The operations are declared in a fixed order that variants keep; a variant overrides an
// operation in place. The interface has no virtual destructor so that the table holds the
// operations only; builders are owned by their model object and never deleted through it.
// Thread safety: a builder keeps scratch buffers, so one builder serves one thread at a time.
class ICmdHelper {
public:
    virtual void FrameForPort(PrinterBuffer& target, const PrinterBuffer& source) = 0;
    virtual bool ParseAutoStatus(std::span<const uint8_t, 4> status, tagPrinterStatus* record) = 0;
    virtual bool ParsePrinterStatusByte(uint8_t reply, tagPrinterStatus* record) = 0;
    virtual bool ParseOfflineStatusByte(uint8_t reply, tagPrinterStatus* record) = 0;
    virtual bool ParsePaperStatusByte(uint8_t reply, tagPrinterStatus* record) = 0;
    virtual bool ParsePaperSensorByte(uint8_t reply, tagPrinterStatus* record) = 0;
    virtual bool ParseDrawerByte(uint8_t reply, int32_t* drawerSignal) = 0;
    virtual int32_t CompareAutoStatus(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored) = 0;
    virtual bool DrawerBitChanged(uint8_t previous, uint8_t current, bool ignoreChangeFromClear) = 0;
    virtual bool TestDrawerBit(uint8_t status, bool expectSet) = 0;
    virtual void ResetCharacterFormat(PrinterBuffer& target) = 0;
    virtual void HorizontalTab(PrinterBuffer& target) = 0;
    virtual void LineFeed(PrinterBuffer& target) = 0;
    virtual void FormFeed(PrinterBuffer& target) = 0;
    virtual void PrintAndFeedNone(PrinterBuffer& target) = 0;
    virtual void CancelPageData(PrinterBuffer& target) = 0;
    virtual void TripleEscape(PrinterBuffer& target) = 0;
    virtual void RequestRealTimeStatus(PrinterBuffer& target, int32_t n) = 0;
    virtual int32_t CompareStatusByte(uint8_t fresh, uint8_t& stored, int32_t statusByteKind) = 0;
    virtual void DrawerStatusCommand(std::span<uint8_t, 3> record) = 0;
    virtual void RequestStatus(PrinterBuffer& target, int32_t n) = 0;
    virtual bool RealTimeRequest(PrinterBuffer& target, int32_t n) = 0;
    virtual void RealTimePulse(PrinterBuffer& target, int32_t unused1, int32_t unused2) = 0;
    virtual void RealTimeShortCommand(PrinterBuffer& target) = 0;
    virtual void ClearPrinterBuffers(PrinterBuffer& target) = 0;
    virtual void EndPage(PrinterBuffer& target) = 0;
    virtual void CharacterSpacing(PrinterBuffer& target, int32_t dots) = 0;
    virtual uint8_t SelectPrintModes(PrinterBuffer& target, bool fontB, bool emphasized, bool doubleWidth,
                                     bool doubleHeight, bool underline) = 0;
    virtual void SetAbsolutePosition(PrinterBuffer& target, int32_t dots) = 0;
    virtual void SelectUserCharacters(PrinterBuffer& target, bool on) = 0;
    virtual void NoOperation() = 0;
    virtual bool SelectBitImageMode(PrinterBuffer& target, int32_t m, int32_t n, std::span<const uint8_t> data) = 0;
    virtual bool SetUnderline(PrinterBuffer& target, int32_t n) = 0;
    virtual void DefaultLineSpacing(PrinterBuffer& target) = 0;
    virtual void SetLineSpacing(PrinterBuffer& target, int32_t dots) = 0;
    virtual void SelectPeripheral(PrinterBuffer& target, bool printerEnabled) = 0;
    virtual bool CancelUserCharacter(PrinterBuffer& target, int32_t n) = 0;
    virtual void InitializePrinter(PrinterBuffer& target) = 0;
    virtual void SetDefaultTabs(PrinterBuffer& target) = 0;
    virtual void SetTabs(PrinterBuffer& target, std::vector<uint8_t>& stops) = 0;
    virtual void SetEmphasized(PrinterBuffer& target, bool on) = 0;
    virtual void SetDoubleStrike(PrinterBuffer& target, bool on) = 0;
    virtual void FeedNone(PrinterBuffer& target) = 0;
    virtual void FeedDots(PrinterBuffer& target, int32_t units) = 0;
    virtual void PrintAndFeedDots(PrinterBuffer& target, int32_t units) = 0;
    virtual void SelectPageMode(PrinterBuffer& target) = 0;
    virtual bool SelectCharacterFont(PrinterBuffer& target, int32_t n) = 0;
    virtual void SelectInternationalSet(PrinterBuffer& target, int32_t n) = 0;
    virtual uint8_t InternationalSetForCodePage(int32_t codePage) = 0;
    virtual void SelectStandardMode(PrinterBuffer& target) = 0;
    virtual uint8_t PageDirectionForRotation(int32_t rotation) = 0;
    virtual bool SelectPageDirection(PrinterBuffer& target, int32_t n) = 0;
    virtual void SetRotate90(PrinterBuffer& target, bool on) = 0;
    virtual void SetPageArea(PrinterBuffer& target, int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual void SetRelativePosition(PrinterBuffer& target, int32_t dots) = 0;
    virtual bool SetJustification(PrinterBuffer& target, int32_t n) = 0;
    virtual void SelectPaperOutSensors(PrinterBuffer& target, int32_t n) = 0;
    virtual void SelectStopSensors(PrinterBuffer& target, int32_t n) = 0;
    virtual void EnablePanelButtons(PrinterBuffer& target, bool enable) = 0;
    virtual void PrintAndFeedLines(PrinterBuffer& target, int32_t n) = 0;
    virtual bool GeneratePulse(PrinterBuffer& target, int32_t m, int32_t t1, int32_t t2) = 0;
    virtual bool SelectCodeTable(PrinterBuffer& target, int32_t n) = 0;
    virtual void SetUpsideDown(PrinterBuffer& target, bool on) = 0;
    virtual bool SetCharacterSize(PrinterBuffer& target, int32_t width, int32_t height) = 0;
    virtual bool SetCharacterScale(PrinterBuffer& target, int32_t width, int32_t height) = 0;
    virtual void SetAbsoluteVerticalPosition(PrinterBuffer& target, int32_t dots) = 0;
    virtual bool ExecuteTestPrint(PrinterBuffer& target, int32_t n, int32_t m) = 0;
    virtual void EnterUserSetupMode(PrinterBuffer& target) = 0;
    virtual void LeaveUserSetupMode(PrinterBuffer& target) = 0;
    virtual void WriteCustomSettings(PrinterBuffer& target, int32_t density, int32_t speed, int32_t divisions,
                                     bool customValue116On, bool customValue118On) = 0;
    virtual bool WritePrintDensity(PrinterBuffer& target, int32_t density) = 0;
    virtual void ReadPrintDensity(PrinterBuffer& target) = 0;
    virtual bool WritePrintSpeed(PrinterBuffer& target, int32_t speed) = 0;
    virtual void ReadPrintSpeed(PrinterBuffer& target) = 0;
    virtual bool WriteHeadDivision(PrinterBuffer& target, int32_t n) = 0;
    virtual void ReadHeadDivision(PrinterBuffer& target) = 0;
    virtual void WriteCustomValue116(PrinterBuffer& target, bool customValue116On) = 0;
    virtual void ReadCustomValue116(PrinterBuffer& target) = 0;
    virtual void WriteCustomValue118(PrinterBuffer& target, bool customValue118On) = 0;
    virtual void ReadCustomValue118(PrinterBuffer& target) = 0;
    virtual void ReadCustomValue(PrinterBuffer& target, int32_t settingNumber) = 0;
    virtual bool WriteSerialBaudRate(PrinterBuffer& target, const char* text) = 0;
    virtual void ReadSerialBaudRate(PrinterBuffer& target) = 0;
    virtual void WriteSerialParity(PrinterBuffer& target, int32_t parity) = 0;
    virtual void ReadSerialParity(PrinterBuffer& target) = 0;
    virtual void WriteSerialHandshake(PrinterBuffer& target, int32_t handshake) = 0;
    virtual void ReadSerialHandshake(PrinterBuffer& target) = 0;
    virtual void WriteSerialDataBits(PrinterBuffer& target, int32_t dataBits) = 0;
    virtual void ReadSerialDataBits(PrinterBuffer& target) = 0;
    virtual void PrepareSend(PrinterBuffer& target, int32_t value) = 0;
    virtual bool SelectPrintSpeedMode(PrinterBuffer& target, int32_t n) = 0;
    virtual bool SelectHeadEnergizing(PrinterBuffer& target, int32_t n) = 0;
    virtual void BeginNvRasterGraphics(PrinterBuffer& target, bool twoColour, int32_t width, int32_t height,
                                       int32_t kc1, int32_t kc2) = 0;
    virtual uint8_t JustificationForBitmapAlignment(int32_t alignment) = 0;
    virtual void BeginBufferGraphics(PrinterBuffer& target, int32_t dataLength, int32_t width, int32_t height) = 0;
    virtual void PrintBufferGraphics(PrinterBuffer& target) = 0;
    virtual void RequestNvGraphicsCapacity(PrinterBuffer& target, bool totalCapacity) = 0;
    virtual void PrintNvGraphicsByNumber(PrinterBuffer& target, int32_t number) = 0;
    virtual void PrintNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2, int32_t x, int32_t y) = 0;
    virtual void ListNvGraphicsKeys(PrinterBuffer& target) = 0;
    virtual void DeleteAllNvGraphics(PrinterBuffer& target) = 0;
    virtual bool DeleteNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2) = 0;
    virtual void DefineNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2, bool twoColour, int32_t width,
                                  int32_t height, std::span<const uint8_t> data) = 0;
    virtual void StoreWrappedGraphics(PrinterBuffer& target, int32_t width, int32_t height,
                                      std::span<const uint8_t> data) = 0;
    virtual void SelectCharacterColor(PrinterBuffer& target, int32_t n) = 0;
    virtual bool SetPdf417Columns(PrinterBuffer& target, int32_t n) = 0;
    virtual bool SetPdf417Rows(PrinterBuffer& target, int32_t n) = 0;
    virtual bool SetPdf417ModuleWidth(PrinterBuffer& target, int32_t n) = 0;
    virtual bool SetPdf417RowHeight(PrinterBuffer& target, int32_t n) = 0;
    virtual bool SetPdf417ErrorLevel(PrinterBuffer& target, int32_t m, int32_t n) = 0;
    virtual void SetPdf417Options(PrinterBuffer& target, bool truncated) = 0;
    virtual bool StorePdf417Data(PrinterBuffer& target, std::span<const uint8_t> data) = 0;
    virtual void PrintPdf417(PrinterBuffer& target) = 0;
    virtual void RequestPdf417Size(PrinterBuffer& target) = 0;
    virtual bool SelectQrModel(PrinterBuffer& target, int32_t n) = 0;
    virtual bool SetQrModuleSize(PrinterBuffer& target, int32_t n) = 0;
    virtual bool SetQrErrorLevel(PrinterBuffer& target, int32_t n) = 0;
    virtual bool StoreQrData(PrinterBuffer& target, std::span<const uint8_t> data) = 0;
    virtual void PrintQr(PrinterBuffer& target) = 0;
    virtual void RequestQrSize(PrinterBuffer& target) = 0;
    virtual bool DefineDownloadedImage(PrinterBuffer& target, int32_t x, int32_t y, std::span<const uint8_t> data) = 0;
    virtual bool PrintDownloadedImage(PrinterBuffer& target, int32_t m) = 0;
    virtual void BeginMacro(PrinterBuffer& target) = 0;
    virtual void EndMacro(PrinterBuffer& target) = 0;
    virtual void ExecuteMacro(PrinterBuffer& target, int32_t repeatCount, int32_t waitTenths, bool continuous) = 0;
    virtual void SetReversePrinting(PrinterBuffer& target, bool on) = 0;
    virtual uint8_t HriPositionForTextPosition(int32_t textPosition) = 0;
    virtual bool SetHriPosition(PrinterBuffer& target, int32_t n) = 0;
    virtual void RequestPrinterId(PrinterBuffer& target, int32_t n) = 0;
    virtual void RequestModelId(PrinterBuffer& target) = 0;
    virtual void RequestTypeId(PrinterBuffer& target) = 0;
    virtual void RequestFirmwareVersion(PrinterBuffer& target) = 0;
    virtual void RequestMakerName(PrinterBuffer& target) = 0;
    virtual void RequestModelName(PrinterBuffer& target) = 0;
    virtual void RequestSerialNumber(PrinterBuffer& target) = 0;
    virtual void RequestFontInfo(PrinterBuffer& target) = 0;
    virtual void SetLeftMargin(PrinterBuffer& target, int32_t dots) = 0;
    virtual void SetMotionUnits(PrinterBuffer& target, int32_t x, int32_t y) = 0;
    virtual void FeedAndFullCut(PrinterBuffer& target) = 0;
    virtual void FeedAndPartialCut(PrinterBuffer& target) = 0;
    virtual void FeedToCutPosition(PrinterBuffer& target, int32_t n) = 0;
    virtual void SetPrintAreaWidth(PrinterBuffer& target, int32_t dots) = 0;
    virtual void SetRelativeVerticalPosition(PrinterBuffer& target, int32_t dots) = 0;
    virtual void EnableAutoStatusBack(PrinterBuffer& target, int32_t n) = 0;
    virtual void SetSmoothing(PrinterBuffer& target, bool on) = 0;
    virtual bool SelectHriFont(PrinterBuffer& target, int32_t n) = 0;
    virtual bool ResetMaintenanceCounter(PrinterBuffer& target, int32_t n) = 0;
    virtual bool RequestMaintenanceCounter(PrinterBuffer& target, int32_t n) = 0;
    virtual uint8_t BarcodeSystemForSymbology(int32_t symbology) = 0;
    virtual uint8_t JustificationForAlignment(int32_t alignment) = 0;
    virtual uint8_t HriPositionForTextPositionAll(int32_t textPosition) = 0;
    // Returns a module width; *resultingWidth (may be null) receives the symbol width in dots.
    virtual int32_t FitBarcodeModuleWidth(int32_t symbology, int32_t requestedWidth, std::span<const uint8_t> data,
                                          int32_t* resultingWidth) = 0;
    virtual bool AppendBarcode(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t moduleWidth,
                               int32_t justification, int32_t textPosition, int32_t hriFont,
                               std::span<const uint8_t> data) = 0;
    virtual bool PrintBarcodeData(PrinterBuffer& target, int32_t symbology, std::span<const uint8_t> data) = 0;
    virtual void SetBarcodeModuleWidth(PrinterBuffer& target, int32_t n) = 0;
    virtual void SetBarcodeHeight(PrinterBuffer& target, int32_t n) = 0;
    virtual void RequestPaperSensorStatus(PrinterBuffer& target) = 0;
    virtual void RequestDrawerStatus(PrinterBuffer& target) = 0;
    virtual uint8_t SelectKanjiPrintModes(PrinterBuffer& target, bool doubleWidth, bool doubleHeight,
                                          bool underline) = 0;
    virtual void SetKanjiMode(PrinterBuffer& target, bool on) = 0;
    virtual void SelectCodePage(PrinterBuffer& target, int32_t codePage) = 0;
    virtual bool SetKanjiUnderline(PrinterBuffer& target, int32_t n) = 0;
    virtual int32_t NoOperationResult() = 0;
    virtual bool SelectKanjiCodeSystem(PrinterBuffer& target, int32_t n) = 0;
    virtual void SetKanjiSpacing(PrinterBuffer& target, int32_t left, int32_t right) = 0;
    virtual void SetKanjiQuadruple(PrinterBuffer& target, bool on) = 0;
    virtual void SelectExtendedMode(PrinterBuffer& target) = 0;
    virtual void SetAutoStatusAll(PrinterBuffer& target, bool on) = 0;
    // timeMs is replaced by 1000 when it is not one of the supported lengths.
    virtual void SoundBuzzerPattern(PrinterBuffer& target, int32_t& timeMs, int32_t buzzerKind, int32_t offset,
                                    int32_t count) = 0;
    virtual void SoundBuzzer(PrinterBuffer& target, int32_t durationMs, int32_t delayMs, int32_t count) = 0;
    virtual bool DrawLineSegments(PrinterBuffer& target, std::span<const LineSegment> segments, int32_t count) = 0;
    virtual bool PrintCurvedText(PrinterBuffer& target, int32_t mode, int32_t position, std::span<const uint8_t> text,
                                 int32_t length) = 0;

protected:
    ICmdHelper() = default;
    ICmdHelper(const ICmdHelper&) = default;
    ICmdHelper& operator=(const ICmdHelper&) = default;
    ~ICmdHelper() = default;
};

}  // namespace QVO::Printer
