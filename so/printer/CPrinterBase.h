// The printer engine: one printer's state machine, output path, status monitoring and
// properties. Split across files by concern (CPrinterBase_*.cpp); model classes derive from it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/sync/Mutex.h"
#include "so/cmd/ICmdHelper.h"
#include "so/cmd/PrinterBuffer.h"
#include "so/cmd/PrinterStatus.h"
#include "so/base/TaskThreadControl.h"
#include "so/io/IPort.h"
#include "so/io/PortEnvironment.h"
#include "so/printer/DeviceParameters.h"
#include "so/printer/EngineCodes.h"
#include "so/printer/EngineWorkState.h"
#include "so/printer/IPrinterEventHandle.h"

namespace QVO::Printer {

class CPrinterPort;
class CPrinterEventObject;
class CPrinterTaskThreadContext;

// The engine's OPOS state. Plain fields, as every engine operation runs on the calling
// thread of the COM object that owns the engine (the class is apartment-threaded); the output
// worker reaches only the port holder, the event object and the fields marked "worker" below,
// which are atomic or written before the worker starts.
//
// Ownership: the COM object owns the engine from open to close. The engine owns its port
// holder (shared with the output tasks), its event object (shared with the worker) and its
// output context; the model class owns its command builder, the engine holds a pointer.
// Calling order: SetPortSettings, OpenServiceW, ClaimDevice, DeviceEnable(1), work,
// DeviceEnable(0), ReleaseDevice, CloseService; the last two also walk back by themselves.
class CPrinterBase {
public:
    explicit CPrinterBase(std::wstring modelName);
    virtual ~CPrinterBase();
    CPrinterBase(const CPrinterBase&) = delete;
    CPrinterBase& operator=(const CPrinterBase&) = delete;

    // --- model hooks, in their fixed order ---
    virtual void SetProperty_Open();
    virtual void InitCmdHelper() = 0;
    virtual int32_t IsSupportBidi() = 0;

    // --- lifecycle (CPrinterBase_Lifecycle.cpp) ---
    // Builds the port for `settings` and a new port holder. pRC 0, or the failure.
    int32_t SetPortSettings(IO::IPortSettings& settings, int32_t* pRC);
    int32_t OpenServiceW(const wchar_t* deviceName, IPrinterEventHandle* events, int32_t* pRC);
    int32_t CloseService(int32_t* pRC);
    int32_t ClaimDevice(int32_t timeoutMs, int32_t* pRC);
    // 1 when the state changed.
    int32_t DeviceEnable(int32_t enable);
    int32_t ReleaseDevice(int32_t* pRC);
    int32_t DirectIO(int32_t command, int32_t* pData, std::wstring* pString, int32_t* pRC);
    // Records an engine result: up to 200 it is ResultCode with extended 0, above it
    // ResultCode is OPOS_E_EXTENDED with the value as extended code. Returns ResultCode.
    int32_t SetRC(int32_t rc);

    // --- output (CPrinterBase_Output.cpp) ---
    int32_t ClearOutput(int32_t* pRC);
    // Lets the output worker write a held output again (the application answered retry).
    void Retry();
    int32_t IsIdle();
    int32_t IsBusy();
    int32_t IsDirectSend();

    // --- status (CPrinterBase_Status.cpp) ---
    // Polls and reports: -1 when the printer cannot answer at all, else 0.
    int32_t GetPrinterState(bool force);
    int32_t GetDrawerOpenState(int32_t unused, int32_t* valid);
    void RaiseStateUpdateEvent(int32_t status);

    // --- properties by OPOS index (CPrinterBase_Properties.cpp) ---
    // A number the engine does not keep reads 0; setting it answers OPOS_E_ILLEGAL.
    int32_t GetPropertyNumber(int32_t index, int32_t* value);
    int32_t SetPropertyNumber(int32_t index, int32_t value, int32_t* pRC);
    int32_t GetPropertyString(int32_t index, std::wstring* value);
    int32_t SetPropertyString(int32_t index, const std::wstring& value, int32_t* pRC);

