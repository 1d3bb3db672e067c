// The language of the utility, chosen from the locale.
#include "setup/core/Language.h"

#include <cstdlib>
#include <cwctype>

#include "setup/core/TextUtil.h"

namespace QVO::Setup {

namespace {

constexpr unsigned kUsEnglish = 1033;

struct LocaleId {
    const char* name;  // "ll_RR" or "ll" for the language's main ID
    unsigned id;
};

// The Windows IDs of the languages a point-of-sale machine is likely to run in.
constexpr LocaleId kLocaleIds[] = {
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105}, {"en", 1033},    {"zh_CN", 2052},
    {"zh_SG", 4100}, {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh", 2052},    {"ja_JP", 1041}, {"ja", 1041},
    {"ko_KR", 1042}, {"ko", 1042},    {"de_DE", 1031}, {"de_AT", 3079}, {"de_CH", 2055}, {"de", 1031},
    {"fr_FR", 1036}, {"fr_CA", 3084}, {"fr_BE", 2060}, {"fr_CH", 4108}, {"fr", 1036},    {"es_ES", 3082},
    {"es_MX", 2058}, {"es", 3082},    {"it_IT", 1040}, {"it", 1040},    {"pt_BR", 1046}, {"pt_PT", 2070},
    {"pt", 2070},    {"ru_RU", 1049}, {"ru", 1049},    {"nl_NL", 1043}, {"nl", 1043},    {"pl_PL", 1045},
    {"pl", 1045},    {"tr_TR", 1055}, {"tr", 1055},    {"th_TH", 1054}, {"th", 1054},    {"vi_VN", 1066},
    {"vi", 1066},
};

}  // namespace

unsigned LanguageIdFromLocale(std::string_view localeName) {
    // "de_DE.UTF-8@euro" -> "de_DE"
    const size_t cut = localeName.find_first_of(".@");
    const std::string_view base = localeName.substr(0, cut);
    if (base.empty() || base == "C" || base == "POSIX") return kUsEnglish;
    const std::string_view language = base.substr(0, base.find('_'));
    for (const LocaleId& entry : kLocaleIds)
        if (base == entry.name) return entry.id;
    for (const LocaleId& entry : kLocaleIds)
        if (language == entry.name) return entry.id;
    return 0;
}

std::string MessageLocaleName() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

std::wstring SelectLanguage(std::wstring_view list, std::wstring_view defaultId, unsigned id) {
    const std::wstring wanted = std::to_wstring(id);
    for (const std::wstring& item : SplitText(list, L","))
        if (Trim(item) == wanted) return wanted;
    return Trim(defaultId);
}

LanguageTexts::LanguageTexts(IniFile file, unsigned languageId) : file_(std::move(file)) {
    section_ = SelectLanguage(file_.Read(L"LanguageCollect", L"List"),
                              file_.Read(L"LanguageCollect", L"DefaultLanguageID"), languageId);
}

}  // namespace QVO::Setup
