// Windows-style ini files ([section], key=value), read once into memory.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace QVO::Setup {

// The text of one ini file. Section and key names compare case-insensitively, as the Windows
// profile routines compare them; values lose their surrounding blanks and one pair of
// enclosing double quotes. The file is UTF-8 (with or without BOM); other bytes are read as
// Windows-1252. Copyable value; not thread-safe while being loaded.
class IniFile {
public:
    // A missing or unreadable file gives an empty IniFile (every read is empty), as the
    // Windows routines answer for a missing file.
    static IniFile Load(const std::string& path);
    static IniFile Parse(std::string_view bytes);

    // The value, or the empty text when the section or key is missing.
    std::wstring Read(std::wstring_view section, std::wstring_view key) const;
    bool Has(std::wstring_view section, std::wstring_view key) const;
    bool Loaded() const { return loaded_; }

private:
    std::map<std::pair<std::wstring, std::wstring>, std::wstring> values_;  // folded names
    bool loaded_ = false;
};

}  // namespace QVO::Setup