    // --- print methods (CPrinterBase_Print.cpp); the station was checked by the caller ---
    int32_t PrintNormal(int32_t station, const std::wstring& data, int32_t* pRC);
    int32_t PrintImmediate(int32_t station, const std::wstring& data, int32_t* pRC);
    int32_t CutPaper(int32_t percentage, int32_t* pRC);
    // Methods whose formatting code is not part of this engine yet: they answer
    // OPOS_E_EXTENDED with kExtUnsupported and send nothing.
    int32_t PrintBarCode(int32_t station, const std::wstring& data, int32_t symbology, int32_t height, int32_t width,
                         int32_t alignment, int32_t textPosition, int32_t* pRC);
    int32_t PrintBitmap(int32_t station, const std::wstring& fileName, int32_t width, int32_t alignment, int32_t* pRC);
    int32_t PrintMemoryBitmap(int32_t station, const std::wstring& data, int32_t type, int32_t width, int32_t alignment,
                              int32_t* pRC);
    int32_t SetBitmap(int32_t number, int32_t station, const std::wstring& fileName, int32_t width, int32_t alignment,
                      int32_t* pRC);
    int32_t SetLogo(int32_t location, const std::wstring& data, int32_t* pRC);
    int32_t RotatePrint(int32_t station, int32_t rotation, int32_t* pRC);
    int32_t TransactionPrint(int32_t station, int32_t control, int32_t* pRC);
    int32_t ClearPrintArea(int32_t* pRC);
    int32_t PageModePrint(int32_t control, int32_t* pRC);
    int32_t PrintLine(int32_t station, const std::wstring& positionList, int32_t* pRC);
    int32_t PrintCurveText(int32_t station, int32_t textNumber, int32_t textHorizontalPos, const std::wstring& textData,
                           int32_t* pRC);
    int32_t CheckHealth(int32_t level, int32_t* pRC);
    // --- transactions, validation and line drawing (CPrinterBase_Print.cpp, _LineDrawing.cpp) ---
    // 0 when the printer can carry out every sequence of data, else 106 (nothing is sent).
    int32_t ValidateData(int32_t station, const std::wstring& data, int32_t* pRC);
    std::wstring CheckHealthText() const { return checkHealthText_; }
    // The image storage mode; the service object sets 1 after every open.
    void BitMapMode(int32_t mode) { bitmapMode_ = mode; }

    // --- cash drawer (CPrinterBase_Drawer.cpp) ---
    void SetupCashDrawer(int32_t pins, int32_t openVoltage, int32_t confirmOpen, int32_t onTime, int32_t offTime,
                         int32_t closeTimeoutMs);
    void SetCashDrawerMode(int32_t on);
    void SetPrinterMode(int32_t on);
    int32_t OpenDrawer(int32_t* pRC);
    int32_t WaitForDrawerClose(int32_t beepTimeoutMs, int32_t beepFrequency, int32_t beepDurationMs,
                               int32_t beepDelayMs, int32_t* pRC);

    // --- health check and statistics (CPrinterBase_Health.cpp, CPrinterBase_Statistics.cpp) ---
    // CheckHealth with the interactive question already asked: the COM layer asks it outside
    // its service lock, so that the box blocks the calling thread only. `confirmed`: the
    // operator answered OK (not looked at for the other levels).
    int32_t CheckHealthAnswered(int32_t level, bool confirmed, int32_t* pRC);
    // The interactive level's question, through the message-box hook; true when answered OK.
    static bool AskInteractiveHealthCheck(const wchar_t* deviceClass);
    // The name of an OPOS result code in health-check texts ("Successful", "OPOS_E_BUSY", ...).
    static std::string GetStatusString(int32_t resultCode);
    // Prints NUL-terminated bytes through the interpreter, without the paper check and the
    // code-page conversion, written at once whatever AsyncMode says. The send result.
    int32_t printImmediate(const char* text);
    // Statistics are not kept: each answers OPOS_E_EXTENDED with kExtUnsupported.
    int32_t ResetStatistics(const std::wstring& names, int32_t* pRC);
    int32_t RetrieveStatistics(std::wstring* statistics, int32_t* pRC);
    int32_t UpdateStatistics(const std::wstring& values, int32_t* pRC);
    struct StatisticEntry {
        const wchar_t* name;
        const wchar_t* value;  // the counters read "0"
    };
    // The UnifiedPOS statistics of this printer, in their fixed order.
    static std::span<const StatisticEntry> StatisticsTable();

