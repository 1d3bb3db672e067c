// The language of the utility: the Windows language ID of the locale, the section of
// Language.ini it selects, and the texts of that section.
#pragma once

#include <string>
#include <string_view>

#include "setup/core/IniFile.h"

namespace QVO::Setup {

// Windows language ID of a POSIX locale name ("de_DE.UTF-8" -> 1031, "zh_CN" -> 2052); a
// language without its region takes the language's main ID ("de" -> 1031). "C", "POSIX"
// and the empty name are US English (1033); an unknown language is 0.
unsigned LanguageIdFromLocale(std::string_view localeName);

// The locale the process runs in for messages: LC_ALL, else LC_MESSAGES, else LANG.
std::string MessageLocaleName();

// The language section to use: `id` when it is one of the comma-separated IDs of `list`,
// else `defaultId`. Whole IDs are compared, so 33 does not pass for 1033.
std::wstring SelectLanguage(std::wstring_view list, std::wstring_view defaultId, unsigned id);

// Language.ini with the section chosen for this run. Copyable value.
class LanguageTexts {
public:
    LanguageTexts() = default;
    LanguageTexts(IniFile file, unsigned languageId);

    // A caption or message of the chosen section; empty when missing (and the empty text
    // then replaces the built-in caption).
    std::wstring Text(std::wstring_view key) const { return file_.Read(section_, key); }
    // "_MSG_Title": the caption of every message box.
    std::wstring MessageTitle() const { return Text(L"_MSG_Title"); }
    // "CodepageIDList" of section "LanguageCollect".
    std::wstring CodepageIdList() const { return file_.Read(L"LanguageCollect", L"CodepageIDList"); }
    const std::wstring& Section() const { return section_; }
    bool Loaded() const { return file_.Loaded(); }

private:
    IniFile file_;
    std::wstring section_;
};

}  // namespace QVO::Setup
