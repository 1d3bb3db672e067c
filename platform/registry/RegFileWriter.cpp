// Writing .reg text: hive files and exports, in regedit's layout.
#include "platform/registry/RegFile.h"

#include "platform/registry/RegText.h"

#include <cstdio>

namespace QVO::Platform::Registry::RegFile {

namespace {

// regedit starts a new line once a hex line reaches this many characters (so lines stay
// within 80 columns with the trailing backslash); continuation lines are indented by two.
constexpr size_t kHexWrapColumn = 77;

std::wstring Escape(std::wstring_view s) {
    std::wstring out;
    out.reserve(s.size() + 2);
    for (wchar_t c : s) {
        if (c == L'\\' || c == L'"') out.push_back(L'\\');
        out.push_back(c);
    }
    return out;
}

// A REG_SZ goes out as "text" unless a line break, another control character or a lone
// surrogate would not survive a text line; those go out as hex(1), which regedit also reads.
bool WritableAsQuoted(std::wstring_view s) {
    for (wchar_t c : s) {
        if ((c < 0x20 && c != L'\t') || !Text::IsScalarValue(c)) return false;
    }
    return true;
}

std::vector<uint8_t> Utf16WithTerminator(std::wstring_view s) {
    std::vector<uint8_t> out;
    Text::AppendUtf16Le(s, out);
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<uint8_t> MultiStringBytes(const std::vector<std::wstring>& items) {
    std::vector<uint8_t> out;
    for (const auto& s : items) {
        Text::AppendUtf16Le(s, out);
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

class Writer {
public:
    Writer(Encoding encoding, Layout layout)
        : newline_(encoding == Encoding::Utf16Le ? L"\r\n" : L"\n"), layout_(layout) {}

    std::wstring Finish(const KeyNode& node, std::wstring_view rootedPath) {
        out_ += kHeader;
        out_ += newline_;
        out_ += newline_;
        path_ = rootedPath;
        WriteKey(node, true);
        return std::move(out_);
    }

private:
    bool NeedsSection(const KeyNode& node, bool top) const {
        if (layout_ == Layout::Export || !node.values.empty()) return true;
        return !top && node.subkeys.empty();  // a hive's root is there without a section
    }

    // `path_` holds the node's full name; one buffer serves the whole walk, so the walk
    // costs the longest path, not a copy of every path on the way down.
    void WriteKey(const KeyNode& node, bool top) {
        if (NeedsSection(node, top)) {
            out_ += L'[';
            out_ += path_;
            out_ += L']';
            out_ += newline_;
            for (const auto& [folded, named] : node.values) WriteValue(named);
            out_ += newline_;
        }
        for (const auto& [folded, child] : node.subkeys) {
            const size_t parentLength = path_.size();
            path_ += L'\\';
            path_ += child->name;
            WriteKey(*child, false);
            path_.resize(parentLength);
        }
    }

    void WriteValue(const NamedValue& named) {
        const size_t lineStart = out_.size();
        if (named.name.empty()) {
            out_ += L"@=";
        } else {
            out_ += L'"';
            out_ += Escape(named.name);
            out_ += L"\"=";
        }
        const Value& v = named.value;
        switch (v.type) {
            case ValueType::String:
                if (WritableAsQuoted(v.text)) {
                    out_ += L'"';
                    out_ += Escape(v.text);
                    out_ += L'"';
                } else {
                    WriteHex(L"hex(1):", Utf16WithTerminator(v.text), lineStart);
                }
                break;
            case ValueType::ExpandString:
                WriteHex(L"hex(2):", Utf16WithTerminator(v.text), lineStart);
                break;
            case ValueType::MultiString:
                WriteHex(L"hex(7):", MultiStringBytes(v.multi), lineStart);
                break;
            case ValueType::DWord: {
                wchar_t digits[16];
                std::swprintf(digits, 16, L"dword:%08x", v.dword);
                out_ += digits;
                break;
            }
            case ValueType::Binary:
                WriteHex(L"hex:", v.bytes, lineStart);
                break;
            default: {
                wchar_t prefix[24];
                std::swprintf(prefix, 24, L"hex(%x):", static_cast<unsigned>(v.type));
                WriteHex(prefix, v.bytes, lineStart);
                break;
            }
        }
        out_ += newline_;
    }

    void WriteHex(std::wstring_view prefix, const std::vector<uint8_t>& bytes, size_t lineStart) {
        out_ += prefix;
        size_t column = out_.size() - lineStart;
        static const wchar_t kDigits[] = L"0123456789abcdef";
        for (size_t i = 0; i < bytes.size(); ++i) {
            out_ += kDigits[bytes[i] >> 4];
            out_ += kDigits[bytes[i] & 0xF];
            if (i + 1 == bytes.size()) break;
            out_ += L',';
            column += 3;
            if (column >= kHexWrapColumn) {
                out_ += L'\\';
                out_ += newline_;
                out_ += L"  ";
                column = 2;
            }
        }
    }

    const wchar_t* newline_;
    Layout layout_;
    std::wstring path_;
    std::wstring out_;
};

}  // namespace

const wchar_t* RootName(Hive hive) {
    switch (hive) {
        case Hive::LocalMachine:
            return L"HKEY_LOCAL_MACHINE";
        case Hive::CurrentUser:
            return L"HKEY_CURRENT_USER";
        case Hive::ClassesRoot:
            return L"HKEY_CLASSES_ROOT";
    }
    return L"";
}

std::string Serialize(const KeyNode& node, std::wstring_view rootedPath, Encoding encoding, Layout layout) {
    const std::wstring text = Writer(encoding, layout).Finish(node, rootedPath);
    if (encoding == Encoding::Utf8) return Text::EncodeUtf8(text);
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    Text::AppendUtf16Le(text, bytes);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace QVO::Platform::Registry::RegFile