    // --- state read by the COM layer and the properties ---
    bool IsOpened() const { return opened_; }
    bool IsClaimed() const { return claimed_; }
    bool IsDeviceEnabled() const { return deviceEnabled_; }
    int32_t ResultCode() const { return resultCode_; }
    int32_t ResultCodeExtended() const { return resultCodeExtended_; }
    int32_t ErrorCode() const;
    std::wstring ErrorInformation() const;
    bool IsInErrorState() const { return coverOpen_.load() != 0 || recEmpty_.load() != 0; }
    bool CoverOpen() const { return coverOpen_.load() != 0; }
    bool RecEmpty() const { return recEmpty_.load() != 0; }
    bool RecNearEnd() const { return recNearEnd_.load() != 0; }
    bool IsBidirectional() const { return bidirectional_; }
    bool IsAsbInUse() const { return asbInUse_; }
    const std::wstring& DeviceName() const { return deviceName_; }
    const std::wstring& FirmwareText() const { return firmwareText_; }
    const std::wstring& MakerText() const { return makerText_; }
    const std::wstring& ModelName() const { return modelName_; }
    const DeviceParameters& Parameters() const { return parameters_; }
    int32_t AsyncMode() const { return asyncMode_; }
    void SetAsyncMode(int32_t on) { asyncMode_ = on != 0 ? 1 : 0; }
    int32_t CharacterSet() const { return characterSet_; }
    // The registry's code page, stored by the COM layer before open.
    void SetConfiguredCodePage(int32_t codePage) { configuredCodePage_ = codePage; }
    // Where the ports look for devices and locks (tests point it at temporary folders).
    void SetPortEnvironment(IO::PortEnvironment environment) { portEnvironment_ = std::move(environment); }
    // The output worker's pauses (tests shorten them); takes effect at the next open.
    void SetOutputTiming(BASE::TaskThreadTiming timing) { outputTiming_ = timing; }
    ICmdHelper* CmdHelper() const { return cmd_; }

protected:
    // --- output ---
    // Hands a finished command stream to the printer: queued in asynchronous mode, written
    // at once otherwise. An OPOS result code.
    int32_t Send(PrinterBuffer& buffer, int32_t urgent);
    // Writes at once on the calling thread, with the status poll held off meanwhile.
    int32_t DirectSend(PrinterBuffer& buffer, int32_t expectReply, uint8_t expectedLength);
    // Moves pending setting commands in front of the output (none are pending yet).
    void set_printerSettings(PrinterBuffer& buffer);

    // --- timed reads of the printer's answers (CPrinterBase_Replies.cpp) ---
    int32_t ReadData(uint8_t* destination, int32_t position, int32_t maxLength, int32_t* count, int32_t timeoutMs,
                     uint8_t startMarker, uint8_t endMarker);
    // The bytes before an end marker; the end marker itself is not stored.
    int32_t ReadData(uint8_t* destination, int32_t position, int32_t maxLength, int32_t* count, int32_t timeoutMs,
                     uint8_t endMarker);
    // Exactly maxLength bytes, or what came before the deadline.
    int32_t ReadData(uint8_t* destination, int32_t position, int32_t maxLength, int32_t* count, int32_t timeoutMs);
    int32_t SendAndReadData(PrinterBuffer& buffer, uint8_t* reply, int32_t offset, int32_t length, int32_t* count);
    // Writes the request at once, then reads the answer up to its end marker (after its start
    // marker in the second form), within the reply time-out.
    int32_t SendAndReadString(PrinterBuffer& buffer, uint8_t* reply, int32_t maxLength, int32_t* count,
                              uint8_t endMarker);
    int32_t SendAndReadString(PrinterBuffer& buffer, uint8_t* reply, int32_t maxLength, int32_t* count,
                              uint8_t startMarker, uint8_t endMarker);

    // --- claim steps ---
    int32_t ExecuteClaimDevice();
    int32_t RefreshPrinterInfo();

    // --- initialisers ---
    void InitProperty();
    void SetFont(int32_t fontIndex);

    // --- text conversion (CPrinterBase_Convert.cpp) ---
    // Wide text to bytes: the CharacterSet's code page (with its substitutions) or, under
    // BinaryConversion, the system ANSI code page. Returns the byte count; writes at most
    // outputSize bytes when output is given. *codePage (may be null) receives the code page
    // used, 0 under BinaryConversion.
    int32_t BStr2Char(std::wstring_view text, uint8_t* output, int32_t outputSize, int32_t* codePage);
    // Appends NUL-terminated bytes decoded by BinaryConversion (none, nibble, decimal).
    void DataBinaryConversion2(PrinterBuffer& target, const uint8_t* bytes);
    void DataBinaryConversion(PrinterBuffer& target, std::wstring_view text, int32_t* codePage);
    // The code page text of `characterSet` is converted with (0: none the platform knows).
    static int32_t ConversionCodePage(int32_t characterSet);

