// The in-memory hive tree and the rules for key paths, value names and values.
#include "platform/registry/KeyTree.h"

#include "platform/registry/RegText.h"

namespace QVO::Platform::Registry {

namespace {

bool HasLineBreakOrNul(std::wstring_view s) {
    return s.find_first_of(std::wstring_view(L"\0\r\n", 3)) != std::wstring_view::npos;
}

bool AllScalar(std::wstring_view s) {
    for (wchar_t c : s)
        if (!Text::IsScalarValue(c)) return false;
    return true;
}

Status Invalid(std::string message) { return {Error::InvalidArgument, std::move(message)}; }

Status TooDeep() { return Invalid("key path deeper than " + std::to_string(kMaxKeyDepth) + " levels"); }

Status TooLong() { return Invalid("key path longer than " + std::to_string(kMaxKeyPathLength) + " characters"); }

std::unique_ptr<KeyNode> CloneTree(const KeyNode& node) {
    auto copy = std::make_unique<KeyNode>();
    copy->name = node.name;
    copy->values = node.values;
    for (const auto& [folded, child] : node.subkeys) copy->subkeys.emplace(folded, CloneTree(*child));
    return copy;
}

}  // namespace

const KeyNode* KeyNode::FindChild(std::wstring_view childName) const {
    auto it = subkeys.find(Text::FoldCase(childName));
    return it == subkeys.end() ? nullptr : it->second.get();
}

KeyNode* KeyNode::FindChild(std::wstring_view childName) {
    auto it = subkeys.find(Text::FoldCase(childName));
    return it == subkeys.end() ? nullptr : it->second.get();
}

KeyNode& KeyNode::Child(std::wstring_view childName) {
    auto& slot = subkeys[Text::FoldCase(childName)];
    if (!slot) {
        slot = std::make_unique<KeyNode>();
        slot->name = std::wstring(childName);
    }
    return *slot;
}

bool KeyNode::SetValue(std::wstring_view valueName, const Value& value) {
    auto [it, inserted] = values.try_emplace(Text::FoldCase(valueName));
    if (inserted)
        it->second.name = std::wstring(valueName);
    else if (it->second.value == value)
        return false;
    it->second.value = value;
    return true;
}

bool KeyNode::SetValue(std::wstring_view valueName, Value&& value) {
    auto [it, inserted] = values.try_emplace(Text::FoldCase(valueName));
    if (inserted)
        it->second.name = std::wstring(valueName);
    else if (it->second.value == value)
        return false;
    it->second.value = std::move(value);
    return true;
}

bool KeyNode::EraseValue(std::wstring_view valueName) { return values.erase(Text::FoldCase(valueName)) > 0; }

Status SplitKeyPath(std::wstring_view path, KeyPath& out) {
    out.clear();
    if (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
    if (path.empty()) return {};
    if (path.size() > kMaxKeyPathLength) return TooLong();
    size_t start = 0;
    while (true) {
        const size_t end = path.find(L'\\', start);
        const std::wstring_view part = path.substr(start, end == std::wstring_view::npos ? path.npos : end - start);
        if (part.empty()) return Invalid("empty key name in path");
        if (part.size() > kMaxKeyNameLength)
            return Invalid("key name longer than " + std::to_string(kMaxKeyNameLength) + " characters");
        if (HasLineBreakOrNul(part) || !AllScalar(part))
            return Invalid("key name holds NUL, a line break or an invalid character");
        if (out.size() == kMaxKeyDepth) return TooDeep();
        out.emplace_back(part);
        if (end == std::wstring_view::npos) return {};
        start = end + 1;
    }
}

Status CheckKeyPathLimits(const KeyPath& prefix, const KeyPath& path) {
    if (prefix.size() + path.size() > kMaxKeyDepth) return TooDeep();
    size_t length = 0;
    for (const KeyPath* part : {&prefix, &path})
        for (const auto& name : *part) length += name.size() + 1;  // each name and its backslash
    if (length > 0 && length - 1 > kMaxKeyPathLength) return TooLong();
    return {};
}

Status CheckValueName(std::wstring_view name) {
    if (HasLineBreakOrNul(name) || !AllScalar(name))
        return Invalid("value name holds NUL, a line break or an invalid character");
    return {};
}

Status CheckValue(const Value& value) {
    switch (value.type) {
        case ValueType::String:
        case ValueType::ExpandString:
            if (!Text::FitsUtf16(value.text)) return Invalid("string holds a character beyond U+10FFFF");
            return {};
        case ValueType::MultiString:
            for (const auto& s : value.multi) {
                if (!Text::FitsUtf16(s)) return Invalid("string holds a character beyond U+10FFFF");
                // A NUL inside an element would read back as two elements.
                if (s.find(L'\0') != std::wstring::npos) return Invalid("REG_MULTI_SZ element holds NUL");
            }
            return {};
        default:
            return {};
    }
}

const KeyNode* FindKey(const KeyNode& root, const KeyPath& path) {
    const KeyNode* node = &root;
    for (const auto& part : path) {
        node = node->FindChild(part);
        if (!node) return nullptr;
    }
    return node;
}

KeyNode* FindKey(KeyNode& root, const KeyPath& path) {
    return const_cast<KeyNode*>(FindKey(static_cast<const KeyNode&>(root), path));
}

bool CreateKey(KeyNode& root, const KeyPath& path, KeyNode** out) {
    KeyNode* node = &root;
    bool created = false;
    for (const auto& part : path) {
        KeyNode* next = node->FindChild(part);
        if (!next) {
            next = &node->Child(part);
            created = true;
        }
        node = next;
    }
    if (out) *out = node;
    return created;
}

bool DeleteKey(KeyNode& root, const KeyPath& path) {
    if (path.empty()) return false;
    KeyNode* parent = FindKey(root, KeyPath(path.begin(), path.end() - 1));
    return parent && parent->subkeys.erase(Text::FoldCase(path.back())) > 0;
}

void MergeTree(KeyNode& into, const KeyNode& from) {
    for (const auto& [folded, value] : from.values) into.values.try_emplace(folded, value);
    for (const auto& [folded, child] : from.subkeys) {
        auto it = into.subkeys.find(folded);
        if (it == into.subkeys.end())
            into.subkeys.emplace(folded, CloneTree(*child));
        else
            MergeTree(*it->second, *child);
    }
}

}  // namespace QVO::Platform::Registry
