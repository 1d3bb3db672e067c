// The in-memory form of a hive: a tree of keys with typed values, and the name rules.
//
// A KeyNode owns its subkeys. Nodes are plain data: a tree is either private to one call or
// shared read-only (const) through the hive cache, so no node needs a lock.
#pragma once

#include "platform/registry/Registry.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace QVO::Platform::Registry {

struct KeyNode {
    std::wstring name;  // as first created; empty for a hive's root
    // Both maps are keyed by the folded name, which gives the case-insensitive order that
    // enumeration and the hive file use. The default value folds to "" and so comes first.
    std::map<std::wstring, NamedValue> values;
    std::map<std::wstring, std::unique_ptr<KeyNode>> subkeys;

    const KeyNode* FindChild(std::wstring_view childName) const;
    KeyNode* FindChild(std::wstring_view childName);
    // The child of that name, created with this spelling when missing.
    KeyNode& Child(std::wstring_view childName);
    // Stores the value under its existing spelling when one exists. False when an equal
    // value was already there, so the caller can skip a rewrite.
    bool SetValue(std::wstring_view valueName, const Value& value);
    bool SetValue(std::wstring_view valueName, Value&& value);
    bool EraseValue(std::wstring_view valueName);
};

using KeyPath = std::vector<std::wstring>;

// Splits "A\\B\\C" into its parts; "" is the root. One trailing backslash is tolerated,
// empty parts and parts longer than 255 characters or holding NUL, CR or LF are not.
Status SplitKeyPath(std::wstring_view path, KeyPath& out);
// Value names: anything but NUL, CR and LF, made of Unicode scalar values.
Status CheckValueName(std::wstring_view name);
// Refuses what no hive file could hold (characters beyond UTF-16, NUL inside a REG_MULTI_SZ
// element).
Status CheckValue(const Value& value);

const KeyNode* FindKey(const KeyNode& root, const KeyPath& path);
KeyNode* FindKey(KeyNode& root, const KeyPath& path);
// Creates missing keys along the path. False when the key already existed.
bool CreateKey(KeyNode& root, const KeyPath& path, KeyNode** out = nullptr);
// Removes the key and everything below it; false when it does not exist. The root itself
// cannot be removed.
bool DeleteKey(KeyNode& root, const KeyPath& path);

std::unique_ptr<KeyNode> CloneTree(const KeyNode& node);
// Adds to `into` every key and value of `from` that `into` does not have (`into` wins).
void MergeTree(KeyNode& into, const KeyNode& from);

}  // namespace QVO::Platform::Registry
