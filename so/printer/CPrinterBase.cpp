// CPrinterBase: construction, the two property initialisers, result recording, font metrics.
#include "so/printer/CPrinterBase.h"

#include "constants/OposConstants.h"
#include "so/printer/CPrinterEventObject.h"
#include "so/printer/CPrinterPort.h"
#include "so/printer/CPrinterTaskThreadContext.h"

namespace QVO::Printer {

namespace {
constexpr int32_t kDefaultRecLineChars = 48;
constexpr int32_t kDefaultSidewaysMaxChars = 138;
constexpr int32_t kDefaultSidewaysMaxLines = 17;
constexpr int32_t kDefaultLinesToPaperCut = 5;
constexpr int32_t kDefaultCodePage = 437;
}  // namespace

CPrinterBase::CPrinterBase(std::wstring modelName) : modelName_(std::move(modelName)), deviceName_(modelName_) {
    InitProperty();
}

// The worker runs code of this engine (the failure handler) until it has stopped.
CPrinterBase::~CPrinterBase() { StopOutputWorker(); }

void CPrinterBase::StopOutputWorker() {
    if (output_) output_->Stop();
}

// Construction-time part of the properties; the model's constructor then sets its builder
// and parameters.
void CPrinterBase::InitProperty() {
    deviceDescription_ = L"QUVO High Performance Printer";
    asyncMode_ = 0;
}

void CPrinterBase::SetProperty_Open() {
    resultCode_ = resultCodeExtended_ = 0;
    coverOpen_.store(0);
    // Empty and near end until the printer has told us otherwise (or cannot tell, see
    // DeviceEnable).
    recEmpty_.store(1);
    recNearEnd_.store(1);
    {
        Platform::MutexLock poll(pollMutex_);
        cached_ = tagPrinterStatus{};
    }
    cachedDrawerOpen_.store(0);
    binaryConversion_ = 0;
    mapMode_ = 1;
    SetError(0, L"");
    recLineChars_ = kDefaultRecLineChars;
    characterSet_ = kDefaultCodePage;
    recLineWidth_ = parameters_.paperWidth;
    recSidewaysMaxChars_ = kDefaultSidewaysMaxChars;
    recSidewaysMaxLines_ = kDefaultSidewaysMaxLines;
    ResetFormatting();
    const FontInfo first = parameters_.fonts.empty() ? FontInfo{} : parameters_.fonts.front();
    currentFont_ = 0;
    recLineHeight_ = first.height;
    recLineSpacing_ = first.height * 3 / 2;
    recLinesToPaperCut_ = kDefaultLinesToPaperCut;
    // Nothing collected before a close survives into the next session.
    transaction_ = false;
    transactionBuffer_.Clear();
    ResetPageMode();
    ResetBitmaps();
}

// Makes font `fontIndex` current and derives the line metrics from it and the cutter distance.
void CPrinterBase::SetFont(int32_t fontIndex) {
    if (fontIndex < 0 || fontIndex >= static_cast<int32_t>(parameters_.fonts.size())) return;
    const FontInfo& font = parameters_.fonts[static_cast<size_t>(fontIndex)];
    // Sideways, a line runs along the paper: the line properties stay.
    if (!IsInRotate90Mode()) {
        recLineWidth_ = parameters_.paperWidth;
        recLineChars_ = font.width > 0 ? parameters_.paperWidth / font.width : 0;
    }
    recLineHeight_ = font.height;
    recLineSpacing_ = font.height * 5 / 4;
    const double spacingMm = recLineSpacing_ * static_cast<double>(parameters_.horizontalDotMm);
    recLinesToPaperCut_ =
        spacingMm > 0 ? static_cast<int32_t>((parameters_.cutterDistance / 10) / spacingMm) / 10 + 1 : 0;
    currentFont_ = fontIndex;
    charWidth_ = font.width;
    charHeight_ = font.height;
    const double charAlongMm = font.width * static_cast<double>(parameters_.horizontalDotMm);
    const int32_t charInUnits = static_cast<int32_t>(charAlongMm / parameters_.verticalUnitMm);
    if (charInUnits > 0) recSidewaysMaxChars_ = parameters_.pageHeight / charInUnits;
    if (font.height > 0) recSidewaysMaxLines_ = parameters_.pageWidth / font.height;
}

int32_t CPrinterBase::ErrorCode() const {
    Platform::MutexLock lock(errorMutex_);
    return lastErrorCode_;
}

std::wstring CPrinterBase::ErrorInformation() const {
    Platform::MutexLock lock(errorMutex_);
    return errorInformation_;
}

void CPrinterBase::SetError(int32_t code, std::wstring text) {
    Platform::MutexLock lock(errorMutex_);
    lastErrorCode_ = code;
    errorInformation_ = std::move(text);
}

int32_t CPrinterBase::SetRC(int32_t rc) {
    if (rc <= kLargestResultCode) {
        resultCode_ = rc;
        resultCodeExtended_ = 0;
    } else {
        resultCode_ = Opos::OPOS_E_EXTENDED;
        resultCodeExtended_ = rc;
    }
    return resultCode_;
}

}  // namespace QVO::Printer
