// The utility's data files and OPOSInfo.ini.
#include "setup/core/SetupData.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "setup/core/TextUtil.h"

namespace QVO::Setup {

namespace {

namespace fs = std::filesystem;

std::string ProgramFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

}  // namespace

std::string DataFolder() {
    if (const char* dir = std::getenv("QUVO_SETUP_DATA_DIR"); dir != nullptr && *dir != '\0') return dir;
    const std::string program = ProgramFolder();
    std::error_code ec;
    if (!program.empty() && fs::exists(fs::path(program) / kLanguageFile, ec)) return program;
    return QUVO_SETUP_DATA_INSTALLED;
}

OposInfo OposInfo::FromIni(const IniFile& ini) {
    constexpr wchar_t kSection[] = L"OPOSInfo";
    OposInfo info;
    for (const std::wstring& model : SplitText(ini.Read(kSection, L"PrinterList"), L",")) {
        const std::wstring name = Trim(model);
        if (!name.empty()) info.printerList.push_back(name);
    }
    info.dllFileName = ini.Read(kSection, L"DllFileName");
    info.deviceDescription = ini.Read(kSection, L"DeviceDescription");
    info.haveCashDrawer2 = ini.Read(kSection, L"HaveCashDrawer2");
    info.modifyPrinterName = ini.Read(kSection, L"ModifyPrinterName");
    info.modifyCashDrawerName = ini.Read(kSection, L"ModifyCashDrawerName");
    return info;
}

SetupContext SetupContext::Load(const std::string& folder, unsigned languageId) {
    SetupContext context;
    context.info = OposInfo::FromIni(IniFile::Load((fs::path(folder) / kOposInfoFile).string()));
    context.texts = LanguageTexts(IniFile::Load((fs::path(folder) / kLanguageFile).string()), languageId);
    return context;
}

SetupContext SetupContext::FromEnvironment() { return Load(DataFolder(), LanguageIdFromLocale(MessageLocaleName())); }

}  // namespace QVO::Setup
