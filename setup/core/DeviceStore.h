// The registry routines of the utility: device-class keys, device entries and logical names
// under HKLM\SOFTWARE\OLEforRetail\ServiceOPOS.
//
// Every call goes to the registry store afresh; nothing is cached. Thread safety: as the
// registry store (any thread).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"

namespace QVO::Setup {

using Status = QVO::Platform::Registry::Status;

inline constexpr wchar_t kBaseKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS";

enum class DeviceClass { Printer, CashDrawer };

// "POSPrinter" or "CashDrawer".
const wchar_t* ClassName(DeviceClass deviceClass);
// "SOFTWARE\OLEforRetail\ServiceOPOS\POSPrinter".
std::wstring ClassKey(DeviceClass deviceClass);
// The key of one entry: the class key, "\" and the name.
std::wstring EntryKey(DeviceClass deviceClass, std::wstring_view name);

// Names of the subkeys / values of HKLM\path; empty when the key cannot be opened.
std::vector<std::wstring> RegKeyNames(std::wstring_view path);
std::vector<std::wstring> RegValueNames(std::wstring_view path);
// A string value (the empty name reads the default value); empty when missing or not text.
std::wstring RegReadText(std::wstring_view path, std::wstring_view name);
// Writes a REG_SZ value, creating the key when needed.
Status RegWriteText(std::wstring_view path, std::wstring_view name, std::wstring_view text);
// Deletes path\subkey with everything under it; a missing key is not an error.
Status RegRemoveKey(std::wstring_view path, std::wstring_view subkey);
// Deletes a value; a missing value is not an error.
Status RegRemoveValue(std::wstring_view path, std::wstring_view name);
// Creates the POSPrinter and CashDrawer class keys when they are missing.
Status EnsureClassKeys();

// base + "_" + the number after the highest existing base_NN of the class, two digits at
// least ("_01" when none). Names whose suffix is not a number are skipped.
std::wstring NextDeviceName(DeviceClass deviceClass, std::wstring_view base);
// False when a value of that name exists in the class key.
bool IsLogicNameFree(std::wstring_view name, DeviceClass deviceClass);
// The first logical name (in the registry's order) whose data is the device name, or empty.
std::wstring FindLogicName(std::wstring_view deviceName, DeviceClass deviceClass);
// Every logical name that leads to the device, in the registry's order.
std::vector<std::wstring> LogicNamesOf(std::wstring_view deviceName, DeviceClass deviceClass);
// True when the class key has an entry of that name (case-insensitive, as the registry).
bool DeviceExists(DeviceClass deviceClass, std::wstring_view name);

// Whether the entry belongs to this program: its default value is not empty and occurs in
// `dllFileName` (a substring test, so one text may list several ProgIDs).
bool IsOwnEntry(DeviceClass deviceClass, std::wstring_view name, std::wstring_view dllFileName);

// The message key of a refused device name, or empty when the name is usable as an entry
// key: not empty (after trimming), no backslash, within the registry's key-name length.
// `existsKey` is returned when another entry already has the name; `ownName` (Modify) is the
// entry's own name, which may be kept or changed in case only.
std::wstring CheckDeviceName(DeviceClass deviceClass, std::wstring_view name, std::wstring_view ownName,
                             const wchar_t* emptyKey, const wchar_t* badKey, const wchar_t* existsKey);

// Deletes an entry with everything under it and every logical name that leads to it.
Status DeleteDevice(DeviceClass deviceClass, std::wstring_view name);
// Points every logical name of `oldName` at `newName`.
Status MoveLogicNames(DeviceClass deviceClass, std::wstring_view oldName, std::wstring_view newName);

}  // namespace QVO::Setup
