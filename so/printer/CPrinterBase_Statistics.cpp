// CPrinterBase, statistics: the UnifiedPOS names this printer would report, and the three
// statistics methods, which the printer cannot serve (it keeps no counters to read).
#include <array>

#include "so/printer/CPrinterBase.h"

namespace QVO::Printer {

namespace {
using Entry = CPrinterBase::StatisticEntry;

constexpr const wchar_t kZero[] = L"0";
constexpr const wchar_t kUnknown[] = L"UNKNOWN";

constexpr std::array kStatistics = {
    Entry{L"UnifiedPOSVersion", L"1.0"},
    Entry{L"ManufacturerName", L"QVOTECH"},
    Entry{L"ModelName", L"RX5120TA"},
    Entry{L"SerialNumber", kUnknown},
    Entry{L"ManufactureDate", L"2012-04-01"},
    Entry{L"MechanicalRevision", kUnknown},
    Entry{L"FirmwareRevision", kUnknown},
    Entry{L"Interface", L"RS232"},
    Entry{L"InstallationDate", kUnknown},
    Entry{L"HoursPoweredCount", kZero},
    Entry{L"CommunicationErrorCount", kZero},
    Entry{L"BarcodePrintedCount", kZero},
    Entry{L"HomeErrorCount", kZero},
    Entry{L"MaximumTempReachedCount", kZero},
    Entry{L"NVRAMWriteCount", kZero},
    Entry{L"PaperCutCount", kZero},
    Entry{L"FailedPaperCutCount", kZero},
    Entry{L"PrinterFaultCount", kZero},
    Entry{L"ReceiptCharacterPrintedCount", kZero},
    Entry{L"ReceiptLinePrintedCount", kZero},
    Entry{L"ReceiptLineFeedCount", kZero},
    Entry{L"ReceiptCoverOpenCount", kZero},
};
}  // namespace

std::span<const CPrinterBase::StatisticEntry> CPrinterBase::StatisticsTable() { return kStatistics; }

int32_t CPrinterBase::ResetStatistics(const std::wstring&, int32_t* pRC) {
    *pRC = SetRC(kExtUnsupported);
    return 0;
}

int32_t CPrinterBase::RetrieveStatistics(std::wstring*, int32_t* pRC) {
    *pRC = SetRC(kExtUnsupported);
    return 0;
}

int32_t CPrinterBase::UpdateStatistics(const std::wstring&, int32_t* pRC) {
    *pRC = SetRC(kExtUnsupported);
    return 0;
}

}  // namespace QVO::Printer
