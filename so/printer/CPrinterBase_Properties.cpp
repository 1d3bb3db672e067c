// CPrinterBase, properties by OPOS index: the numbers and texts the engine keeps today.
// The rest of the printer's property block (capabilities, lists, page mode) comes with the
// formatting code; until then those indices read 0 and refuse writes.
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/OutputId.h"
#include "platform/text/TextConv.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
// The engine's device-name text of the maker's model, whose output is always written at once.
constexpr const wchar_t* kFramedDeviceName = L"RX4270";
// RecLineChars counts only its low byte.
constexpr int32_t kByteMask = 0xFF;
}  // namespace

int32_t CPrinterBase::GetPropertyNumber(int32_t index, int32_t* value) {
    int32_t v = 0;
    switch (index) {
        case PIDX_OutputID:
            v = CurrentOutputId();
            break;
        case PIDX_BinaryConversion:
            v = binaryConversion_;
            break;
        case PIDXPtr_AsyncMode:
            v = asyncMode_;
            break;
        case PIDXPtr_CharacterSet:
            v = characterSet_;
            break;
        case PIDXPtr_CoverOpen:
            v = coverOpen_.load();
            break;
        case PIDXPtr_MapMode:
            v = mapMode_;
            break;
        case PIDXPtr_RecEmpty:
            v = recEmpty_.load();
            break;
        case PIDXPtr_RecNearEnd:
            v = recNearEnd_.load();
            break;
        case PIDXPtr_RecLineChars:
            v = recLineChars_;
            break;
        case PIDXPtr_RecLetterQuality:
            v = recLetterQuality_;
            break;
        case PIDXPtr_RecLineHeight:
            v = DOT2MapNumber_H(recLineHeight_);
            break;
        case PIDXPtr_RecLineSpacing:
            v = DOT2MapNumber_H(recLineSpacing_);
            break;
        case PIDXPtr_RecLinesToPaperCut:
            v = recLinesToPaperCut_;
            break;
        case PIDXPtr_RecLineWidth:
            v = GetRecLineWidth();
            break;
        case PIDXPtr_RecSidewaysMaxChars:
            v = recSidewaysMaxChars_;
            break;
        case PIDXPtr_RecSidewaysMaxLines:
            v = recSidewaysMaxLines_;
            break;
        case PIDXPtr_CapRecPresent:
            v = 1;
            break;
        case PIDXPtr_CapRecPapercut:
            v = parameters_.capRecPapercut ? 1 : 0;
            break;
        case PIDXPtr_CapRecNearEndSensor:
            v = parameters_.capRecNearEndSensor ? 1 : 0;
            break;
        case PIDXPtr_CapRecEmptySensor:
            v = 1;
            break;
        case PIDXPtr_CapCoverSensor:
            v = 1;
            break;
        default:
            break;
    }
    if (value != nullptr) *value = v;
    return 0;
}

int32_t CPrinterBase::SetPropertyNumber(int32_t index, int32_t value, int32_t* pRC) {
    int32_t rc = OPOS_SUCCESS;
    switch (index) {
        case PIDX_BinaryConversion:
            binaryConversion_ = value;
            break;
        case PIDXPtr_AsyncMode:
            if (deviceName_ != kFramedDeviceName) asyncMode_ = value != 0 ? 1 : 0;
            break;
        case PIDXPtr_CharacterSet:
            // A code page the text conversion cannot reach would print nothing readable.
            if (Platform::Text::CharsetOfCodePage(ConversionCodePage(value)).empty()) {
                rc = OPOS_E_ILLEGAL;
            } else {
                characterSetChanged_ = characterSetChanged_ || value != characterSet_;
                characterSet_ = value;
            }
            break;
        case PIDXPtr_RecLetterQuality:
            letterQualityChanged_ = letterQualityChanged_ || value != recLetterQuality_;
            recLetterQuality_ = value;
            break;
        // A width of no characters per line has no font: refused before any font is chosen.
        case PIDXPtr_RecLineChars:
            if ((value & kByteMask) == 0)
                rc = OPOS_E_ILLEGAL;
            else
                SetRecLineChars(value, &rc);
            if (pRC != nullptr) *pRC = rc;
            if (rc == OPOS_E_EXTENDED) return 0;
            break;
        case PIDXPtr_RecLineHeight:
            recLineHeight_ = MapNumber2DOT_H(value);
            break;
        case PIDXPtr_RecLineSpacing:
            recLineSpacing_ = MapNumber2DOT_H(value);
            lineSpacingChanged_ = true;
            break;
        case PIDXPtr_MapMode:
            mapMode_ = value;
            break;
        // Kept by the service object's COM class, which passes the value on.
        case PIDXPtr_FlagWhenIdle:
            break;
        default:
            rc = OPOS_E_ILLEGAL;
            break;
    }
    SetRC(rc);
    if (pRC != nullptr) *pRC = rc;
    return 0;
}

int32_t CPrinterBase::GetPropertyString(int32_t index, std::wstring* value) {
    std::wstring text;
    switch (index) {
        case PIDX_DeviceName:
            text = deviceName_;
            break;
        case PIDX_CheckHealthText:
            text = checkHealthText_;
            break;
        case PIDXPtr_FontTypefaceList:
            text = parameters_.fontTypefaceList;
            break;
        case PIDXPtr_RecBarCodeRotationList:
            text = parameters_.recBarCodeRotationList;
            break;
        case PIDXPtr_RecBitmapRotationList:
            text = parameters_.recBitmapRotationList;
            break;
        default:
            break;
    }
    if (value != nullptr) *value = std::move(text);
    return 0;
}

int32_t CPrinterBase::SetPropertyString(int32_t, const std::wstring&, int32_t* pRC) {
    SetRC(OPOS_E_ILLEGAL);
    if (pRC != nullptr) *pRC = OPOS_E_ILLEGAL;
    return 0;
}

}  // namespace QVO::Printer
