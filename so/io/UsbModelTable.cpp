// Rows of the model-to-USB-identifier table.
#include "so/io/UsbModelTable.h"

#include <cwchar>
#include <iterator>

namespace QVO::IO {
namespace {

constexpr wchar_t kThermal80[] = L"VID_3F1D&PID_0E01";    // our 80 mm printers (the default)
constexpr wchar_t kThermal58[] = L"VID_3F1D&PID_0E02";    // our 58 mm printers
constexpr wchar_t kPacketModel[] = L"VID_3F1D&PID_0E03";  // printers speaking the framed packets
constexpr wchar_t kEpsonT88IV[] = L"VID_04B8&PID_0202";
constexpr wchar_t kCompatible[] = L"VID_2D9A&PID_0080";  // compatible printers of a partner maker

constexpr UsbModelRow kRows[] = {
    {L"RX4270", kPacketModel}, {L"RX4270SMB", kPacketModel}, {L"RX4280", kPacketModel},  {L"RX610", kThermal80},
    {L"RX610II", kThermal80},  {L"RX620", kThermal80},       {L"RX630", kThermal80},     {L"RX640", kThermal80},
    {L"RX650", kThermal80},    {L"RX660", kThermal80},       {L"RX680", kThermal80},     {L"RX700", kThermal80},
    {L"RX710", kThermal80},    {L"RX720", kThermal80},       {L"RX760", kThermal80},     {L"RX800", kThermal80},
    {L"RX810", kThermal80},    {L"RX820", kThermal80},       {L"RX58", kThermal58},      {L"RX58II", kThermal58},
    {L"RX5800", kThermal58},   {L"RX5810", kThermal58},      {L"RX5820", kThermal58},    {L"RX5850", kThermal58},
    {L"RX5860", kThermal58},   {L"RX5880", kThermal58},      {L"TM-T88IV", kEpsonT88IV}, {L"KP-80", kCompatible},
    {L"KP-80II", kCompatible}, {L"KP-82", kCompatible},      {L"KP-58", kCompatible},    {L"KP-58II", kCompatible},
    {L"KP-60", kCompatible},
};
static_assert(std::size(kRows) == 33);

}  // namespace

std::span<const UsbModelRow> UsbModelTable() { return kRows; }

const wchar_t* LookupUsbHardwareId(const wchar_t* modelName) {
    if (modelName != nullptr) {
        for (const UsbModelRow& row : kRows)
            if (std::wcscmp(row.modelName, modelName) == 0) return row.hardwareIdFragment;
    }
    return kDefaultUsbHardwareId;
}

}  // namespace QVO::IO