    // --- the escape-sequence interpreter (CPrinterBase_Interpreter.cpp, _Sequences.cpp) ---
    // Turns text with OPOS escape sequences into commands appended to target. Returns 0,
    // OPOS_E_ILLEGAL (a value the printer cannot carry out) or OPOS_E_FAILURE (a sequence
    // printed as text). Validate-only stops at the first problem; target is then scratch.
    int32_t FormatStringToOutBuffer(PrinterBuffer& target, std::span<const uint8_t> input, bool validateOnly);
    // Standard-mode formatting reset in front of transaction text.
    void ClearFormatInStd(PrinterBuffer& target);

    // --- character formatting and line metrics (CPrinterBase_Metrics.cpp) ---
    static constexpr uint8_t kNoFontFits = 0xFF;
    int32_t SelectFont(int32_t charsPerLine);
    int32_t SelectMinFont();
    int32_t SetRecLineChars(int32_t charsPerLine, int32_t* pRC);
    int32_t GetRecLineWidth();
    uint8_t GetRecLineSpacing();
    int32_t H2V(int32_t dots);
    int32_t DOT2MapNumber_H(int32_t dots);
    int32_t DOT2MapNumber_V(int32_t units);
    int32_t MapNumber2DOT_H(int32_t value);
    int32_t MapNumber2DOT_V(int32_t value);
    int32_t metric2MapNumber(int32_t hundredthsMm);
    int32_t MapNumber2metric(int32_t value);
    void SelectPrintMode(PrinterBuffer& target, bool bold, bool italic, bool doubleWidth, bool doubleHeight,
                         bool underline, bool fontB);
    static int32_t IsBold(uint8_t mode) { return (mode >> 3) & 1; }
    static int32_t IsFontB(uint8_t mode) { return mode & 1; }
    static int32_t IsUnderline(uint8_t mode) { return (mode >> 7) & 1; }
    static int32_t IsDoubleHeight(uint8_t mode, bool kanji) { return (mode >> (kanji ? 3 : 4)) & 1; }
    static int32_t IsDoubleWidth(uint8_t mode, bool kanji) { return (mode >> (kanji ? 2 : 5)) & 1; }
    // Positions a line for alignment letter c/l/r: in page mode or rotated printing, and
    // one segment of a standard-mode line.
    void SelectHPos(PrinterBuffer& target, uint8_t alignment, int32_t lineWidth);
    // --- page-mode text lines (CPrinterBase_PageModeText.cpp places them with this) ---
    // SelectHPos with the start of a left-aligned line given in dots: the page-mode horizontal
    // position for a line that begins there, 0 for the lines text wraps onto.
    void SelectHPos(PrinterBuffer& target, uint8_t alignment, int32_t lineWidth, int32_t horizontalPosition);
    void SelectHPosInStd(PrinterBuffer& target, uint8_t alignment, int32_t segmentWidth);
    // A 1-bit raster (rows of width / 8 bytes) as 8-dot columns.
    void ToColumnFormat(PrinterBuffer& target, std::span<const uint8_t> raster, int32_t width, int32_t height);
    // The standard setup at the head of every output: mode 3 standard, mode 1 page mode.
    void InitOutBufferWithPMControl(PrinterBuffer& target, int32_t mode);
    // Sideways and collecting modes; page mode and rotated printing set their flags.
    bool IsInPrinterPageMode() const { return pageMode_ || rotateRight_ || rotateLeft_; }
    bool IsInRotateMode() const { return rotateRight_ || rotateLeft_ || upsideDown_; }
    bool IsInRotate90Mode() const { return rotateRight_ || rotateLeft_ || (pageMode_ && pageSideways_); }
    // The collecting buffer: rotated printing's, else page mode's, else the transaction's;
    // null when output goes straight to the printer.
    PrinterBuffer* CurrentPrinterBuffer();

