// The service object's fixed identity: class, interface and library GUIDs, ProgIDs, the
// dispatch IDs of its interface, and the texts it answers with.
#pragma once

#include <cstdint>

#include "platform/com/ComBase.h"

namespace QVO::SO {

// {5293F9EE-E792-4734-8B6F-1A9ACD01F5FA}
inline constexpr CLSID kClsidQVOOposPrinterSO = {
    0x5293F9EE, 0xE792, 0x4734, {0x8B, 0x6F, 0x1A, 0x9A, 0xCD, 0x01, 0xF5, 0xFA}};
// {DF08DBAB-496E-44BB-A8F7-7F54AB89F909}
inline constexpr IID kIidIQVOOposPrinterSO = {
    0xDF08DBAB, 0x496E, 0x44BB, {0xA8, 0xF7, 0x7F, 0x54, 0xAB, 0x89, 0xF9, 0x09}};
// {753AB515-D6CF-41AA-A268-4AA912040AD5}
inline constexpr GUID kLibIdOPosPrinterSOLib = {
    0x753AB515, 0xD6CF, 0x41AA, {0xA2, 0x68, 0x4A, 0xA9, 0x12, 0x04, 0x0A, 0xD5}};

inline constexpr const wchar_t* kProgId = L"QUVOOposPrinterU1.13";
inline constexpr const wchar_t* kVersionIndependentProgId = L"QUVOOposPrinterU1";
inline constexpr const wchar_t* kProgIdDescription = L"QUVOOposPrinterSO Class";
inline constexpr const wchar_t* kClassDescription = L"OposPrinterSO Class";
inline constexpr const wchar_t* kTypeLibName = L"OPosPrinterSOLib";
inline constexpr const wchar_t* kInterfaceName = L"IQVOOposPrinterSO";

// Release 1.13, build 1.
inline constexpr int32_t kServiceObjectVersion = 1013001;

// The device classes a control object opens us for.
inline constexpr const wchar_t* kPrinterClass = L"POSPrinter";

// DISPIDs of IQVOOposPrinterSO.
enum Dispid : DISPID {
    kDispCOFreezeEvents = 6,
    kDispGetPropertyNumber = 7,
    kDispSetPropertyNumber = 8,
    kDispGetPropertyString = 9,
    kDispSetPropertyString = 10,
    kDispOpenService = 11,
    kDispCheckHealth = 12,
    kDispClaimDevice = 13,
    kDispClearOutput = 14,
    kDispCloseService = 15,
    kDispDirectIO = 16,
    kDispReleaseDevice = 17,
    kDispBeginRemoval = 18,
    kDispCutPaper = 19,
    kDispEndInsertion = 20,
    kDispEndRemoval = 21,
    kDispPrintBarCode = 22,
    kDispPrintBitmap = 23,
    kDispPrintImmediate = 24,
    kDispPrintNormal = 25,
    kDispPrintTwoNormal = 26,
    kDispRotatePrint = 27,
    kDispSetBitmap = 28,
    kDispSetLogo = 29,
    kDispTransactionPrint = 30,
    kDispValidateData = 31,
    kDispChangePrintSide = 32,
    kDispMarkFeed = 33,
    kDispResetStatistics = 34,
    kDispRetrieveStatistics = 35,
    kDispUpdateStatistics = 36,
    kDispCompareFirmwareVersion = 37,
    kDispUpdateFirmware = 38,
    kDispClearPrintArea = 39,
    kDispPageModePrint = 40,
    kDispPrintMemoryBitmap = 41,
    kDispDrawRuledLine = 42,
    kDispBeginInsertion = 43,
    kDispGetOpenResult = 44,
    kDispOpenDrawer = 120,
    kDispWaitForDrawerClose = 121,
    kDispPrintLine = 603,
    kDispPrintCurveText = 604,
};

}  // namespace QVO::SO
