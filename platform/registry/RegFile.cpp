// Parsing .reg text, the form in which hive files are kept and files are exchanged.
#include "platform/registry/RegFile.h"

#include "platform/registry/RegText.h"

namespace QVO::Platform::Registry::RegFile {

namespace {

constexpr std::wstring_view kHeader4 = L"REGEDIT4";
constexpr std::string_view kHeader4Bytes = "REGEDIT4";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view TrimLeft(std::wstring_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::wstring_view TrimRight(std::wstring_view s) {
    while (!s.empty() && (IsBlank(s.back()) || s.back() == L'\r')) s.remove_suffix(1);
    return s;
}

// Nothing but blanks, or a comment, is left from `pos` on.
bool OnlyTrailer(std::wstring_view s, size_t pos) {
    const std::wstring_view rest = TrimLeft(s.substr(pos));
    return rest.empty() || rest.front() == L';';
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::wstring_view s, std::wstring_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        wchar_t c = s[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

int LineOfByteOffset(std::string_view bytes, size_t offset, size_t unitSize) {
    int line = 1;
    for (size_t i = 0; i + unitSize <= offset; i += unitSize)
        if (bytes[i] == '\n' && (unitSize == 1 || bytes[i + 1] == 0)) ++line;
    return line;
}

// Turns the file's bytes into text, choosing the encoding as regedit does: a BOM decides;
// without one, a NUL second byte means UTF-16LE, "REGEDIT4" means ANSI, anything else UTF-8.
bool DecodeFile(std::string_view bytes, std::wstring& text, ParseError& error) {
    size_t bad = 0;
    const auto fail = [&](size_t unitSize, size_t skipped, const char* what) {
        error = {LineOfByteOffset(bytes, skipped + bad, unitSize), what};
        return false;
    };
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
        if (!Text::DecodeUtf16Le(bytes.substr(2), text, bad)) return fail(2, 2, "invalid UTF-16 text");
        return true;
    }
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF) {
        error = {1, "UTF-16 big-endian files are not supported"};
        return false;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        if (!Text::DecodeUtf8(bytes.substr(3), text, bad)) return fail(1, 3, "invalid UTF-8 text");
        return true;
    }
    if (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0) {
        if (!Text::DecodeUtf16Le(bytes, text, bad)) return fail(2, 0, "invalid UTF-16 text");
        return true;
    }
    if (bytes.substr(0, kHeader4Bytes.size()) == kHeader4Bytes) {
        text = Text::DecodeCp1252(bytes);
        return true;
    }
    if (!Text::DecodeUtf8(bytes, text, bad)) return fail(1, 0, "invalid UTF-8 text");
    return true;
}

// Reads "..." at `pos` with regedit's two escapes (\\ and \"); any other backslash is kept
// as written, as hand-made files often hold unescaped Windows paths.
bool ReadQuoted(std::wstring_view s, size_t& pos, std::wstring& out) {
    out.clear();
    ++pos;  // the opening quote
    while (pos < s.size()) {
        const wchar_t c = s[pos];
        if (c == L'\\' && pos + 1 < s.size() && (s[pos + 1] == L'\\' || s[pos + 1] == L'"')) {
            out.push_back(s[pos + 1]);
            pos += 2;
        } else if (c == L'"') {
            ++pos;
            return true;
        } else {
            out.push_back(c);
            ++pos;
        }
    }
    return false;
}

// hex(7) data: NUL-terminated strings and one more NUL closing the list. A missing final
// terminator is tolerated; empty strings between others are kept.
std::vector<std::wstring> SplitMultiString(std::wstring units) {
    std::vector<std::wstring> out;
    if (units.empty() || units == std::wstring(1, L'\0')) return out;
    if (units.size() >= 2 && units[units.size() - 1] == L'\0' && units[units.size() - 2] == L'\0') units.pop_back();
    size_t start = 0;
    while (start < units.size()) {
        size_t end = units.find(L'\0', start);
        if (end == std::wstring::npos) end = units.size();
        out.push_back(units.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::wstring DropOneTerminator(std::wstring s) {
    if (!s.empty() && s.back() == L'\0') s.pop_back();
    return s;
}

class Parser {
public:
    Parser(const std::wstring& text, Document& doc, ParseError& error) : doc_(doc), error_(error) {
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            lines_.push_back(std::wstring_view(text).substr(start, end - start));
            start = end + 1;
        }
    }

    bool Run() {
        if (!ReadHeader()) return false;
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            if (!ParseLine()) return false;
        }
        return true;
    }

private:
    int LineNumber() const { return static_cast<int>(index_) + 1; }

    bool Fail(std::string what) {
        error_ = {LineNumber(), std::move(what)};
        return false;
    }

    bool ReadHeader() {
        index_ = 0;
        const std::wstring_view first = TrimRight(lines_[0]);
        if (first == kHeader) return true;
        if (first == kHeader4) {
            doc_.regedit4 = true;
            return true;
        }
        return Fail(
            "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
    }

    bool ParseLine() {
        const std::wstring_view line = TrimLeft(TrimRight(lines_[index_]));
        if (line.find(L'\0') != std::wstring_view::npos) return Fail("NUL character in text (binary data?)");
        if (line.empty() || line.front() == L';') return true;
        if (line.front() == L'[') return ParseKeyLine(line);
        if (line.front() == L'@' || line.front() == L'"') return ParseValueLine(line);
        return Fail("unexpected text; expected a [key], a \"value\" or a comment");
    }

    bool ParseKeyLine(std::wstring_view line) {
        const size_t close = line.rfind(L']');
        if (close == std::wstring_view::npos) return Fail("key name without closing ']'");
        if (!OnlyTrailer(line, close + 1)) return Fail("unexpected text after ']'");
        std::wstring_view rooted = line.substr(1, close - 1);
        const bool remove = !rooted.empty() && rooted.front() == L'-';
        if (remove) rooted.remove_prefix(1);

        Operation op;
        op.action = remove ? Operation::Action::DeleteKey : Operation::Action::CreateKey;
        op.line = LineNumber();
        std::wstring path;
        if (!ParseRootedPath(rooted, op.hive, path))
            return Fail("unknown root key; expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_CLASSES_ROOT");
        KeyPath key;
        const Status split = SplitKeyPath(path, key);
        if (!split) return Fail(split.message);
        if (remove && key.empty()) return Fail("a root key cannot be deleted");
        op.key = std::make_shared<const KeyPath>(std::move(key));

        section_ = op;
        inSection_ = true;
        doc_.operations.push_back(std::move(op));
        return true;
    }

    bool ParseValueLine(std::wstring_view line) {
        if (!inSection_) return Fail("value outside a [key] section");
        if (section_.action == Operation::Action::DeleteKey) return Fail("value inside a deleted key's section");

        Operation op;
        op.hive = section_.hive;
        op.key = section_.key;
        op.line = LineNumber();
        size_t pos = 1;  // past '@'
        if (line.front() == L'"') {
            // `""=` names the default value too, as in files written by hand.
            pos = 0;
            if (!ReadQuoted(line, pos, op.name)) return Fail("value name without closing quote");
        }
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != L'=') return Fail("expected '=' after the value name");
        ++pos;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (!ParseData(line, pos, op)) return false;
        doc_.operations.push_back(std::move(op));
        return true;
    }

    bool ParseData(std::wstring_view line, size_t pos, Operation& op) {
        const std::wstring_view data = line.substr(pos);
        op.action = Operation::Action::SetValue;
        if (!data.empty() && data.front() == L'-') {
            op.action = Operation::Action::DeleteValue;
            return OnlyTrailer(data, 1) || Fail("unexpected text after '-'");
        }
        if (!data.empty() && data.front() == L'"') {
            size_t p = 0;
            std::wstring text;
            if (!ReadQuoted(data, p, text)) return Fail("string without closing quote");
            if (!OnlyTrailer(data, p)) return Fail("unexpected text after the string");
            op.value = Value::String(std::move(text));
            return true;
        }
        if (StartsWithNoCase(data, L"dword:")) return ParseDword(data.substr(6), op);
        if (StartsWithNoCase(data, L"hex:")) return ParseHexValue(data.substr(4), 3, op);
        if (StartsWithNoCase(data, L"hex(")) {
            size_t p = 4;
            uint32_t type = 0;
            int digits = 0;
            for (; p < data.size() && HexDigit(data[p]) >= 0; ++p, ++digits) type = type * 16 + HexDigit(data[p]);
            if (digits == 0 || digits > 8 || p + 1 >= data.size() || data[p] != L')' || data[p + 1] != L':')
                return Fail("bad hex(type): prefix");
            return ParseHexValue(data.substr(p + 2), type, op);
        }
        return Fail("unknown value data; expected \"string\", dword:, hex: or hex(type):");
    }

    bool ParseDword(std::wstring_view digits, Operation& op) {
        uint32_t v = 0;
        size_t n = 0;
        for (; n < digits.size() && HexDigit(digits[n]) >= 0; ++n) {
            if (n == 8) return Fail("dword value longer than 8 hex digits");
            v = v * 16 + HexDigit(digits[n]);
        }
        if (n == 0) return Fail("dword value without hex digits");
        if (!OnlyTrailer(digits, n)) return Fail("unexpected text after the dword value");
        op.value = Value::DWord(v);
        return true;
    }

    // Comma-separated bytes, continued on following lines after a trailing backslash.
    bool ReadHexBytes(std::wstring_view s, std::vector<uint8_t>& out) {
        size_t i = 0;
        while (true) {
            while (i < s.size() && (IsBlank(s[i]) || s[i] == L'\r')) ++i;
            if (i >= s.size() || s[i] == L';') return true;
            if (s[i] == L'\\') {
                if (!TrimRight(s.substr(i + 1)).empty()) return Fail("unexpected text after '\\'");
                if (index_ + 1 >= lines_.size()) return Fail("file ends after a line continuation");
                ++index_;
                s = TrimLeft(lines_[index_]);
                if (s.find(L'\0') != std::wstring_view::npos) return Fail("NUL character in text (binary data?)");
                i = 0;
                continue;
            }
            const int high = HexDigit(s[i]);
            if (high < 0) return Fail("bad character in hex data");
            int byte = high;
            ++i;
            if (i < s.size() && HexDigit(s[i]) >= 0) byte = byte * 16 + HexDigit(s[i++]);
            if (i < s.size() && HexDigit(s[i]) >= 0) return Fail("hex byte longer than two digits");
            out.push_back(static_cast<uint8_t>(byte));
            while (i < s.size() && IsBlank(s[i])) ++i;
            if (i < s.size() && s[i] == L',')
                ++i;
            else if (i < s.size() && HexDigit(s[i]) >= 0)
                return Fail("missing ',' between hex bytes");
        }
    }

    bool ParseHexValue(std::wstring_view data, uint32_t type, Operation& op) {
        std::vector<uint8_t> bytes;
        const size_t firstLine = index_;
        if (!ReadHexBytes(data, bytes)) return false;
        const auto textOf = [&] {
            return doc_.regedit4
                       ? Text::DecodeCp1252(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
                       : Text::DecodeUtf16Units(bytes.data(), bytes.size());
        };
        switch (type) {
            case 1:
                op.value = Value::String(DropOneTerminator(textOf()));
                break;
            case 2:
                op.value = Value::ExpandString(DropOneTerminator(textOf()));
                break;
            case 7:
                op.value = Value::MultiString(SplitMultiString(textOf()));
                break;
            case 4:
                if (bytes.size() != 4) {
                    index_ = firstLine;
                    return Fail("hex(4) value must have exactly 4 bytes");
                }
                op.value =
                    Value::DWord(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24);
                break;
            default:
                // REG_BINARY, REG_NONE and the types this store has no special form for
                // (REG_QWORD, ...) keep their bytes and their type number.
                op.value.type = static_cast<ValueType>(type);
                op.value.bytes = std::move(bytes);
                break;
        }
        return true;
    }

    Document& doc_;
    ParseError& error_;
    std::vector<std::wstring_view> lines_;
    size_t index_ = 0;
    Operation section_;
    bool inSection_ = false;
};

}  // namespace

bool Parse(std::string_view bytes, Document& doc, ParseError& error) {
    doc = {};
    std::wstring text;
    if (!DecodeFile(bytes, text, error)) return false;
    Parser parser(text, doc, error);
    return parser.Run();
}

bool Apply(KeyNode& root, const Operation& op) {
    switch (op.action) {
        case Operation::Action::CreateKey:
            return CreateKey(root, *op.key);
        case Operation::Action::DeleteKey:
            return DeleteKey(root, *op.key);
        case Operation::Action::SetValue: {
            KeyNode* node = nullptr;
            const bool created = CreateKey(root, *op.key, &node);
            return node->SetValue(op.name, op.value) || created;
        }
        case Operation::Action::DeleteValue: {
            KeyNode* node = FindKey(root, *op.key);
            return node && node->EraseValue(op.name);
        }
    }
    return false;
}

}  // namespace QVO::Platform::Registry::RegFile
