// CPrinterBase, text properties by OPOS index, and the character-set list they publish.
#include <cwchar>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

using namespace Opos;

namespace {
constexpr const wchar_t* kCharacterSetList =
    L"255,437,850,852,858,860,862,863,865,866,874,932,936,949,997,998,999,1252,1255,1256";
constexpr const wchar_t* kRecLineCharsList = L"48,64";
// Pieces of the list longer than this are not numbers of ours.
constexpr size_t kLongestListPiece = 10;
}  // namespace

int32_t CPrinterBase::GetPropertyString(int32_t index, std::wstring* value) {
    std::wstring text;
    switch (index) {
        case PIDX_DeviceName:
            text = deviceName_;
            break;
        case PIDX_DeviceDescription:
            text = deviceDescription_;
            break;
        case PIDX_CheckHealthText:
            text = checkHealthText_;
            break;
        case PIDXPtr_CharacterSetList:
            text = kCharacterSetList;
            break;
        case PIDXPtr_RecLineCharsList:
            text = kRecLineCharsList;
            break;
        case PIDXPtr_ErrorString:
            text = ErrorInformation();
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
        case PIDXPtr_PageModeArea:
        case PIDXPtr_PageModePrintArea:
            return GetPageModeString(index, value);
        default:
            break;  // the journal and slip lists are empty
    }
    if (value != nullptr) *value = std::move(text);
    return 0;
}

// Only the page-mode print area is writable; every other index leaves the result as it came.
int32_t CPrinterBase::SetPropertyString(int32_t index, const std::wstring& value, int32_t* pRC) {
    if (index == PIDXPtr_PageModePrintArea) return SetPageModeString(index, value, pRC);
    return 0;
}

bool CPrinterBase::IsListedCharacterSet(int32_t value) {
    const std::wstring_view list = kCharacterSetList;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring_view::npos) comma = list.size();
        const std::wstring piece(list.substr(start, comma - start));
        if (piece.size() <= kLongestListPiece && !piece.empty() && std::wcstol(piece.c_str(), nullptr, 10) == value)
            return true;
        start = comma + 1;
    }
    return false;
}

}  // namespace QVO::Printer
