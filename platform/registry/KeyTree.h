// The in-memory form of a hive: a tree of keys with typed values, and the name rules.
//
// A KeyNode owns its subkeys. Nodes are plain data: a tree is either private to one call or
// shared read-only (const) through the hive cache, so no node needs a lock.
#pragma once

#include "platform/registry/Registry.h"

#include <cstddef>
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

// The limits Windows sets on keys, kept so that every hive stays importable there, and so
// that no file or caller can build paths whose cost grows without bound (the walks over a
// tree recurse once per level). Lengths count characters; a path is taken below its hive's
// root, with its backslashes.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxKeyPathLength = 32767;

// Splits "A\\B\\C" into its parts; "" is the root. One trailing backslash is tolerated,
// empty parts and parts longer than 255 characters or holding NUL, CR or LF are not, nor a
// path beyond the limits above.
Status SplitKeyPath(std::wstring_view path, KeyPath& out);
// The limits above for `path` placed below `prefix` (HKCR keys live below Software\Classes).
Status CheckKeyPathLimits(const KeyPath& prefix, const KeyPath& path);
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

// Adds to `into` every key and value of `from` that `into` does not have (`into` wins).
void MergeTree(KeyNode& into, const KeyNode& from);

}  // namespace QVO::Platform::Registry