    // --- barcodes, object placement, page mode (CPrinterBase_Barcode.cpp, _Code128.cpp, _Symbol2D.cpp,
    // _Object.cpp, _PageMode.cpp) ---
    // FormatObject's align: 0 left, 1 centre, 2 right, or this for an explicit position xPos (dots).
    static constexpr char kObjectAtPosition = static_cast<char>(0xFF);
    // Places a finished object of width x height dots into out, on the line, in the page-mode
    // area or around a rotation; followsRotation: the object turns with the rotation. Returns 0.
    int32_t FormatObject(PrinterBuffer& out, const PrinterBuffer& object, int32_t width, int32_t height, char align,
                         int32_t xPos, int32_t followsRotation);
    // The complete, positioned barcode appended to out: 0, else OPOS_E_ILLEGAL and out unchanged.
    // data holds the converted bytes and may be rewritten (Code 128 code sets).
    int32_t FormatBarcode(PrinterBuffer& out, PrinterBuffer& data, int32_t symbology, int32_t height, int32_t width,
                          int32_t alignment, int32_t textPosition);
    // Code 128 data rewritten in place into the GS k notation ("{A", "{B", "{C"); 1, or 0 refused.
    int32_t convert_bar_code_code128(PrinterBuffer& data);
    int32_t convert_bar_code_code128_Parsed(PrinterBuffer& data);
    // Trial encodings of the bytes as the printer will receive them: the QR module size for
    // heightDots (and the symbol width), or the PDF417 columns, module width and row height.
    static int32_t MeasureQRCode(const uint8_t* data, int32_t length, int32_t heightDots, int32_t* symbolWidth,
                                 int32_t* error);
    static void FitPDF417(const uint8_t* data, int32_t length, int32_t heightDots, int32_t widthDots, int32_t* columns,
                          int32_t* moduleWidth, int32_t* rowHeight, int32_t* symbolWidth, int32_t* error);
    // Page mode: the direction and the print area (x, y, width, height in dots) and the checks on them.
    int32_t SetPageModePrintDirection(int32_t direction);
    int32_t ValidatePageModePrintArea(int32_t x, int32_t y, int32_t width, int32_t height) const;
    bool PageModePrintAreaIsEffective() const { return printArea_[2] != 0 && printArea_[3] != 0; }
    bool GetValueInPageModeAreaString(const std::wstring& text, int32_t* x, int32_t* y, int32_t* width,
                                      int32_t* height) const;
    // The rotation value RotateSpecial keeps, after carrying the rotation out.
    int32_t SetRotation(int32_t rotation);
    // Page mode and rotation back to their state at open (the property table calls it).
    void ResetPageMode();
    // The whole page in dots: the line width by the model's page height unless set otherwise.
    int32_t PageAreaWidth() const { return pageAreaWidth_ != 0 ? pageAreaWidth_ : recLineWidth_; }
    int32_t PageAreaHeight() const { return pageAreaHeight_ != 0 ? pageAreaHeight_ : parameters_.pageHeight; }
    // The page (PageModePrint 2 and 3) and the end of a sideways block, to the printer or the transaction.
    void PrintPage();
    void EndSidewaysRotation(int32_t rotation);
    // The page-mode properties: engine values behind the property table (numbers in dots).
    int32_t GetPageModeNumber(int32_t index, int32_t* value);
    int32_t SetPageModeNumber(int32_t index, int32_t value, int32_t* pRC);
    int32_t GetPageModeString(int32_t index, std::wstring* value);
    int32_t SetPageModeString(int32_t index, const std::wstring& value, int32_t* pRC);

    int32_t pageModeDirection_ = 1;
    int32_t pageModeStation_ = 0;
    int32_t rotateSpecial_ = 1;
    bool barcodeRotation_ = false;
    bool bitmapRotation_ = false;
    // The print area in dots (x, y, width, height), its text as set, and the ESC W still owed.
    std::array<int32_t, 4> printArea_{};
    std::wstring printAreaText_ = L"0,0,0,0";
    bool printAreaPending_ = false;
    PrinterBuffer pageModeBuffer_;
    PrinterBuffer rotationBuffer_;
    // Objects that do not turn with a sideways rotation: printed ahead of the rotated block.
    PrinterBuffer rotationObjectBuffer_;
    PrinterBuffer barcodeData_;
    PrinterBuffer barcodeCommand_;
    PrinterBuffer code128Digits_;
    PrinterBuffer code128Output_;
    // FormatObject's positioning prefix: one per engine, as engines run on different threads.
    PrinterBuffer objectPrefix_;

    // For the model classes: their destructors call it first, as the output worker calls the
    // builder they own until it has stopped.
    void StopOutputWorker();

