// The standard ESC/POS command builder, used by the compatible-printer model class.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "so/cmd/ICmdHelper.h"
#include "so/cmd/PrinterBuffer.h"

namespace QVO::Printer {

// Implements every ICmdHelper operation with standard ESC/POS commands.
//
// Ownership: owned by its model object; buffers passed in belong to the caller. The builder
// keeps only scratch buffers, so copies are independent. Thread safety: not reentrant (the
// scratch buffers); the process-wide cutter distance is an atomic and may be set from any
// thread.
class CCmdHelperBase : public ICmdHelper {
public:
    CCmdHelperBase();
    CCmdHelperBase(const CCmdHelperBase& other);
    CCmdHelperBase& operator=(const CCmdHelperBase& other);
    virtual ~CCmdHelperBase();

    // Head-to-cutter distance in 0.01 mm shared by every builder in the process; the cut
    // operations feed this far before cutting. 0 until a model sets it.
    static void SetCutterDistance(int32_t hundredthsOfMm);
    static int32_t CutterDistance();

    void FrameForPort(PrinterBuffer& target, const PrinterBuffer& source) override;
    bool ParseAutoStatus(std::span<const uint8_t, 4> status, tagPrinterStatus* record) override;
    bool ParsePrinterStatusByte(uint8_t reply, tagPrinterStatus* record) override;
    bool ParseOfflineStatusByte(uint8_t reply, tagPrinterStatus* record) override;
    bool ParsePaperStatusByte(uint8_t reply, tagPrinterStatus* record) override;
    bool ParsePaperSensorByte(uint8_t reply, tagPrinterStatus* record) override;
    bool ParseDrawerByte(uint8_t reply, int32_t* drawerSignal) override;
    int32_t CompareAutoStatus(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored) override;
    bool DrawerBitChanged(uint8_t previous, uint8_t current, bool ignoreChangeFromClear) override;
    bool TestDrawerBit(uint8_t status, bool expectSet) override;
    void ResetCharacterFormat(PrinterBuffer& target) override;
    void HorizontalTab(PrinterBuffer& target) override;
    void LineFeed(PrinterBuffer& target) override;
    void FormFeed(PrinterBuffer& target) override;
    void PrintAndFeedNone(PrinterBuffer& target) override;
    void CancelPageData(PrinterBuffer& target) override;
    void TripleEscape(PrinterBuffer& target) override;
    void RequestRealTimeStatus(PrinterBuffer& target, int32_t n) override;
    int32_t CompareStatusByte(uint8_t fresh, uint8_t& stored, int32_t statusByteKind) override;
    void DrawerStatusCommand(std::span<uint8_t, 3> record) override;
    void RequestStatus(PrinterBuffer& target, int32_t n) override;
    bool RealTimeRequest(PrinterBuffer& target, int32_t n) override;
    void RealTimePulse(PrinterBuffer& target, int32_t unused1, int32_t unused2) override;
    void RealTimeShortCommand(PrinterBuffer& target) override;
    void ClearPrinterBuffers(PrinterBuffer& target) override;
    void EndPage(PrinterBuffer& target) override;
    void CharacterSpacing(PrinterBuffer& target, int32_t dots) override;
    uint8_t SelectPrintModes(PrinterBuffer& target, bool fontB, bool emphasized, bool doubleWidth, bool doubleHeight,
                             bool underline) override;
    void SetAbsolutePosition(PrinterBuffer& target, int32_t dots) override;
    void SelectUserCharacters(PrinterBuffer& target, bool on) override;
    void NoOperation() override;
    bool SelectBitImageMode(PrinterBuffer& target, int32_t m, int32_t n, std::span<const uint8_t> data) override;
    bool SetUnderline(PrinterBuffer& target, int32_t n) override;
    void DefaultLineSpacing(PrinterBuffer& target) override;
    void SetLineSpacing(PrinterBuffer& target, int32_t dots) override;
    void SelectPeripheral(PrinterBuffer& target, bool printerEnabled) override;
    bool CancelUserCharacter(PrinterBuffer& target, int32_t n) override;
    void InitializePrinter(PrinterBuffer& target) override;
    void SetDefaultTabs(PrinterBuffer& target) override;
    void SetTabs(PrinterBuffer& target, std::vector<uint8_t>& stops) override;
    void SetEmphasized(PrinterBuffer& target, bool on) override;
    void SetDoubleStrike(PrinterBuffer& target, bool on) override;
    void FeedNone(PrinterBuffer& target) override;
    void FeedDots(PrinterBuffer& target, int32_t units) override;
    void PrintAndFeedDots(PrinterBuffer& target, int32_t units) override;
    void SelectPageMode(PrinterBuffer& target) override;
    bool SelectCharacterFont(PrinterBuffer& target, int32_t n) override;
    void SelectInternationalSet(PrinterBuffer& target, int32_t n) override;
    uint8_t InternationalSetForCodePage(int32_t codePage) override;
    void SelectStandardMode(PrinterBuffer& target) override;
    uint8_t PageDirectionForRotation(int32_t rotation) override;
    bool SelectPageDirection(PrinterBuffer& target, int32_t n) override;
    void SetRotate90(PrinterBuffer& target, bool on) override;
    void SetPageArea(PrinterBuffer& target, int32_t x, int32_t y, int32_t width, int32_t height) override;
    void SetRelativePosition(PrinterBuffer& target, int32_t dots) override;
    bool SetJustification(PrinterBuffer& target, int32_t n) override;
    void SelectPaperOutSensors(PrinterBuffer& target, int32_t n) override;
    void SelectStopSensors(PrinterBuffer& target, int32_t n) override;
    void EnablePanelButtons(PrinterBuffer& target, bool enable) override;
    void PrintAndFeedLines(PrinterBuffer& target, int32_t n) override;
    bool GeneratePulse(PrinterBuffer& target, int32_t m, int32_t t1, int32_t t2) override;
    bool SelectCodeTable(PrinterBuffer& target, int32_t n) override;
    void SetUpsideDown(PrinterBuffer& target, bool on) override;
    bool SetCharacterSize(PrinterBuffer& target, int32_t width, int32_t height) override;
    bool SetCharacterScale(PrinterBuffer& target, int32_t width, int32_t height) override;
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
    void PrepareSend(PrinterBuffer& target, int32_t value) override;
    bool SelectPrintSpeedMode(PrinterBuffer& target, int32_t n) override;
    bool SelectHeadEnergizing(PrinterBuffer& target, int32_t n) override;
    void BeginNvRasterGraphics(PrinterBuffer& target, bool twoColour, int32_t width, int32_t height, int32_t kc1,
                               int32_t kc2) override;
    uint8_t JustificationForBitmapAlignment(int32_t alignment) override;
    void BeginBufferGraphics(PrinterBuffer& target, int32_t dataLength, int32_t width, int32_t height) override;
    void PrintBufferGraphics(PrinterBuffer& target) override;
    void RequestNvGraphicsCapacity(PrinterBuffer& target, bool totalCapacity) override;
    void PrintNvGraphicsByNumber(PrinterBuffer& target, int32_t number) override;
    void PrintNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2, int32_t x, int32_t y) override;
    void ListNvGraphicsKeys(PrinterBuffer& target) override;
    void DeleteAllNvGraphics(PrinterBuffer& target) override;
    bool DeleteNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2) override;
    void DefineNvGraphics(PrinterBuffer& target, int32_t kc1, int32_t kc2, bool twoColour, int32_t width,
                          int32_t height, std::span<const uint8_t> data) override;
    void StoreWrappedGraphics(PrinterBuffer& target, int32_t width, int32_t height,
                              std::span<const uint8_t> data) override;
    void SelectCharacterColor(PrinterBuffer& target, int32_t n) override;
    bool SetPdf417Columns(PrinterBuffer& target, int32_t n) override;
    bool SetPdf417Rows(PrinterBuffer& target, int32_t n) override;
    bool SetPdf417ModuleWidth(PrinterBuffer& target, int32_t n) override;
    bool SetPdf417RowHeight(PrinterBuffer& target, int32_t n) override;
    bool SetPdf417ErrorLevel(PrinterBuffer& target, int32_t m, int32_t n) override;
    void SetPdf417Options(PrinterBuffer& target, bool truncated) override;
    bool StorePdf417Data(PrinterBuffer& target, std::span<const uint8_t> data) override;
    void PrintPdf417(PrinterBuffer& target) override;
    void RequestPdf417Size(PrinterBuffer& target) override;
    bool SelectQrModel(PrinterBuffer& target, int32_t n) override;
    bool SetQrModuleSize(PrinterBuffer& target, int32_t n) override;
    bool SetQrErrorLevel(PrinterBuffer& target, int32_t n) override;
    bool StoreQrData(PrinterBuffer& target, std::span<const uint8_t> data) override;
    void PrintQr(PrinterBuffer& target) override;
    void RequestQrSize(PrinterBuffer& target) override;
    bool DefineDownloadedImage(PrinterBuffer& target, int32_t x, int32_t y, std::span<const uint8_t> data) override;
    bool PrintDownloadedImage(PrinterBuffer& target, int32_t m) override;
    void BeginMacro(PrinterBuffer& target) override;
    void EndMacro(PrinterBuffer& target) override;
    void ExecuteMacro(PrinterBuffer& target, int32_t repeatCount, int32_t waitTenths, bool continuous) override;
    void SetReversePrinting(PrinterBuffer& target, bool on) override;
    uint8_t HriPositionForTextPosition(int32_t textPosition) override;
    bool SetHriPosition(PrinterBuffer& target, int32_t n) override;
    void RequestPrinterId(PrinterBuffer& target, int32_t n) override;
    void RequestModelId(PrinterBuffer& target) override;
    void RequestTypeId(PrinterBuffer& target) override;
    void RequestFirmwareVersion(PrinterBuffer& target) override;
    void RequestMakerName(PrinterBuffer& target) override;
    void RequestModelName(PrinterBuffer& target) override;
    void RequestSerialNumber(PrinterBuffer& target) override;
    void RequestFontInfo(PrinterBuffer& target) override;
    void SetLeftMargin(PrinterBuffer& target, int32_t dots) override;
    void SetMotionUnits(PrinterBuffer& target, int32_t x, int32_t y) override;
    void FeedAndFullCut(PrinterBuffer& target) override;
    void FeedAndPartialCut(PrinterBuffer& target) override;
    void FeedToCutPosition(PrinterBuffer& target, int32_t n) override;
    void SetPrintAreaWidth(PrinterBuffer& target, int32_t dots) override;
    void SetRelativeVerticalPosition(PrinterBuffer& target, int32_t dots) override;
    void EnableAutoStatusBack(PrinterBuffer& target, int32_t n) override;
    void SetSmoothing(PrinterBuffer& target, bool on) override;
    bool SelectHriFont(PrinterBuffer& target, int32_t n) override;
    bool ResetMaintenanceCounter(PrinterBuffer& target, int32_t n) override;
    bool RequestMaintenanceCounter(PrinterBuffer& target, int32_t n) override;
    uint8_t BarcodeSystemForSymbology(int32_t symbology) override;
    uint8_t JustificationForAlignment(int32_t alignment) override;
    uint8_t HriPositionForTextPositionAll(int32_t textPosition) override;
    int32_t FitBarcodeModuleWidth(int32_t symbology, int32_t requestedWidth, std::span<const uint8_t> data,
                                  int32_t* resultingWidth) override;
    bool AppendBarcode(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t moduleWidth,
                       int32_t justification, int32_t textPosition, int32_t hriFont,
                       std::span<const uint8_t> data) override;
    bool PrintBarcodeData(PrinterBuffer& target, int32_t symbology, std::span<const uint8_t> data) override;
    void SetBarcodeModuleWidth(PrinterBuffer& target, int32_t n) override;
    void SetBarcodeHeight(PrinterBuffer& target, int32_t n) override;
    void RequestPaperSensorStatus(PrinterBuffer& target) override;
    void RequestDrawerStatus(PrinterBuffer& target) override;
    uint8_t SelectKanjiPrintModes(PrinterBuffer& target, bool doubleWidth, bool doubleHeight, bool underline) override;
    void SetKanjiMode(PrinterBuffer& target, bool on) override;
    void SelectCodePage(PrinterBuffer& target, int32_t codePage) override;
    bool SetKanjiUnderline(PrinterBuffer& target, int32_t n) override;
    int32_t NoOperationResult() override;
    bool SelectKanjiCodeSystem(PrinterBuffer& target, int32_t n) override;
    void SetKanjiSpacing(PrinterBuffer& target, int32_t left, int32_t right) override;
    void SetKanjiQuadruple(PrinterBuffer& target, bool on) override;
    void SelectExtendedMode(PrinterBuffer& target) override;
    void SetAutoStatusAll(PrinterBuffer& target, bool on) override;
    void SoundBuzzerPattern(PrinterBuffer& target, int32_t& timeMs, int32_t buzzerKind, int32_t offset,
                            int32_t count) override;
    void SoundBuzzer(PrinterBuffer& target, int32_t durationMs, int32_t delayMs, int32_t count) override;
    bool DrawLineSegments(PrinterBuffer& target, std::span<const LineSegment> segments, int32_t count) override;
    bool PrintCurvedText(PrinterBuffer& target, int32_t mode, int32_t position, std::span<const uint8_t> text,
                         int32_t length) override;

