// CPrinterBase, number properties by OPOS index: the defaults, what is writable, how writes
// are checked, and the map-mode conversion of the values kept in dots.
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"
#include "so/printer/OutputId.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
// The engine's device-name text of the maker's model, whose output is always written at once.
constexpr const wchar_t* kFramedDeviceName = L"RX4270";
// RecLineChars counts only its low byte.
constexpr int32_t kByteMask = 0xFF;

bool IsJournalIndex(int32_t index) { return index >= PIDXPtr_JrnEmpty && index <= PIDXPtr_JrnNearEnd; }
bool IsPageModeIndex(int32_t index) {
    return index >= PIDXPtr_PageModeDescriptor && index <= PIDXPtr_PageModeVerticalPosition;
}
bool IsCapabilityIndex(int32_t index) { return index >= PIDXPtr_CapConcurrentJrnRec && index <= PIDX_PTR + 565; }
}  // namespace

int32_t CPrinterBase::GetPropertyNumber(int32_t index, int32_t* value) {
    int32_t v = 0;
    if (IsCapabilityIndex(index)) {
        v = CapabilityValue(index);
    } else if (IsPageModeIndex(index)) {
        GetPageModeNumber(index, &v);
    } else if (IsJournalIndex(index)) {
        SetRC(kExtUnsupported);  // no journal station
    } else {
        v = StoredNumber(index);
    }
    if (value != nullptr) *value = v;
    return 0;
}

// The numbers that are plain fields (or the status flags); 0 for any index not kept.
int32_t CPrinterBase::StoredNumber(int32_t index) {
    switch (index) {
        case PIDX_OutputID:
            return CurrentOutputId();
        case PIDX_BinaryConversion:
            return binaryConversion_;
        case PIDXPtr_AsyncMode:
            return asyncMode_;
        case PIDXPtr_CharacterSet:
            return characterSet_;
        case PIDXPtr_CoverOpen:
            return coverOpen_.load();
        case PIDXPtr_MapMode:
            return mapMode_;
        case PIDXPtr_RecEmpty:
            return recEmpty_.load();
        case PIDXPtr_RecNearEnd:
            return recNearEnd_.load();
        case PIDXPtr_RecLineChars:
            return recLineChars_;
        case PIDXPtr_RecLetterQuality:
            return recLetterQuality_;
        case PIDXPtr_RecLineHeight:
            return DOT2MapNumber_H(recLineHeight_);
        case PIDXPtr_RecLineSpacing:
            return DOT2MapNumber_H(recLineSpacing_);
        case PIDXPtr_RecLinesToPaperCut:
            return recLinesToPaperCut_;
        case PIDXPtr_RecLineWidth:
            return GetRecLineWidth();
        case PIDXPtr_RecSidewaysMaxChars:
            return recSidewaysMaxChars_;
        case PIDXPtr_RecSidewaysMaxLines:
            return recSidewaysMaxLines_;
        case PIDXPtr_SlpLetterQuality:
            return slpLetterQuality_;
        case PIDXPtr_RotateSpecial:
            return rotateSpecial_;
        case PIDXPtr_JrnCartridgeState:
            return PTR_CART_UNKNOWN;
        case PIDXPtr_RecCartridgeState:
            return PTR_CART_OK;
        case PIDXPtr_RecCurrentCartridge:
            return recCurrentCartridge_;
        default:
            return 0;
    }
}

