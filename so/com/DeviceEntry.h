// Reading a printer or cash-drawer entry of the device configuration, value by value, with the
// retries a store that is being written to may need.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace QVO::SO {

inline constexpr const wchar_t* kPrinterClassKey = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\";
inline constexpr const wchar_t* kDrawerClassKey = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\";

// The longest value a slot takes (255 characters and the terminator).
inline constexpr size_t kMaxValueLength = 255;

enum class EntryRead {
    Ok,
    KeyMissing,  // no such entry
    Unreadable,  // a value missing or not REG_SZ after every attempt
    TooLong,     // a value longer than kMaxValueLength: refused rather than cut
};

// How one kind of entry is read: pauses before the second to sixth attempt of a value, and
// after each successful read.
struct EntryTiming {
    std::array<int32_t, 5> retryPausesMs{};
    int32_t afterReadMs = 0;
};

inline constexpr EntryTiming kPrinterEntryTiming{{0, 20, 40, 60, 80}, 10};
inline constexpr EntryTiming kDrawerEntryTiming{{0, 50, 100, 150, 200}, 0};

inline constexpr std::array<const wchar_t*, 11> kPrinterValueNames = {
    L"PortType",     L"DriverModel", L"DriverName", L"PortSettings",      L"OutputBufSize", L"BitMapMode",
    L"WriteTimeout", L"ReadTimeout", L"CodepageID", L"DeviceDescription", L"Notes"};
inline constexpr std::array<const wchar_t*, 7> kDrawerValueNames = {L"OpenVoltage",
                                                                    L"CapDrawStatus",
                                                                    L"DrawerPin",
                                                                    L"PrinterName",
                                                                    L"SignalOffTime",
                                                                    L"SignalOnTime",
                                                                    L"WaitForDrawerCloseTimeOut"};

// Reads `names` under HKLM\<keyPath> into `values` (same order). On failure `failedValue`
// names the value that could not be read.
EntryRead ReadEntry(const std::wstring& keyPath, std::span<const wchar_t* const> names, const EntryTiming& timing,
                    std::span<std::wstring> values, std::wstring* failedValue = nullptr);

// A decimal registry number as the standard wide-string conversion reads it: leading blanks
// and a sign accepted, stops at the first non-digit, 0 when there is no number.
int32_t DecimalValue(const std::wstring& text);

}  // namespace QVO::SO
