// The POSPrinter control object's methods: each forwards to the service object by DISPID.
#include "opos/PosPrinterControl.h"

namespace QVO::Opos {

namespace {
using M = SoMethod;
}

CPosPrinterControl::CPosPrinterControl()
    : CControlObject(L"POSPrinter", {
                                        // Release 1.0-1.4 methods: a service object without them is refused.
                                        {M::GetPropertyNumber, true},
                                        {M::SetPropertyNumber, true},
                                        {M::GetPropertyString, true},
                                        {M::SetPropertyString, true},
                                        {M::OpenService, true},
                                        {M::CloseService, true},
                                        {M::ClaimDevice, true},
                                        {M::ReleaseDevice, true},
                                        {M::CheckHealth, true},
                                        {M::DirectIO, true},
                                        {M::COFreezeEvents, true},
                                        {M::ClearOutput, true},
                                        {M::BeginInsertion, true},
                                        {M::BeginRemoval, true},
                                        {M::EndInsertion, true},
                                        {M::EndRemoval, true},
                                        {M::CutPaper, true},
                                        {M::PrintBarCode, true},
                                        {M::PrintBitmap, true},
                                        {M::PrintImmediate, true},
                                        {M::PrintNormal, true},
                                        {M::PrintTwoNormal, true},
                                        {M::RotatePrint, true},
                                        {M::SetBitmap, true},
                                        {M::SetLogo, true},
                                        {M::TransactionPrint, true},
                                        {M::ValidateData, true},
                                        // Later releases: used when present.
                                        {M::GetOpenResult, false},
                                        {M::ChangePrintSide, false},
                                        {M::MarkFeed, false},
                                        {M::ResetStatistics, false},
                                        {M::RetrieveStatistics, false},
                                        {M::UpdateStatistics, false},
                                        {M::CompareFirmwareVersion, false},
                                        {M::UpdateFirmware, false},
                                        {M::ClearPrintArea, false},
                                        {M::PageModePrint, false},
                                        {M::PrintMemoryBitmap, false},
                                        {M::DrawRuledLine, false},
                                        {M::PrintLine, false},
                                        {M::PrintCurveText, false},
                                    }) {}

int32_t CPosPrinterControl::ClearOutput() { return Call(M::ClearOutput); }
int32_t CPosPrinterControl::BeginInsertion(int32_t timeout) { return Call(M::BeginInsertion, {In(timeout)}); }
int32_t CPosPrinterControl::BeginRemoval(int32_t timeout) { return Call(M::BeginRemoval, {In(timeout)}); }
int32_t CPosPrinterControl::EndInsertion() { return Call(M::EndInsertion); }
int32_t CPosPrinterControl::EndRemoval() { return Call(M::EndRemoval); }
int32_t CPosPrinterControl::CutPaper(int32_t percentage) { return Call(M::CutPaper, {In(percentage)}); }

int32_t CPosPrinterControl::PrintBarCode(int32_t station, std::wstring_view data, int32_t symbology, int32_t height,
                                         int32_t width, int32_t alignment, int32_t textPosition) {
    return Call(M::PrintBarCode,
                {In(station), In(data), In(symbology), In(height), In(width), In(alignment), In(textPosition)});
}

int32_t CPosPrinterControl::PrintBitmap(int32_t station, std::wstring_view fileName, int32_t width, int32_t alignment) {
    return Call(M::PrintBitmap, {In(station), In(fileName), In(width), In(alignment)});
}

int32_t CPosPrinterControl::PrintImmediate(int32_t station, std::wstring_view data) {
    return Call(M::PrintImmediate, {In(station), In(data)});
}

int32_t CPosPrinterControl::PrintNormal(int32_t station, std::wstring_view data) {
    return Call(M::PrintNormal, {In(station), In(data)});
}

int32_t CPosPrinterControl::PrintTwoNormal(int32_t stations, std::wstring_view data1, std::wstring_view data2) {
    return Call(M::PrintTwoNormal, {In(stations), In(data1), In(data2)});
}

int32_t CPosPrinterControl::RotatePrint(int32_t station, int32_t rotation) {
    return Call(M::RotatePrint, {In(station), In(rotation)});
}

int32_t CPosPrinterControl::SetBitmap(int32_t bitmapNumber, int32_t station, std::wstring_view fileName, int32_t width,
                                      int32_t alignment) {
    return Call(M::SetBitmap, {In(bitmapNumber), In(station), In(fileName), In(width), In(alignment)});
}

int32_t CPosPrinterControl::SetLogo(int32_t location, std::wstring_view data) {
    return Call(M::SetLogo, {In(location), In(data)});
}

int32_t CPosPrinterControl::TransactionPrint(int32_t station, int32_t control) {
    return Call(M::TransactionPrint, {In(station), In(control)});
}

int32_t CPosPrinterControl::ValidateData(int32_t station, std::wstring_view data) {
    return Call(M::ValidateData, {In(station), In(data)});
}

int32_t CPosPrinterControl::ChangePrintSide(int32_t side) { return Call(M::ChangePrintSide, {In(side)}); }
int32_t CPosPrinterControl::MarkFeed(int32_t type) { return Call(M::MarkFeed, {In(type)}); }
int32_t CPosPrinterControl::ClearPrintArea() { return Call(M::ClearPrintArea); }
int32_t CPosPrinterControl::PageModePrint(int32_t control) { return Call(M::PageModePrint, {In(control)}); }

int32_t CPosPrinterControl::PrintMemoryBitmap(int32_t station, std::wstring_view data, int32_t type, int32_t width,
                                              int32_t alignment) {
    return Call(M::PrintMemoryBitmap, {In(station), In(data), In(type), In(width), In(alignment)});
}

int32_t CPosPrinterControl::DrawRuledLine(int32_t station, std::wstring_view positionList, int32_t lineDirection,
                                          int32_t lineWidth, int32_t lineStyle, int32_t lineColor) {
    return Call(M::DrawRuledLine,
                {In(station), In(positionList), In(lineDirection), In(lineWidth), In(lineStyle), In(lineColor)});
}

int32_t CPosPrinterControl::PrintLine(int32_t station, std::wstring_view positionList) {
    return Call(M::PrintLine, {In(station), In(positionList)});
}

int32_t CPosPrinterControl::PrintCurveText(int32_t station, int32_t textNumber, int32_t textHorizontalPos,
                                           std::wstring_view textData) {
    return Call(M::PrintCurveText, {In(station), In(textNumber), In(textHorizontalPos), In(textData)});
}

}  // namespace QVO::Opos
