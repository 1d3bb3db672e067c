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
#include "so/printer/IPrinterEventHandle.h"

namespace QVO::Printer {

class CPrinterPort;
class CPrinterEventObject;
class CPrinterTaskThreadContext;

// Result codes the engine sets beyond the standard ones (travel as ResultCodeExtended).
inline constexpr int32_t kExtCoverOpen = 201;
inline constexpr int32_t kExtReceiptEmpty = 203;
inline constexpr int32_t kExtUnsupported = 300;
inline constexpr int32_t kExtStationNotReceipt = 301;
inline constexpr int32_t kExtOpenException = 306;
// The largest code that is a result code rather than an extended one.
inline constexpr int32_t kLargestResultCode = 200;

// Status-update values the engine reports for the drawer (its own numbering; the COM layer
// maps them for drawer clients).
inline constexpr int32_t kDrawerReportedClosed = 1;
inline constexpr int32_t kDrawerReportedOpen = 2;

// Which kinds of client are enabled on the engine (mode bits).
inline constexpr int32_t kPrinterMode = 0x01;
inline constexpr int32_t kCashDrawerMode = 0x02;

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
    void SelectHPosInStd(PrinterBuffer& target, uint8_t alignment, int32_t segmentWidth);
    // A 1-bit raster (rows of width / 8 bytes) as 8-dot columns.
    void ToColumnFormat(PrinterBuffer& target, std::span<const uint8_t> raster, int32_t width, int32_t height);
    // The standard setup at the head of every output: mode 3 standard, mode 1 page mode.
    void InitOutBufferWithPMControl(PrinterBuffer& target, int32_t mode);
    // Sideways and collecting modes; page mode and rotated printing set their flags.
    bool IsInPrinterPageMode() const { return pageMode_ || rotateRight_ || rotateLeft_; }
    bool IsInRotateMode() const { return rotateRight_ || rotateLeft_ || upsideDown_; }
    bool IsInRotate90Mode() const { return rotateRight_ || rotateLeft_ || (pageMode_ && pageSideways_); }
    // The collecting buffer of a transaction, page mode or rotated printing; none today.
    PrinterBuffer* CurrentPrinterBuffer() { return nullptr; }

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
    int32_t FormatPageModeText(PrinterBuffer& target, std::span<const uint8_t> input, bool validateOnly);
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
};

}  // namespace QVO::Printer
