// The POSPrinter control object: the printer methods and the printer's named properties, all
// forwarded to the service object (see CControlObject for ownership and threads).
#pragma once

#include "opos/ControlObject.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Opos {

class CPosPrinterControl : public CControlObject {
public:
    CPosPrinterControl();

    int32_t ClearOutput();
    int32_t BeginInsertion(int32_t timeout);
    int32_t BeginRemoval(int32_t timeout);
    int32_t EndInsertion();
    int32_t EndRemoval();
    int32_t CutPaper(int32_t percentage);
    int32_t PrintBarCode(int32_t station, std::wstring_view data, int32_t symbology, int32_t height, int32_t width,
                         int32_t alignment, int32_t textPosition);
    int32_t PrintBitmap(int32_t station, std::wstring_view fileName, int32_t width, int32_t alignment);
    int32_t PrintImmediate(int32_t station, std::wstring_view data);
    int32_t PrintNormal(int32_t station, std::wstring_view data);
    int32_t PrintTwoNormal(int32_t stations, std::wstring_view data1, std::wstring_view data2);
    int32_t RotatePrint(int32_t station, int32_t rotation);
    int32_t SetBitmap(int32_t bitmapNumber, int32_t station, std::wstring_view fileName, int32_t width,
                      int32_t alignment);
    int32_t SetLogo(int32_t location, std::wstring_view data);
    int32_t TransactionPrint(int32_t station, int32_t control);
    int32_t ValidateData(int32_t station, std::wstring_view data);
    int32_t ChangePrintSide(int32_t side);
    int32_t MarkFeed(int32_t type);
    int32_t ClearPrintArea();
    int32_t PageModePrint(int32_t control);
    int32_t PrintMemoryBitmap(int32_t station, std::wstring_view data, int32_t type, int32_t width, int32_t alignment);
    int32_t DrawRuledLine(int32_t station, std::wstring_view positionList, int32_t lineDirection, int32_t lineWidth,
                          int32_t lineStyle, int32_t lineColor);
    int32_t PrintLine(int32_t station, std::wstring_view positionList);
    int32_t PrintCurveText(int32_t station, int32_t textNumber, int32_t textHorizontalPos, std::wstring_view textData);

    // Named printer properties (others through Get/SetPropertyNumber/String by index).
    bool GetAsyncMode() { return GetPropertyNumber(PIDXPtr_AsyncMode) != 0; }
    int32_t SetAsyncMode(bool on) { return SetPropertyNumber(PIDXPtr_AsyncMode, on ? 1 : 0); }
    int32_t GetCharacterSet() { return GetPropertyNumber(PIDXPtr_CharacterSet); }
    int32_t SetCharacterSet(int32_t value) { return SetPropertyNumber(PIDXPtr_CharacterSet, value); }
    bool GetCoverOpen() { return GetPropertyNumber(PIDXPtr_CoverOpen) != 0; }
    int32_t GetErrorStation() { return GetPropertyNumber(PIDXPtr_ErrorStation); }
    int32_t GetErrorLevel() { return GetPropertyNumber(PIDXPtr_ErrorLevel); }
    std::wstring GetErrorString() { return GetPropertyString(PIDXPtr_ErrorString); }
    bool GetFlagWhenIdle() { return GetPropertyNumber(PIDXPtr_FlagWhenIdle) != 0; }
    int32_t SetFlagWhenIdle(bool on) { return SetPropertyNumber(PIDXPtr_FlagWhenIdle, on ? 1 : 0); }
    int32_t GetMapMode() { return GetPropertyNumber(PIDXPtr_MapMode); }
    int32_t SetMapMode(int32_t value) { return SetPropertyNumber(PIDXPtr_MapMode, value); }
    bool GetRecEmpty() { return GetPropertyNumber(PIDXPtr_RecEmpty) != 0; }
    bool GetRecNearEnd() { return GetPropertyNumber(PIDXPtr_RecNearEnd) != 0; }
    bool GetRecLetterQuality() { return GetPropertyNumber(PIDXPtr_RecLetterQuality) != 0; }
    int32_t SetRecLetterQuality(bool on) { return SetPropertyNumber(PIDXPtr_RecLetterQuality, on ? 1 : 0); }
    int32_t GetRecLineChars() { return GetPropertyNumber(PIDXPtr_RecLineChars); }
    int32_t SetRecLineChars(int32_t value) { return SetPropertyNumber(PIDXPtr_RecLineChars, value); }
    int32_t GetRecLineHeight() { return GetPropertyNumber(PIDXPtr_RecLineHeight); }
    int32_t SetRecLineHeight(int32_t value) { return SetPropertyNumber(PIDXPtr_RecLineHeight, value); }
    int32_t GetRecLineSpacing() { return GetPropertyNumber(PIDXPtr_RecLineSpacing); }
    int32_t SetRecLineSpacing(int32_t value) { return SetPropertyNumber(PIDXPtr_RecLineSpacing, value); }
    int32_t GetRecLineWidth() { return GetPropertyNumber(PIDXPtr_RecLineWidth); }
    int32_t GetRecLinesToPaperCut() { return GetPropertyNumber(PIDXPtr_RecLinesToPaperCut); }
    int32_t GetRecSidewaysMaxChars() { return GetPropertyNumber(PIDXPtr_RecSidewaysMaxChars); }
    int32_t GetRecSidewaysMaxLines() { return GetPropertyNumber(PIDXPtr_RecSidewaysMaxLines); }
    int32_t GetRotateSpecial() { return GetPropertyNumber(PIDXPtr_RotateSpecial); }
    int32_t SetRotateSpecial(int32_t value) { return SetPropertyNumber(PIDXPtr_RotateSpecial, value); }
    int32_t GetPageModeStation() { return GetPropertyNumber(PIDXPtr_PageModeStation); }
    int32_t SetPageModeStation(int32_t value) { return SetPropertyNumber(PIDXPtr_PageModeStation, value); }
    std::wstring GetPageModeArea() { return GetPropertyString(PIDXPtr_PageModeArea); }
    std::wstring GetPageModePrintArea() { return GetPropertyString(PIDXPtr_PageModePrintArea); }
    int32_t SetPageModePrintArea(std::wstring_view v) { return SetPropertyString(PIDXPtr_PageModePrintArea, v); }
    std::wstring GetCharacterSetList() { return GetPropertyString(PIDXPtr_CharacterSetList); }
    std::wstring GetRecLineCharsList() { return GetPropertyString(PIDXPtr_RecLineCharsList); }
    std::wstring GetFontTypefaceList() { return GetPropertyString(PIDXPtr_FontTypefaceList); }
    bool GetCapRecPresent() { return GetPropertyNumber(PIDXPtr_CapRecPresent) != 0; }
    bool GetCapRecPapercut() { return GetPropertyNumber(PIDXPtr_CapRecPapercut) != 0; }
    bool GetCapRecBarCode() { return GetPropertyNumber(PIDXPtr_CapRecBarCode) != 0; }
    bool GetCapRecBitmap() { return GetPropertyNumber(PIDXPtr_CapRecBitmap) != 0; }
    bool GetCapTransaction() { return GetPropertyNumber(PIDXPtr_CapTransaction) != 0; }
    bool GetCapRecPageMode() { return GetPropertyNumber(PIDXPtr_CapRecPageMode) != 0; }
};

}  // namespace QVO::Opos