protected:
    // Framed blocks: header, a length field, then the body (function byte or cn/fn, data).
    void AppendFramed16(PrinterBuffer& target, std::initializer_list<uint8_t> header,
                        std::initializer_list<uint8_t> lead, std::span<const uint8_t> data);
    void AppendFramed32(PrinterBuffer& target, std::initializer_list<uint8_t> lead, std::span<const uint8_t> data);
    // GS ( k cn fn 0x30 data.
    void Append2dFunction(PrinterBuffer& target, uint8_t cn, uint8_t fn, std::span<const uint8_t> data);
    // GS ( E fn 5 with one setting triple a nL nH.
    void AppendSettingTriple(PrinterBuffer& target, uint8_t a, int32_t value);
    // One step of comparing an automatic status block with a stored copy: the first field that
    // differs is copied into stored and its status update value returned (0 when none differs).
    // Fields in order: cover (0x20 of coverByte), the 0x08 flag of flagByte (skipped when
    // flagByte < 0), paper end and near end (the 0x0C and 0x03 pairs of paperByte).
    static int32_t CompareStatusFields(std::span<const uint8_t, 4> fresh, std::span<uint8_t, 4> stored, int coverByte,
                                       int flagByte, int paperByte);
    // The symbol width in dots of module width b, or -1 when the symbology has no rule for b.
    static int32_t BarcodeSymbolWidth(int32_t symbology, int32_t b, std::span<const uint8_t> data);
    // The barcode sequence, with or without the justification step; checks the data first so
    // that a refused barcode leaves no setup commands behind.
    bool AppendBarcodeSteps(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t moduleWidth,
                            int32_t justification, int32_t textPosition, int32_t hriFont, std::span<const uint8_t> data,
                            bool withJustification);
    // Bytes of one raster plane (rows of whole bytes) for a raster whose width and height go
    // out in 16-bit fields; false when either does not fit such a field, because the length the
    // command announces would then differ from the data that follows it.
    static bool RasterPlaneSize(int32_t width, int32_t height, size_t& planeSize);
    // The bytes of one colour plane of a raster, padded with zeros when data is short.
    static void AppendPlane(PrinterBuffer& target, std::span<const uint8_t> data, size_t offset, size_t planeSize);

    PrinterBuffer tabStops_{256, 32};  // the default tab-stop command, built once
    PrinterBuffer body_{32, 32};       // body of a framed command
    PrinterBuffer block_{512, 32};     // a whole command assembled before it is appended

private:
    static std::atomic<int32_t> s_cutterDistance;
};

}  // namespace QVO::Printer