// The printer's capabilities: the receipt station's features, per model where models differ.
int32_t CPrinterBase::CapabilityValue(int32_t index) {
    switch (index) {
        case PIDXPtr_CapConcurrentJrnRec:
        case PIDXPtr_CapConcurrentJrnSlp:
        case PIDXPtr_CapConcurrentRecSlp:
            SetRC(kExtUnsupported);
            return 0;
        case PIDXPtr_CapRecPapercut:
            return parameters_.capRecPapercut ? 1 : 0;
        case PIDXPtr_CapRecNearEndSensor:
            return parameters_.capRecNearEndSensor ? 1 : 0;
        case PIDXPtr_CapRecLeft90:
            return parameters_.capRecLeft90 ? 1 : 0;
        case PIDXPtr_CapRecRight90:
            return parameters_.capRecRight90 ? 1 : 0;
        case PIDXPtr_CapRecPageMode:
            return parameters_.capRecPageMode ? 1 : 0;
        case PIDX_PTR + 564:
            return parameters_.cap8564;
        case PIDX_PTR + 565:
            return parameters_.cap8565;
        case PIDXPtr_CapCharacterSet:
            return PTR_CCS_ASCII;
        case PIDXPtr_CapRecColor:
            return PTR_COLOR_PRIMARY;
        case PIDXPtr_CapCoverSensor:
        case PIDXPtr_CapRecBarCode:
        case PIDXPtr_CapRecBitmap:
        case PIDXPtr_CapRecBold:
        case PIDXPtr_CapRecDhigh:
        case PIDXPtr_CapRecDwide:
        case PIDXPtr_CapRecDwideDhigh:
        case PIDXPtr_CapRecEmptySensor:
        case PIDXPtr_CapRecPresent:
        case PIDXPtr_CapRecRotate180:
        case PIDXPtr_CapRecUnderline:
        case PIDXPtr_CapTransaction:
            return 1;
        default:
            return 0;  // journal, slip and the features this printer lacks
    }
}

int32_t CPrinterBase::SetPropertyNumber(int32_t index, int32_t value, int32_t* pRC) {
    if (!opened_) {
        if (pRC != nullptr) *pRC = OPOS_E_CLOSED;
        return 0;
    }
    if (IsPageModeIndex(index)) return SetPageModeNumber(index, value, pRC);
    int32_t rc = OPOS_SUCCESS;
    switch (index) {
        case PIDX_BinaryConversion:
            binaryConversion_ = value;
            break;
        case PIDXPtr_AsyncMode:
            if (deviceName_ != kFramedDeviceName) asyncMode_ = value != 0 ? 1 : 0;
            break;
        case PIDXPtr_CharacterSet:
            rc = SetCharacterSetProperty(value);
            break;
        case PIDXPtr_RecLetterQuality:
            letterQualityChanged_ = letterQualityChanged_ || value != recLetterQuality_;
            recLetterQuality_ = value;
            break;
        // A width of no characters per line has no font: refused before any font is chosen.
        case PIDXPtr_RecLineChars:
            if ((value & kByteMask) == 0) {
                rc = OPOS_E_ILLEGAL;
                break;
            }
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
        case PIDXPtr_SlpLetterQuality:
            slpLetterQuality_ = value;
            break;
        case PIDXPtr_RecCurrentCartridge:
            recCurrentCartridge_ = value;
            break;
        case PIDXPtr_RotateSpecial:
            rotateSpecial_ = SetRotation(value);
            if (pRC != nullptr) *pRC = resultCode_;
            return 0;
        // No journal and no cartridge choice: "not supported by this printer".
        case PIDXPtr_JrnLetterQuality:
        case PIDXPtr_JrnLineChars:
        case PIDXPtr_JrnLineHeight:
        case PIDXPtr_JrnLineSpacing:
        case PIDXPtr_CartridgeNotify:
        case PIDXPtr_JrnCurrentCartridge:
            rc = kExtUnsupported;
            break;
        // Kept by the service object's COM class, which passes the value on.
        case PIDXPtr_FlagWhenIdle:
            break;
        default:
            rc = OPOS_E_ILLEGAL;  // read-only, capability, slip or not kept
            break;
    }
    const int32_t result = SetRC(rc);
    if (pRC != nullptr) *pRC = result;
    return 0;
}

// One of the listed character sets. Each prints: sets without a single printer table (Unicode,
// 255) go out in runs through the model's tables.
int32_t CPrinterBase::SetCharacterSetProperty(int32_t value) {
    if (!IsListedCharacterSet(value)) return OPOS_E_ILLEGAL;
    characterSetChanged_ = characterSetChanged_ || value != characterSet_;
    characterSet_ = value;
    return OPOS_SUCCESS;
}

}  // namespace QVO::Printer
