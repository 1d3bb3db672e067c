// What a printer model tells the engine about the printer: resolution, paper, fonts, cutter,
// capabilities and how its status can be read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace QVO::Printer {

// One font of the printer: its letter, its cell in dots and the code pages it can print.
struct FontInfo {
    wchar_t letter = L'A';
    int32_t width = 12;
    int32_t height = 24;
    std::wstring codePages;
};

// How the printer's status is read: a mask of these bits (neither: no query).
enum StatusMethod : uint8_t {
    kStatusByRealTime = 0x01,        // DLE EOT requests
    kStatusByTransmitStatus = 0x02,  // GS r requests
};

// Plain copyable value, filled by the model's SetDeviceParameter; the defaults are the
// engine's own, kept for a model name in no list.
struct DeviceParameters {
    float horizontalDotMm = 0.125f;  // dot pitch across the paper
    float verticalUnitMm = 0.125f;   // vertical motion unit
    bool answersProcessId = false;   // the printer answers process-ID requests
    uint8_t dpi = 203;
    int32_t paperWidth = 576;  // printable width, dots
    std::wstring fontTypefaceList = L"A,B";
    std::vector<FontInfo> fonts{{L'A', 12, 24, L""}, {L'B', 9, 17, L""}};
    int32_t pageWidth = 576;  // page-mode area, dots
    int32_t pageHeight = 1000;
    int32_t pageModeValue = 45;
    int32_t cutterDistance = 2100;      // print line to cutter, 0.01 mm
    int32_t builderCutterDistance = 0;  // the command builder's own (0: left as it is)
    bool capRecPapercut = true;
    bool capRecNearEndSensor = true;
    bool capRecLeft90 = true;
    bool capRecRight90 = true;
    bool capRecPageMode = true;
    int32_t cap8564 = 0;
    int32_t cap8565 = 0;
    std::wstring recBarCodeRotationList = L"0,R90,L90,180";
    std::wstring recBitmapRotationList = L"0,R90,L90,180";
    bool refreshInfo = false;  // read firmware, maker and model from the printer at claim
    bool asbOption = false;    // use automatic status back where the port allows
    bool asbInUse = false;
    uint8_t statusMethod = kStatusByTransmitStatus;
    bool buzzer = false;  // WaitForDrawerClose may beep
};

}  // namespace QVO::Printer
