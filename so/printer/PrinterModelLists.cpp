// Model names and parameter blocks of the two printer model classes.
#include "so/printer/PrinterModelLists.h"

#include <algorithm>

namespace QVO::Printer {

namespace {

// 80 mm printers by cutter position: three groups with their own cutter distances.
const std::vector<std::wstring> kCutter2300 = {L"QP-T80A", L"QP-T80B", L"QP-T80C", L"QP-T80D", L"QP-T80E"};
const std::vector<std::wstring> kCutter2200 = {L"QP-T81A", L"QP-T81B", L"QP-T81C", L"QP-T81D", L"QP-T81E"};
const std::vector<std::wstring> kCutter2400 = {L"QP-T82A", L"QP-T82B", L"QP-T82C", L"QP-T82D", L"QP-T82E",
                                               L"QP-T82F", L"QP-T82G", L"QP-T82H", L"QP-T82J", L"QP-T82K",
                                               L"QP-T82L", L"QP-T82M", L"QP-T82NC"};
// The one 80 mm printer sold without a cutter.
constexpr std::wstring_view kNoCutter80mm = L"QP-T82NC";
// The one 58 mm printer that has a cutter.
constexpr std::wstring_view kCutter58mm = L"QP-T58X";
constexpr std::wstring_view kTMT88IV = L"TM-T88IV";

constexpr int32_t kBuilderCutter2300 = 3450;
constexpr int32_t kBuilderCutter2200 = 3300;
constexpr int32_t kBuilderCutter2400 = 3600;
constexpr int32_t kCutter58mmDistance = 800;

const std::wstring kCompatibleCodePages = L"437,720,850,860,862,863,864,865,866,852,858,874,932,936,949,1252,1255,1256";
const std::wstring kMakerFontACodePages = L"437,720,850,860,862,863,865,866,852,858,874,932,936,1252,1255,1256";
const std::wstring kMakerFontBCodePages = L"437,850,860,862,863,865,866,852,858,874,932,936,1252,1255,1256";

bool In(const std::vector<std::wstring>& list, std::wstring_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

std::vector<std::wstring> Joined(std::initializer_list<const std::vector<std::wstring>*> lists) {
    std::vector<std::wstring> all;
    for (const auto* list : lists) all.insert(all.end(), list->begin(), list->end());
    return all;
}

// The geometry every 80 mm printer of both classes shares: 203 dpi, 576 dots, fonts A 12x24
// and B 9x17, a 576 x 936 page.
void Geometry80mm(DeviceParameters& p, const std::wstring& fontACodePages, const std::wstring& fontBCodePages) {
    p.horizontalDotMm = 0.125f;
    p.verticalUnitMm = 0.0625f;
    p.answersProcessId = false;
    p.dpi = 203;
    p.paperWidth = 576;
    p.fontTypefaceList = L"A,B";
    p.fonts = {{L'A', 12, 24, fontACodePages}, {L'B', 9, 17, fontBCodePages}};
    p.pageWidth = 576;
    p.pageHeight = 936;
    p.pageModeValue = 45;
}

void Receipt80mm(std::wstring_view name, DeviceParameters& p) {
    Geometry80mm(p, kCompatibleCodePages, kCompatibleCodePages);
    if (In(kCutter2300, name)) {
        p.cutterDistance = 2300;
        p.builderCutterDistance = kBuilderCutter2300;
    } else if (In(kCutter2200, name)) {
        p.cutterDistance = 2200;
        p.builderCutterDistance = kBuilderCutter2200;
    } else {
        p.cutterDistance = 2400;
        p.builderCutterDistance = kBuilderCutter2400;
    }
    p.capRecPapercut = name != kNoCutter80mm;
    p.buzzer = true;
    p.statusMethod = kStatusByRealTime | kStatusByTransmitStatus;
    p.refreshInfo = p.asbOption = p.asbInUse = true;
}

void Receipt58mm(DeviceParameters& p) {
    p.horizontalDotMm = 0.125f;
    p.verticalUnitMm = 0.125f;
    p.answersProcessId = false;
    p.dpi = 203;
    p.paperWidth = 384;
    p.fontTypefaceList = L"A,B";
    p.fonts = {{L'A', 12, 24, kCompatibleCodePages}, {L'B', 9, 16, kCompatibleCodePages}};
    p.capRecPapercut = false;
    p.capRecPageMode = false;
    p.buzzer = false;
    p.statusMethod = kStatusByTransmitStatus;
    p.asbOption = p.asbInUse = false;
    p.cutterDistance = kCutter58mmDistance;
    p.refreshInfo = true;
}

void TMT88IV(DeviceParameters& p) {
    p.horizontalDotMm = 0.141f;
    p.verticalUnitMm = 0.0705f;
    p.answersProcessId = true;
    p.dpi = 203;
    p.paperWidth = 512;
    p.fontTypefaceList = L"A,B";
    p.fonts = {{L'A', 12, 24, kCompatibleCodePages}, {L'B', 9, 17, kCompatibleCodePages}};
    p.pageWidth = 512;
    p.pageHeight = 1000;
    p.pageModeValue = 45;
    p.buzzer = false;
    p.statusMethod = kStatusByRealTime | kStatusByTransmitStatus;
    p.refreshInfo = p.asbOption = p.asbInUse = true;
}

}  // namespace

const std::vector<std::wstring>& Receipt80mmModels() {
    static const std::vector<std::wstring> all = Joined({&kCutter2300, &kCutter2200, &kCutter2400});
    return all;
}

const std::vector<std::wstring>& Receipt58mmModels() {
    static const std::vector<std::wstring> all = {L"QP-T58A", L"QP-T58B", L"QP-T58C", L"QP-T58D",
                                                  L"QP-T58E", L"QP-T58F", L"QP-T58G", std::wstring(kCutter58mm)};
    return all;
}

// Parallel and USB printer-class models without a status channel: the 80 mm printers of the
// first two cutter groups, every 58 mm printer, and the line of label printers.
const std::vector<std::wstring>& OutputOnlyModels() {
    static const std::vector<std::wstring> labelPrinters = {L"QP-L70A", L"QP-L70B", L"QP-L70C", L"QP-L70D", L"QP-L70E",
                                                            L"QP-L70F", L"QP-L70G", L"QP-L70H", L"QP-L70J"};
    static const std::vector<std::wstring> all =
        Joined({&kCutter2300, &kCutter2200, &Receipt58mmModels(), &labelPrinters});
    return all;
}

ModelBlock ClassifyModel(std::wstring_view name) {
    if (In(Receipt80mmModels(), name)) return ModelBlock::Receipt80mm;
    if (In(Receipt58mmModels(), name)) return ModelBlock::Receipt58mm;
    if (name == kTMT88IV) return ModelBlock::TMT88IV;
    return ModelBlock::Other;
}

bool IsOutputOnlyModel(std::wstring_view name) { return In(OutputOnlyModels(), name); }

void ApplyCompatibleModelParameters(std::wstring_view name, DeviceParameters& parameters) {
    switch (ClassifyModel(name)) {
        case ModelBlock::Receipt80mm:
            Receipt80mm(name, parameters);
            break;
        case ModelBlock::Receipt58mm:
            Receipt58mm(parameters);
            break;
        case ModelBlock::TMT88IV:
            TMT88IV(parameters);
            break;
        case ModelBlock::Other:
            break;
    }
}

void ApplyReceipt58mmOpenAdjustments(std::wstring_view name, DeviceParameters& p) {
    if (ClassifyModel(name) != ModelBlock::Receipt58mm) return;
    p.capRecRight90 = false;
    p.cutterDistance = kCutter58mmDistance;
    p.capRecPapercut = name == kCutter58mm;
    p.capRecPageMode = false;
    p.refreshInfo = true;
    p.asbOption = p.asbInUse = false;
    p.buzzer = false;
    p.statusMethod = kStatusByTransmitStatus;
}

void ApplyMakerModelParameters(DeviceParameters& p) {
    Geometry80mm(p, kMakerFontACodePages, kMakerFontBCodePages);
    p.cutterDistance = 2600;
    p.capRecNearEndSensor = p.capRecPapercut = p.capRecLeft90 = p.capRecRight90 = p.capRecPageMode = false;
    p.recBarCodeRotationList = p.recBitmapRotationList = L"0,180";
    p.refreshInfo = p.asbOption = p.asbInUse = p.buzzer = false;
    p.statusMethod = kStatusByRealTime | kStatusByTransmitStatus;
    p.cap8564 = p.cap8565 = 1;
}

}  // namespace QVO::Printer
