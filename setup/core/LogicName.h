// Logical names: adding, renaming and deleting the class-key values that lead applications
// to a device entry.
#pragma once

#include <string>
#include <string_view>

#include "setup/core/DeviceStore.h"
#include "setup/core/PrinterEntry.h"

namespace QVO::Setup {

// The outcome of a logical-name change: the Language.ini key of a refusal (nothing written),
// or a store status.
struct LogicNameResult {
    std::wstring refusedKey;
    Status status;
    bool ok() const { return refusedKey.empty() && status.ok(); }
};

// The logical-name dialog's OK: the typed name is taken without its surrounding blanks, must
// not be empty ("FormALN_NullLogicName") and must not exist in the class key
// ("FormALN_LogicNameExist", also for an unchanged name in Modify mode). Modify removes
// `oldName` first. The trimmed name is stored, with `device` as data.
LogicNameResult SaveLogicName(DeviceClass deviceClass, std::wstring_view device, EditMode mode,
                              std::wstring_view oldName, std::wstring_view typed);

// Deletes a logical name unless it is the last one of its device ("FormD_LastLogicName1").
LogicNameResult DeleteLogicName(DeviceClass deviceClass, std::wstring_view name);

}  // namespace QVO::Setup
