// The cash-drawer entry: the fields of the drawer dialog, their checks, and what a save writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "setup/core/DeviceStore.h"
#include "setup/core/PrinterEntry.h"
#include "setup/core/SetupData.h"

namespace QVO::Setup {

inline constexpr wchar_t kDefaultPulseTime[] = L"10";
inline constexpr wchar_t kDefaultWaitTimeout[] = L"5000";
// The service object sends the pulse times as one byte each.
inline constexpr unsigned long long kMaxPulseTime = 255;
inline constexpr unsigned long long kMaxWaitTimeout = 2147483647;

struct DrawerForm {
    std::wstring printer;    // the printer entry the drawer hangs on
    std::wstring name;       // the drawer entry's key name
    std::wstring logicName;  // Add only
    bool drawer1 = false;    // "CashDrawer #1"
    bool drawer2 = false;    // "CashDrawer #2"
    std::wstring high = kDefaultPulseTime;
    std::wstring low = kDefaultPulseTime;
    bool queryStatus = true;    // first "Query Status" item: CapDrawStatus "1"
    bool firstVoltage = false;  // first "Open Voltage" item: OpenVoltage "1"
    std::wstring waitTimeout = kDefaultWaitTimeout;
};

// The printers a drawer may hang on (FillPrinter): entries whose default value is exactly
// the "DllFileName" text.
std::vector<std::wstring> DrawerPrinters(const OposInfo& info);

// "3" both outputs, "1" the first only, otherwise "2".
std::wstring DrawerPin(const DrawerForm& form);

// A new drawer on `printer`: the next free name, copied as logical name, and the presets.
// The output choices are `current`'s (the dialog does not reset its check boxes).
DrawerForm NewDrawerForm(const std::wstring& printer, const DrawerForm& current = {});
// The fields of an existing entry; unknown DrawerPin values leave `current`'s choices.
DrawerForm ReadDrawerForm(std::wstring_view name, const DrawerForm& current = {});

// The checks of OK; the Language.ini key of the first refusal, or empty.
std::wstring CheckDrawer(EditMode mode, const DrawerForm& form, std::wstring_view oldName, const OposInfo& info);

// Writes the entry (SaveCashDrawer); a rename (only when "ModifyCashDrawerName" is "1") moves
// the entry and its logical names. Call CheckDrawer first.
Status SaveDrawer(EditMode mode, const DrawerForm& form, std::wstring_view oldName, const OposInfo& info);

}  // namespace QVO::Setup