    // For the model classes.
    void SetCmdHelper(ICmdHelper* helper) { cmd_ = helper; }
    DeviceParameters& MutableParameters() { return parameters_; }
    void SetDeviceName(std::wstring name) { deviceName_ = std::move(name); }
    void SetDeviceDescription(std::wstring text) { deviceDescription_ = std::move(text); }
    void SetFirmwareText(std::wstring text) { firmwareText_ = std::move(text); }
    void SetMakerText(std::wstring text) { makerText_ = std::move(text); }
    void SetCharacterSet(int32_t codePage) { characterSet_ = codePage; }
    // For formatting without a port (fuzzing): the property setter refuses a closed engine.
    void SetBinaryConversionValue(int32_t value) { binaryConversion_ = value; }
    void SetBidirectional(bool on) { bidirectional_ = on; }
    // The maker's own model: its output is framed and always written at once.
    void SetFramedModel(bool framed) { framedModel_ = framed; }
    int32_t ConfiguredCodePage() const { return configuredCodePage_; }
    bool IsUsbPrinterClassPort() const { return portIsUsbPrinterClass_; }
    bool IsParallelPort() const { return isLpt_; }

private:
    friend class CPrinterBaseTestAccess;

    // Print-method checks and the plain text path (CPrinterBase_Print.cpp).
    bool RefusedAsBusy(int32_t* pRC);
    bool RefusedForPaper(int32_t* pRC);
    int32_t AnswerUnsupported(int32_t* pRC);

    // Lifecycle steps shared by disable, release and close.
    void StopOutput();
    bool ProbeStatusAnswer();
    int32_t ReadPrinterInfoText(int32_t request, bool selectFirst, std::string& text);
    void ReadStatusAtEnable();
    // One status query and report; true when the printer answered.
    bool PollPrinterState(bool force) QUVO_EXCLUDES(pollMutex_);
    int32_t SendControl(PrinterBuffer& buffer);
    // The output worker could not write output `outputId`: record why and tell the application.
    void OnOutputFailed(int32_t outputId);
    void ClearCollectingBuffers();

    // Status readers (CPrinterBase_Status.cpp).
    bool GetPrinterStateByASB(tagPrinterStatus& status);
    bool GetPrinterStateByRealTime(tagPrinterStatus& status, bool onlyFirst);
    bool GetPrinterStateBySendCmd(tagPrinterStatus& status, bool drawerOnly);
    bool QueryOnce(tagPrinterStatus& status);
    void ReportForced(const tagPrinterStatus& status) QUVO_REQUIRES(pollMutex_);
    void StoreStatusFlags(const tagPrinterStatus& status) QUVO_REQUIRES(pollMutex_);
    bool RequestAndReadByte(PrinterBuffer& request, uint8_t& answer);
    void ReportChanges(const tagPrinterStatus& status) QUVO_REQUIRES(pollMutex_);

    // --- identity ---
    const std::wstring modelName_;
    std::wstring deviceName_;
    std::wstring deviceDescription_;
    std::wstring firmwareText_;
    std::wstring makerText_;
    DeviceParameters parameters_;
    ICmdHelper* cmd_ = nullptr;

    // --- port and output ---
    // Taken from the process environment unless a test sets its own.
    IO::PortEnvironment portEnvironment_ = IO::PortEnvironment::FromProcess();
    std::wstring portType_;
    std::shared_ptr<CPrinterPort> port_;
    std::shared_ptr<CPrinterEventObject> events_;
    std::shared_ptr<CPrinterTaskThreadContext> output_;
    BASE::TaskThreadTiming outputTiming_;
    bool isUsb_ = false, isCom_ = false, isLpt_ = false, isTcp_ = false;
    bool portIsUsbPrinterClass_ = false;

    // --- lifecycle state ---
    bool opened_ = false;
    bool claimed_ = false;
    bool deviceEnabled_ = false;
    bool bidirectional_ = true;
    bool asbInUse_ = false;
    bool framedModel_ = false;
    int32_t claimTimeoutMs_ = 0;
    int32_t resultCode_ = 0;
    int32_t resultCodeExtended_ = 0;
    // Written by the output worker when an output fails, read by the application's thread.
    mutable Platform::Mutex errorMutex_;
    int32_t lastErrorCode_ QUVO_GUARDED_BY(errorMutex_) = 0;
    std::wstring errorInformation_ QUVO_GUARDED_BY(errorMutex_);
    void SetError(int32_t code, std::wstring text);

    // --- properties set at open ---
    int32_t asyncMode_ = 0;
    int32_t characterSet_ = 437;
    int32_t configuredCodePage_ = 437;
    // Status flags: written by the status poll on the worker, read by the application.
    std::atomic<int32_t> coverOpen_{0};
    std::atomic<int32_t> recEmpty_{1};
    std::atomic<int32_t> recNearEnd_{1};
    int32_t recLineChars_ = 48;
    int32_t recLineHeight_ = 24;
    int32_t recLineSpacing_ = 36;
    int32_t recLinesToPaperCut_ = 5;
    int32_t recLineWidth_ = 576;
    int32_t recSidewaysMaxChars_ = 138;
    int32_t recSidewaysMaxLines_ = 17;
    int32_t currentFont_ = 0;
    int32_t mapMode_ = 1;
    int32_t binaryConversion_ = 0;

