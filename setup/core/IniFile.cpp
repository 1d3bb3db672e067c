// Windows-style ini files read into memory.
#include "setup/core/IniFile.h"

#include <fstream>
#include <iterator>

#include "platform/registry/RegText.h"
#include "setup/core/TextUtil.h"

namespace QVO::Setup {

namespace {

using QVO::Platform::Registry::Text::FoldCase;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::wstring Unquote(std::wstring value) {
    if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

IniFile IniFile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Parse(bytes);
}

IniFile IniFile::Parse(std::string_view bytes) {
    IniFile ini;
    ini.loaded_ = true;
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    std::wstring section;
    for (const std::wstring& raw : SplitText(FromUtf8(bytes), L"\n")) {
        const std::wstring line = Trim(raw);
        if (line.empty() || line.front() == L';' || line.front() == L'#') continue;
        if (line.front() == L'[') {
            const size_t close = line.find(L']');
            section = FoldCase(Trim(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1)));
            continue;
        }
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        auto key = std::make_pair(section, FoldCase(Trim(line.substr(0, eq))));
        // The first definition wins, as GetPrivateProfileString finds it.
        ini.values_.emplace(std::move(key), Unquote(Trim(line.substr(eq + 1))));
    }
    return ini;
}

std::wstring IniFile::Read(std::wstring_view section, std::wstring_view key) const {
    const auto it = values_.find({FoldCase(section), FoldCase(key)});
    return it == values_.end() ? std::wstring() : it->second;
}

bool IniFile::Has(std::wstring_view section, std::wstring_view key) const {
    return values_.count({FoldCase(section), FoldCase(key)}) != 0;
}

}  // namespace QVO::Setup
