// The utility's two data files: where they are found and what OPOSInfo.ini says.
#pragma once

#include <string>
#include <vector>

#include "setup/core/IniFile.h"
#include "setup/core/Language.h"

namespace QVO::Setup {

inline constexpr char kLanguageFile[] = "Language.ini";
inline constexpr char kOposInfoFile[] = "OPOSInfo.ini";

// The folder holding the data files: $QUVO_SETUP_DATA_DIR when set, else the running
// program's folder when it holds Language.ini, else the installed data folder.
std::string DataFolder();

// The settings of OPOSInfo.ini (section "OPOSInfo"; each empty when missing).
struct OposInfo {
    std::vector<std::wstring> printerList;  // "PrinterList" split at ','
    std::wstring dllFileName;               // the service object's ProgID written to new entries
    std::wstring deviceDescription;
    std::wstring haveCashDrawer2;       // "0": no second drawer output
    std::wstring modifyPrinterName;     // "0": name read-only; "1": a modify may rename
    std::wstring modifyCashDrawerName;  // the same for drawers

    static OposInfo FromIni(const IniFile& ini);
    bool SecondDrawerAllowed() const { return haveCashDrawer2 != L"0"; }
    bool PrinterRenameAllowed() const { return modifyPrinterName == L"1"; }
    bool DrawerRenameAllowed() const { return modifyCashDrawerName == L"1"; }
    // The name field is editable in Modify mode unless the key says "0".
    bool PrinterNameEditable() const { return modifyPrinterName != L"0"; }
    bool DrawerNameEditable() const { return modifyCashDrawerName != L"0"; }
};

// Everything the forms share for one run: the settings and the texts of the chosen language.
struct SetupContext {
    OposInfo info;
    LanguageTexts texts;

    // Reads both files from `folder` with the language of `languageId`.
    static SetupContext Load(const std::string& folder, unsigned languageId);
    // The files of DataFolder() in the language of the process locale.
    static SetupContext FromEnvironment();
};

}  // namespace QVO::Setup