    // --- status cache ---
    // One status poll at a time: the output worker's idle poll and an application's (enable,
    // drawer) would otherwise both rewrite the cache. Lock order: this, the status lock, a
    // port holder's lock.
    Platform::Mutex pollMutex_;
    tagPrinterStatus cached_ QUVO_GUARDED_BY(pollMutex_){};
    // The drawer state of the cache, for the drawer query that runs inside a poll.
    std::atomic<int32_t> cachedDrawerOpen_{0};
    // Mode bits and drawer settings: written by the application's thread, read by the poll.
    std::atomic<int32_t> modeBits_{0};
    std::atomic<int32_t> openVoltage_{1};
    int32_t drawerPins_ = 1;
    int32_t confirmOpen_ = 0;
    int32_t pulseOnTime_ = 16;
    int32_t pulseOffTime_ = 16;
    int32_t drawerCloseTimeoutMs_ = 60000;
    int32_t bitmapMode_ = 0;
    std::wstring checkHealthText_;

    // Scratch buffers: the control buffer for the engine's own commands and the reply area.
    PrinterBuffer control_;
    std::array<uint8_t, 255> reply_{};
    std::array<uint8_t, 256> statusReply_{};

    // --- text formatting (CPrinterBase_Convert/_Interpreter/_Sequences/_Metrics.cpp) ---
    friend class EscapeInterpreter;
    friend class CPrinterFormatTestAccess;
    // Hooks for the pieces that come later; each says what it does until then.
    bool IsBitmapStored(int32_t number) const;
    bool FormatSettedBitmap(PrinterBuffer& target, int32_t number);
    bool FormatBarcode(PrinterBuffer& target, int32_t symbology, int32_t height, int32_t width, int32_t alignment,
                       int32_t textPosition, std::span<const uint8_t> data);
    // ESC|nE data: into a transaction, else straight to the printer ahead of the call's output.
    void PassThroughEscapeData(std::span<const uint8_t> data);
    int32_t PrintFormatted(const std::wstring& data, int32_t* pRC, bool immediate);

    // Current font and print modes.
    int32_t charWidth_ = 12;
    int32_t charHeight_ = 24;
    int32_t defaultFont_ = 0;
    int32_t defaultUnderline_ = 1;
    int32_t recLetterQuality_ = 0;
    bool kanjiMode_ = false;
    uint8_t printModeByte_ = 0;
    uint8_t kanjiPrintModeByte_ = 0;
    // Settings changed since the last output; set_printerSettings sends and clears them.
    bool characterSetChanged_ = false;
    bool fontChanged_ = false;
    bool lineSpacingChanged_ = false;
    bool lineWidthChanged_ = false;
    bool letterQualityChanged_ = false;
    bool upsideDownChanged_ = false;
    // Page mode and rotation state (set by the page-mode code; off until it exists).
    bool pageMode_ = false;
    bool pageSideways_ = false;
    bool rotateRight_ = false;
    bool rotateLeft_ = false;
    bool upsideDown_ = false;
    int32_t pageModeHorizontalPosition_ = 0;
    int32_t pageModeVerticalPosition_ = 0;
    int32_t pageAreaWidth_ = 0;
    int32_t pageAreaHeight_ = 0;
    // Kept between interpreter calls.
    int32_t lineOpen_ = 0;
    int32_t openLinePosition_ = 0;
    int32_t widestLine_ = 0;
    int32_t linesHeight_ = 0;
    int32_t pageVerticalTotal_ = 0;
    // The print methods' buffers.
    PrinterBuffer pendingSettings_{512};
    PrinterBuffer textInput_{32};
    PrinterBuffer formatted_;
    PrinterBuffer direct_{2048};
    PrinterBuffer lineBuffer_;
    PrinterBuffer topLogo_{512};
    PrinterBuffer bottomLogo_{512};
    // Resets the formatting state at open.
    void ResetFormatting();

    // --- the property table (CPrinterBase_Properties.cpp, _PropertyStrings.cpp) ---
    int32_t StoredNumber(int32_t index);
    int32_t CapabilityValue(int32_t index);
    int32_t SetCharacterSetProperty(int32_t value);
    static bool IsListedCharacterSet(int32_t value);
    int32_t slpLetterQuality_ = 0;
    int32_t recCurrentCartridge_ = 1;

