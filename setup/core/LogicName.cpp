// Logical names of device entries.
#include "setup/core/LogicName.h"

#include "setup/core/TextUtil.h"

namespace QVO::Setup {

LogicNameResult SaveLogicName(DeviceClass deviceClass, std::wstring_view device, EditMode mode,
                              std::wstring_view oldName, std::wstring_view typed) {
    const std::wstring name = Trim(typed);
    if (name.empty()) return {L"FormALN_NullLogicName", {}};
    if (!IsLogicNameFree(name, deviceClass)) return {L"FormALN_LogicNameExist", {}};
    const std::wstring classKey = ClassKey(deviceClass);
    if (mode == EditMode::Modify && !oldName.empty())
        if (Status s = RegRemoveValue(classKey, oldName); !s) return {{}, s};
    // Applications open the name as they would type it, without the blanks around it.
    return {{}, RegWriteText(classKey, name, device)};
}

LogicNameResult DeleteLogicName(DeviceClass deviceClass, std::wstring_view name) {
    const std::wstring classKey = ClassKey(deviceClass);
    const std::wstring device = RegReadText(classKey, name);
    if (name.empty()) return {L"FormALN_NullLogicName", {}};
    if (IsLogicNameFree(name, deviceClass))
        return {{}, {QVO::Platform::Registry::Error::NotFound, "no logical name " + ToUtf8(name)}};
    if (LogicNamesOf(device, deviceClass).size() <= 1) return {L"FormD_LastLogicName1", {}};
    return {{}, RegRemoveValue(classKey, name)};
}

}  // namespace QVO::Setup