    // --- transactions and line drawing (CPrinterBase_Print.cpp, _LineDrawing.cpp) ---
    bool transaction_ = false;
    PrinterBuffer transactionBuffer_{2048};
    PrinterBuffer lineList_;
    PrinterBuffer curveText_;
    // Leaves page mode and rotated printing before a transaction begins or ends.
    void LeaveCollectingModes();
    // Where PrintLine, PrintCurveText and CutPaper write: the collecting buffer, else the
    // direct buffer, cleared.
    PrinterBuffer& DrawingTarget();
    // Sends target when output goes straight to the printer; the result through SetRC.
    int32_t SendIfDirect(PrinterBuffer& target);
    // The checks PrintLine and PrintCurveText share; true when the call must stop here.
    bool RefusedForDrawing(bool argumentUsable, int32_t* pRC);
    bool RefusedAsBusyOutsideTransaction(int32_t* pRC);
    // BStr2Char without a code-page report, then DataBinaryConversion2, into target.
    void ConvertArgument(PrinterBuffer& target, const std::wstring& text);

    // --- bitmaps and logos (CPrinterBase_Bitmap.cpp) ---
    friend class CPrinterBitmapTestAccess;
    std::array<BitmapSlot, kBitmapSlotCount> bitmapSlots_;
    // number - 1 of the slot whose image went into the printer with GS *, else kNoBitmap.
    uint8_t downloadedBitmap_ = kNoBitmap;
    // Every slot empty and nothing downloaded, as at open.
    void ResetBitmaps();

    // --- character sets 997 and 999 (CPrinterBase_Unicode.cpp) ---
    // 997, and 999 when the model has no table for the system ANSI code page: the text reaches
    // the interpreter as UTF-8 and goes out in runs, each in a code table of the model.
    bool UsesUnicodeRuns() const;
    // The application's text as UTF-8 for those runs (999: limited to the ANSI page first).
    std::string UnicodeRunText(std::wstring_view text) const;
    // BStr2Char's bytes and code-page report, converted once (CPrinterBase_Convert.cpp).
    std::string ConvertedText(std::wstring_view text, int32_t* codePage) const;
    // The interpreter's side: a call begins, takes text bytes, ends. AppendUnicodeByte appends
    // a finished character's bytes to line (after an ESC t switch when the table changes) and
    // returns the character cells it took (0 while a character is incomplete).
    void BeginUnicodeRuns();
    int32_t AppendUnicodeByte(PrinterBuffer& line, uint8_t byte);
    // A character left incomplete prints as '?'; the CharacterSet's own selection comes back.
    int32_t EndUnicodeRuns(PrinterBuffer& line);
    int32_t AppendUnicodeCharacter(PrinterBuffer& line, char32_t character);
    UnicodeRuns unicodeRuns_;
    // The size an image file gets for widthDots (-11: its own width), rounded up to whole
    // bytes; the raster itself in the second. 0, or the OPOS result (109 missing, 106 not an
    // image, 114/206 too large).
    int32_t GetBitmapInfo(const std::wstring& fileName, int32_t* width, int32_t* height, int32_t widthDots,
                          int32_t granularity);
    int32_t GetBitmapData(const std::wstring& fileName, PrinterBuffer& raster, int32_t* width, int32_t* height,
                          int32_t granularity, int32_t widthDots);
    // 1 when an object of width x height dots at xPos fits where it would print now.
    int32_t VerifyObjectSize(int32_t width, int32_t height, int32_t xPos, int32_t followsRotation);
    // An Alignment argument as FormatObject's align code and position in dots.
    void BitmapPlacement(int32_t alignment, char* align, int32_t* xPos);
    // The raster commands for the printer's graphics buffer.
    void AppendBufferGraphics(PrinterBuffer& out, const PrinterBuffer& raster, int32_t width, int32_t height);
    int32_t CheckPrintBitmapArguments(int32_t widthDots, int32_t alignment);
    int32_t CheckSetBitmapArguments(int32_t number, int32_t station, int32_t width, int32_t alignment);
    bool DownloadBitmap(BitmapSlot& slot, int32_t number, const PrinterBuffer& raster, int32_t width, int32_t height);
    // Records rc (SetRC) into *pRC; returns 0 as the print methods do.
    int32_t AnswerBitmapCall(int32_t rc, int32_t* pRC);
};

}  // namespace QVO::Printer
